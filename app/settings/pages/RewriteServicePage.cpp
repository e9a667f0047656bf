#include "app/settings/pages/RewriteServicePage.h"

#include <chrono>

#include "app/settings/blocks/SettingsGroup.h"
#include "app/settings/blocks/SettingsHeading.h"
#include "app/settings/blocks/SettingsLinkRow.h"
#include "app/settings/style/SettingsText.h"
#include "app/settings/style/SettingsTheme.h"

namespace sorvane {
namespace {

const QString checkMark = QStringLiteral("✓");

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

RewriteServicePage::RewriteServicePage(SettingsModel& model, MacBillingStore& billing, QWidget* parent)
    : SettingsScroll(parent),
      model_(model),
      billing_(billing),
      note_(new SettingsText(QString(), settingsFont(12), SettingsText::Tone::secondary)),
      message_(new SettingsText(QString(), settingsFont(12), SettingsText::Tone::secondary)) {
    addBlock(new SettingsHeading(QStringLiteral("改写服务"), QStringLiteral("选择Sorvane如何为你改写。")));

    auto* routes = new SettingsGroup(QStringLiteral("改写时使用"));
    proxy_ = new SettingsLinkRow(QStringLiteral("circle.hexagongrid"), &SettingsTheme::blue,
                                 QStringLiteral("Sorvane改写服务"),
                                 QStringLiteral("经Kestrum转给 DeepSeek，登录即可使用"), std::nullopt,
                                 [this] { billing_.select(MacBillingState::Source::credits); });
    routes->addRow(proxy_);
    routes->addDivider();
    ownKey_ = new SettingsLinkRow(QStringLiteral("key"), &SettingsTheme::graphite,
                                  QStringLiteral("我的 DeepSeek Key"), std::nullopt, std::nullopt, [this] {
                                      // Without a key there is nothing to switch to yet: fill one in first.
                                      if (billing_.keyShort()) {
                                          billing_.select(MacBillingState::Source::ownKey);
                                      } else {
                                          model_.show(SettingsPage::ownKey);
                                      }
                                  });
    routes->addRow(ownKey_);
    addBlock(routes);

    note_->setWraps(true);
    addBlock(note_);
    message_->setWraps(true);
    addBlock(message_);

    auto* manage = new SettingsGroup(QStringLiteral("管理"));
    manage->addRow(new SettingsLinkRow(QStringLiteral("key"), &SettingsTheme::graphite,
                                       QStringLiteral("管理 DeepSeek Key"), std::nullopt, std::nullopt,
                                       [this] { model_.show(SettingsPage::ownKey); }));
    addBlock(manage);

    modelObserver_ = model_.observeChanges([this] { refresh(); });
    billingObserver_ = billing_.observeChanges([this] { refresh(); });
    refresh();
}

RewriteServicePage::~RewriteServicePage() = default;

bool RewriteServicePage::usesOwnKey() const {
    return billing_.state().usesOwnKey(std::chrono::system_clock::now());
}

void RewriteServicePage::refresh() {
    const bool ownKey = usesOwnKey();
    proxy_->setValue(ownKey ? std::nullopt : std::optional<QString>(checkMark));
    const auto keyShort = billing_.keyShort();
    ownKey_->setSubtitle(keyShort ? qs(*keyShort) : QStringLiteral("还没填写 Key"));
    ownKey_->setValue(ownKey ? checkMark : QStringLiteral("管理"));
    note_->setText(
        ownKey
            ? QStringLiteral("句子直接发给 DeepSeek，不经过Kestrum。Key 失效时不会自动切回Sorvane改写服务。")
            : QStringLiteral("句子经Kestrum的服务器转给 DeepSeek 改写，不保存内容。"));
    const auto& message = billing_.message();
    message_->setText(message ? qs(*message) : QString());
    message_->setVisible(message.has_value());
}

}  // namespace sorvane
