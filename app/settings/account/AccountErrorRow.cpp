#include "app/settings/account/AccountErrorRow.h"

#include <QHBoxLayout>

#include "app/settings/blocks/SettingsButton.h"
#include "app/settings/style/SettingsText.h"
#include "app/settings/style/SettingsTheme.h"
#include "app/settings/style/SymbolView.h"

namespace sorvane {

AccountErrorRow::AccountErrorRow(const QFont& font, std::function<void()> retry, QWidget* parent)
    : QWidget(parent), text_(new SettingsText(QString(), font)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    const double symbolSize = QFontInfo(font).pixelSize() + 1;
    row->addWidget(new SymbolView(QStringLiteral("exclamationmark.triangle.fill"), symbolSize,
                                  &SettingsTheme::systemOrange),
                   0, Qt::AlignTop);
    text_->setWraps(true);
    row->addWidget(text_, 1, Qt::AlignTop);
    auto* button = new SettingsButton(QStringLiteral("重试"), SettingsBorderedStyle{});
    connect(button, &QAbstractButton::clicked, this, std::move(retry));
    row->addWidget(button, 0, Qt::AlignTop);
}

void AccountErrorRow::setText(const QString& text) {
    text_->setText(text);
}

}  // namespace sorvane
