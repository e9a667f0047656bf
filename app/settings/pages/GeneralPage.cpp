#include "app/settings/pages/GeneralPage.h"

#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QUrl>
#include <QVBoxLayout>

#include "app/settings/UrlOpener.h"
#include "app/settings/blocks/SaveFailureLine.h"
#include "app/settings/blocks/SettingsGroup.h"
#include "app/settings/blocks/SettingsHeading.h"
#include "app/settings/blocks/SettingsLinkRow.h"
#include "app/settings/blocks/SettingsSwitch.h"
#include "app/settings/style/SettingsText.h"
#include "app/settings/style/SettingsTheme.h"

namespace sorvane {

GeneralPage::GeneralPage(SettingsModel& model, UrlOpener& opener, QWidget* parent)
    : SettingsScroll(parent), model_(model), update_(new SettingsSwitch), failure_(new SaveFailureLine) {
    addBlock(new SettingsHeading(QStringLiteral("通用"), QStringLiteral("管理这台 Mac 上的Sorvane输入法。")));

    auto* system = new SettingsGroup;
    keyboard_ = new SettingsLinkRow(
        QStringLiteral("keyboard"), &SettingsTheme::systemGreen, QStringLiteral("系统键盘设置"),
        QStringLiteral("在输入法列表中添加或管理Sorvane输入法"), std::nullopt, [&opener] {
            const QUrl url(QString::fromLatin1(keyboardSettingsURL));
            if (url.isValid()) opener.open(url);
        });
    system->addRow(keyboard_);
    addBlock(system);

    auto* updating = new SettingsGroup;
    auto* updateRow = new QHBoxLayout;
    updateRow->setContentsMargins(18, 18, 18, 18);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(6);
    texts->addWidget(new SettingsText(QStringLiteral("自动检查更新"), settingsFont(13)));
    auto* note = new SettingsText(QStringLiteral("在后台下载新版本，由你决定是否安装。"), settingsFont(11),
                                  SettingsText::Tone::secondary);
    note->setWraps(true);
    texts->addWidget(note);
    updateRow->addLayout(texts, 1);
    update_->setAccessibleName(QStringLiteral("自动检查更新"));
    updateRow->addWidget(update_, 0, Qt::AlignVCenter);
    updating->addRow(updateRow);
    updating->addDivider(0);
    updates_ = new SettingsLinkRow(QStringLiteral("arrow.triangle.2.circlepath"), &SettingsTheme::systemGray,
                                   QStringLiteral("检查与安装更新"), std::nullopt, std::nullopt,
                                   [this] { model_.show(SettingsPage::about); });
    updating->addRow(updates_);
    addBlock(updating);
    addBlock(failure_);

    auto* password =
        new SettingsText(QStringLiteral("输入密码时，Sorvane模式只做普通英文输入，输入的内容不会发出去。"),
                         settingsFont(11), SettingsText::Tone::secondary);
    password->setWraps(true);
    addBlock(password);

    QObject::connect(update_, &QAbstractButton::toggled, this, [this](bool on) {
        AppSettings next = model_.settings();
        next.autoCheckUpdates = on;
        model_.setSettings(next);
    });
    observer_ = model_.observeChanges([this] { refresh(); });
    refresh();
}

GeneralPage::~GeneralPage() = default;

void GeneralPage::refresh() {
    {
        const QSignalBlocker quiet(update_);
        update_->setChecked(model_.settings().autoCheckUpdates);
    }
    failure_->follow(model_.saveFailure());
}

}  // namespace sorvane
