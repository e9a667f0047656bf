#include "app/settings/pages/MacOwnKeyPage.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "app/panels/QtText.h"
#include "app/settings/blocks/SettingsButton.h"
#include "app/settings/blocks/SettingsGroup.h"
#include "app/settings/blocks/SettingsHeading.h"
#include "app/settings/blocks/SettingsLink.h"
#include "app/settings/blocks/SettingsLinkRow.h"
#include "app/settings/blocks/SettingsSpinner.h"
#include "app/settings/pages/KeyField.h"
#include "app/settings/style/SettingsText.h"
#include "app/settings/style/SettingsTheme.h"
#include "kit/route/PredictionRoute.h"
#include "kit/settings/SorvaneLinks.h"

namespace sorvane {
namespace {

// The DeepSeek platform's page where keys are made.
const QUrl apiKeysPage(QStringLiteral("https://platform.deepseek.com/api_keys"));

QVBoxLayout* paddedColumn(int spacing, int padding) {
    auto* column = new QVBoxLayout;
    column->setSpacing(spacing);
    column->setContentsMargins(padding, padding, padding, padding);
    return column;
}

}  // namespace

MacOwnKeyPage::MacOwnKeyPage(MacBillingStore& billing, UrlOpener& opener, std::function<void()> onSignIn,
                             QWidget* parent)
    : SettingsScroll(parent),
      billing_(billing),
      onSignIn_(std::move(onSignIn)),
      recordedGroup_(new SettingsGroup),
      keyShort_(new SettingsText(QString(), settingsFont(30, QFont::DemiBold, true))),
      keyStatus_(new SettingsText(QString(), settingsFont(13), SettingsText::Tone::secondary)),
      recheck_(new SettingsButton(QStringLiteral("重新验证"), SettingsBorderedStyle{})),
      remove_(new SettingsButton(QStringLiteral("删除 Key"), SettingsBorderedStyle{})),
      recheckSpinner_(new SettingsSpinner),
      caption_(
          new SettingsText(QStringLiteral("改写现在直连 DeepSeek。Key 出问题时，不会自动切回Kestrum服务器。"),
                           settingsFont(11), SettingsText::Tone::secondary)),
      gettingStarted_(new SettingsGroup(QStringLiteral("从 DeepSeek 获取 Key"))),
      keyGroup_(new SettingsGroup(QStringLiteral("API Key"))),
      draft_(new KeyField),
      save_(new SettingsButton(QStringLiteral("验证并保存"),
                               SettingsActionStyle{SettingsTheme::blue(), Qt::white})),
      saveSpinner_(new SettingsSpinner),
      message_(new SettingsText(QString(), settingsFont(12), SettingsText::Tone::secondary)) {
    addBlock(new SettingsHeading(QStringLiteral("DeepSeek Key"),
                                 QStringLiteral("你的 Key，你的 DeepSeek 账户。")));

    // A recorded key.
    auto* recorded = paddedColumn(16, 24);
    recorded->addWidget(keyShort_);
    recorded->addWidget(keyStatus_);
    auto* keyButtons = new QHBoxLayout;
    keyButtons->setSpacing(12);
    keyButtons->addWidget(recheck_);
    keyButtons->addWidget(remove_);
    keyButtons->addWidget(recheckSpinner_);
    keyButtons->addStretch(1);
    recorded->addLayout(keyButtons);
    recordedGroup_->addRow(recorded);
    addBlock(recordedGroup_);
    caption_->setWraps(true);
    addBlock(caption_);

    // No key yet.
    gettingStarted_->addRow(new SettingsLinkRow(QStringLiteral("1.circle"), &SettingsTheme::blue,
                                                QStringLiteral("打开 DeepSeek 开放平台"),
                                                QStringLiteral("登录后进入「API keys」")));
    gettingStarted_->addDivider();
    gettingStarted_->addRow(new SettingsLinkRow(QStringLiteral("2.circle"), &SettingsTheme::blue,
                                                QStringLiteral("创建 API key"),
                                                QStringLiteral("复制 sk- 开头的完整 Key，回到这里填写")));
    addBlock(gettingStarted_);

    // The key field, titled for either layout.
    auto* field = paddedColumn(14, 22);
    field->addWidget(draft_);
    auto* saveRow = new QHBoxLayout;
    saveRow->setSpacing(12);
    saveRow->addWidget(save_, 1);
    saveRow->addWidget(saveSpinner_);
    field->addLayout(saveRow);
    auto* note = new SettingsText(QStringLiteral("Key 只保存在这台 Mac 的钥匙串里，不会上传到Kestrum。"),
                                  settingsFont(11), SettingsText::Tone::secondary);
    note->setWraps(true);
    field->addWidget(note);
    keyGroup_->addRow(field);
    addBlock(keyGroup_);

    message_->setWraps(true);
    addBlock(message_);

    auto* links = new QHBoxLayout;
    links->addWidget(
        new SettingsLink(QStringLiteral("DeepSeek 开放平台 ↗"), apiKeysPage, opener, settingsFont(12)));
    links->addStretch(1);
    links->addWidget(new SettingsLink(QStringLiteral("联系支持"), QUrl(qstring(SorvaneLinks::support)),
                                      opener, settingsFont(12)));
    addBlock(links);

    QObject::connect(draft_, &QLineEdit::textChanged, this, [this] { refresh(); });
    QObject::connect(save_, &QAbstractButton::clicked, this, [this] { saveDraft(); });
    QObject::connect(recheck_, &QAbstractButton::clicked, this, [this] { billing_.recheckKey(); });
    QObject::connect(remove_, &QAbstractButton::clicked, this, [this] { billing_.removeKey(); });
    observer_ = billing_.observeChanges([this] { refresh(); });
    refresh();
}

MacOwnKeyPage::~MacOwnKeyPage() = default;

bool MacOwnKeyPage::showsRecordedKey() const {
    return !recordedGroup_->isHidden();
}

void MacOwnKeyPage::saveDraft() {
    QPointer<QLineEdit> field = draft_;
    billing_.saveKey(draft_->text().toStdString(), [field](bool saved) {
        if (saved && field) field->clear();
    });
}

void MacOwnKeyPage::refresh() {
    const auto keyShort = billing_.keyShort();
    const bool recorded = keyShort.has_value();
    const bool checking = billing_.checkingKey();
    const bool preview = billing_.isPreview();

    recordedGroup_->setVisible(recorded);
    caption_->setVisible(recorded);
    gettingStarted_->setVisible(!recorded);
    keyGroup_->title()->setText(recorded ? QStringLiteral("更换 Key") : QStringLiteral("API Key"));
    if (recorded) keyShort_->setText(QString::fromStdString(*keyShort));
    keyStatus_->setText(QString::fromStdString(billing_.keyStatusText()));

    recheck_->setEnabled(!checking && !preview);
    remove_->setEnabled(!preview);
    recheckSpinner_->setVisible(checking && recorded);
    save_->setEnabled(!draft_->text().isEmpty() && !checking && !preview);
    saveSpinner_->setVisible(checking);

    const auto& message = billing_.message();
    message_->setVisible(message.has_value());
    message_->setText(message ? QString::fromStdString(*message) : QString());
}

}  // namespace sorvane
