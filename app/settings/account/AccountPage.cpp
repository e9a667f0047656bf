#include "app/settings/account/AccountPage.h"

#include <QHBoxLayout>
#include <QUrl>
#include <QVBoxLayout>

#include "app/settings/account/AccountErrorRow.h"
#include "app/settings/account/AccountStoreWatch.h"
#include "app/settings/account/ConsentRow.h"
#include "app/settings/account/WeChatLoginQR.h"
#include "app/settings/blocks/PageHero.h"
#include "app/settings/blocks/SettingsButton.h"
#include "app/settings/blocks/SettingsGroup.h"
#include "app/settings/style/IconTile.h"
#include "app/settings/style/SettingsText.h"
#include "app/settings/style/SettingsTheme.h"
#include "app/settings/style/SymbolView.h"
#include "kit/account/AccountAPI.h"

namespace sorvane {
namespace {

using Kind = AccountStore::LoginState::Kind;

const QString signedInSubtitle = QStringLiteral("Sorvane AI 把中英混输整理成通顺的英文，还能帮你续写。");
const QString signedOutSubtitle =
    QStringLiteral("用手机微信扫码登录，就能让 AI 改写英文：经我们的服务转交，或用你自己的 DeepSeek Key。");

}  // namespace

AccountPage::AccountPage(AccountStore& store, UrlOpener& opener, WebViewFactory* engine, QWidget* parent)
    : SettingsScroll(parent), store_(store) {
    auto* heroGroup = new SettingsGroup;
    hero_ = new PageHero(QStringLiteral("账号"), signedOutSubtitle,
                         new IconTile(QStringLiteral("person.crop.circle"), SettingsTheme::blue(), 44));
    auto* heroBox = new QVBoxLayout;
    heroBox->setContentsMargins(16, 16, 16, 16);
    heroBox->addWidget(hero_);
    heroGroup->addRow(heroBox);
    addBlock(heroGroup);

    errorGroup_ = makeErrorBanner();
    addBlock(errorGroup_);

    auto* signedIn = new SettingsGroup(QStringLiteral("微信账号"));
    signedIn->addRow(makeUserRow());
    signedInGroup_ =
        section(signedIn, QStringLiteral("换一台 Mac，登录同一个微信就能接着用；退出登录后，这台 Mac "
                                         "上的英文 AI 改写随之停用。"));
    addBlock(signedInGroup_);

    auto* signIn = new SettingsGroup(QStringLiteral("微信扫码登录"));
    consent_ = new ConsentRow(settingsFont(13), opener, [this](bool on) { store_.setTermsAccepted(on); });
    auto* consentBox = new QHBoxLayout;
    consentBox->setContentsMargins(16, 14, 16, 6);
    consentBox->addWidget(consent_);
    signIn->addRow(consentBox);
    card_ = new WeChatLoginQR(store_, QStringLiteral("勾选上方的同意后，这里显示登录二维码"), engine);
    auto* loginArea = new QHBoxLayout;
    loginArea->setContentsMargins(16, 4, 16, 4 + 16);
    loginArea->addWidget(card_, 0, Qt::AlignHCenter);
    signIn->addRow(loginArea);
    signInGroup_ = section(signIn, QStringLiteral("中文输入不需要登录。"));
    addBlock(signInGroup_);

    watch_ = std::make_unique<AccountStoreWatch>(store_, this, [this] { refresh(); });
    refresh();
}

AccountPage::~AccountPage() = default;

QCheckBox* AccountPage::consentBox() const {
    return consent_->checkBox();
}

QString AccountPage::displayName(const AccountUser& user) {
    // An empty nickname is no name either.
    if (!user.nickname || user.nickname->empty()) return QStringLiteral("微信用户");
    return QString::fromStdString(*user.nickname);
}

QString AccountPage::privacyNote(const QString& host) {
    return QStringLiteral("中文模式完全在本机。Sorvane模式的句子经 ") + host +
           QStringLiteral(" 转交 DeepSeek 整理，服务器不保存句子；用自己的 Key 时直接发往 DeepSeek。");
}

QWidget* AccountPage::makeErrorBanner() {
    auto* group = new SettingsGroup;
    errorRow_ = new AccountErrorRow(settingsFont(13), [this] {
        // Cleared first, so a retry that fails again shows its own text.
        store_.setErrorMessage(std::nullopt);
        refresh();
        store_.refresh();
    });
    auto* box = new QHBoxLayout;
    box->setContentsMargins(16, 12, 16, 12);
    box->addWidget(errorRow_);
    group->addRow(box);
    return group;
}

QWidget* AccountPage::makeUserRow() {
    auto* rowWidget = new QWidget;
    auto* row = new QHBoxLayout(rowWidget);
    row->setContentsMargins(16, 12, 16, 12);
    row->setSpacing(10);
    // The avatar address is not loaded: the symbol stands for every user.
    row->addWidget(
        new SymbolView(QStringLiteral("person.crop.circle.fill"), 30, &SettingsTheme::secondaryLabel));
    auto* names = new QVBoxLayout;
    names->setSpacing(1);
    userName_ = new SettingsText(QString(), settingsFont(13, QFont::DemiBold));
    names->addWidget(userName_);
    names->addWidget(
        new SettingsText(QStringLiteral("已用微信登录"), settingsFont(10), SettingsText::Tone::secondary));
    row->addLayout(names, 1);
    auto* logout = new SettingsButton(QStringLiteral("退出登录"), SettingsBorderedStyle{});
    connect(logout, &QAbstractButton::clicked, this, [this] { store_.logout(); });
    row->addWidget(logout);
    return rowWidget;
}

QWidget* AccountPage::section(SettingsGroup* group, const QString& footerLine) {
    auto* box = new QWidget;
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    column->addWidget(group);
    auto* footer = new QVBoxLayout;
    footer->setContentsMargins(3, 0, 3, 0);
    footer->setSpacing(6);
    auto* first = new SettingsText(footerLine, settingsFont(12), SettingsText::Tone::secondary);
    first->setWraps(true);
    footer->addWidget(first);
    const QString host = QUrl(QString::fromStdString(AccountAPI::baseURL())).host();
    auto* note = new SettingsText(privacyNote(host), settingsFont(12), SettingsText::Tone::tertiary);
    note->setWraps(true);
    footer->addWidget(note);
    column->addLayout(footer);
    return box;
}

void AccountPage::refresh() {
    const auto& login = store_.login();
    const bool signedIn = login.is(Kind::loggedIn);
    hero_->subtitle()->setText(signedIn ? signedInSubtitle : signedOutSubtitle);

    const auto& error = store_.errorMessage();
    errorGroup_->setVisible(error.has_value());
    // Shown verbatim, wrapped onto as many lines as it needs.
    errorRow_->setText(QString::fromStdString(error.value_or("")));

    signedInGroup_->setVisible(signedIn);
    signInGroup_->setVisible(!signedIn);
    if (signedIn) userName_->setText(displayName(login.user.value_or(AccountUser{})));

    consent_->setChecked(store_.termsAccepted());
}

}  // namespace sorvane
