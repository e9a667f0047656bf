#include "app/settings/pages/SettingsPrivacyPage.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "app/panels/QtText.h"
#include "app/settings/blocks/SettingsGroup.h"
#include "app/settings/blocks/SettingsHeading.h"
#include "app/settings/blocks/SettingsLink.h"
#include "app/settings/blocks/SettingsLinkRow.h"
#include "app/settings/style/SettingsText.h"
#include "app/settings/style/SettingsTheme.h"
#include "kit/settings/SorvaneLinks.h"

namespace sorvane {
namespace {

QUrl link(std::string_view address) {
    return QUrl(qstring(address));
}

// The platform's headline text style.
QFont headlineFont() {
    return settingsFont(13, QFont::DemiBold);
}

}  // namespace

SettingsPrivacyPage::SettingsPrivacyPage(MacBillingStore& billing, UrlOpener& opener, QWidget* parent)
    : SettingsScroll(parent),
      billing_(billing),
      path_(new SettingsText(QString(), headlineFont())),
      explanation_(new SettingsText(QString(), settingsFont(12), SettingsText::Tone::secondary)) {
    addBlock(new SettingsHeading(QStringLiteral("隐私与数据"),
                                 QStringLiteral("清楚知道，你输入的内容去了哪里。")));

    auto* flow = new SettingsGroup(QStringLiteral("改写的数据流向"));
    auto* flowColumn = new QVBoxLayout;
    flowColumn->setContentsMargins(22, 22, 22, 22);
    flowColumn->setSpacing(12);
    explanation_->setWraps(true);
    flowColumn->addWidget(path_);
    flowColumn->addWidget(explanation_);
    flow->addRow(flowColumn);
    addBlock(flow);

    auto* storage = new SettingsGroup(QStringLiteral("数据与存储"));
    storage->addRow(new SettingsLinkRow(QStringLiteral("lock"), &SettingsTheme::systemTeal,
                                        QStringLiteral("DeepSeek API Key"),
                                        QStringLiteral("只保存在这台 Mac 的钥匙串里，不上传到Kestrum")));
    storage->addDivider();
    storage->addRow(new SettingsLinkRow(QStringLiteral("a"), &SettingsTheme::systemTeal,
                                        QStringLiteral("纯英文模式"),
                                        QStringLiteral("不调用 AI，不发送输入内容")));
    addBlock(storage);

    auto* links = new QHBoxLayout;
    links->setSpacing(22);
    links->addWidget(
        new SettingsLink(QStringLiteral("隐私政策"), link(SorvaneLinks::privacy), opener, settingsFont(12)));
    links->addWidget(
        new SettingsLink(QStringLiteral("用户协议"), link(SorvaneLinks::terms), opener, settingsFont(12)));
    links->addStretch(1);
    addBlock(links);

    observer_ = billing_.observeChanges([this] { refresh(); });
    refresh();
}

SettingsPrivacyPage::~SettingsPrivacyPage() = default;

void SettingsPrivacyPage::refresh() {
    const bool ownKey = billing_.state().source == MacBillingState::Source::ownKey;
    path_->setText(ownKey ? QStringLiteral("这台 Mac → DeepSeek")
                          : QStringLiteral("这台 Mac → Kestrum服务器 → DeepSeek"));
    explanation_->setText(
        ownKey ? QStringLiteral("正在输入的那句话直接发送到 DeepSeek，不经过Kestrum服务器。")
               : QStringLiteral("正在输入的那句话经Kestrum服务器转给 DeepSeek 改写；不保存句子内容。"));
}

}  // namespace sorvane
