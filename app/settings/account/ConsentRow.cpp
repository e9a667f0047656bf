#include "app/settings/account/ConsentRow.h"

#include <QHBoxLayout>
#include <QSignalBlocker>

#include "app/panels/QtText.h"
#include "app/settings/blocks/SettingsCheckBox.h"
#include "app/settings/blocks/SettingsLink.h"
#include "kit/settings/SorvaneLinks.h"

namespace sorvane {
namespace {

QUrl link(std::string_view address) {
    return QUrl(qstring(address));
}

}  // namespace

ConsentRow::ConsentRow(const QFont& font, UrlOpener& opener, std::function<void(bool)> toggled,
                       QWidget* parent)
    : QWidget(parent), box_(new SettingsCheckBox(QStringLiteral("我已阅读并同意"), font)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    connect(box_, &QCheckBox::toggled, this, std::move(toggled));
    row->addWidget(box_, 0, Qt::AlignVCenter);
    row->addWidget(new SettingsLink(QStringLiteral("《用户协议》"), link(SorvaneLinks::terms), opener, font),
                   0, Qt::AlignVCenter);
    row->addWidget(new SettingsText(QStringLiteral("和"), font), 0, Qt::AlignVCenter);
    row->addWidget(
        new SettingsLink(QStringLiteral("《隐私政策》"), link(SorvaneLinks::privacy), opener, font), 0,
        Qt::AlignVCenter);
    row->addStretch(1);
}

void ConsentRow::setChecked(bool checked) {
    const QSignalBlocker quiet(box_);
    box_->setChecked(checked);
}

}  // namespace sorvane
