#pragma once
// The account page ("account"): consent to the terms, the WeChat QR sign-in,
// who is signed in with the sign-out, and the last account error with a
// retry. A thin view over the window's AccountStore: it keeps no state of its
// own and calls the store's operations.
//
// Main thread only; the store must outlive the page. The store tells its
// observers before a field changes, so the page redraws from the event loop
// once the change has landed.
//
//   auto* page = new AccountPage(*model.account(), UrlOpener::live());
#include <QString>
#include <memory>

#include "app/settings/account/WebView.h"
#include "app/settings/blocks/SettingsScroll.h"
#include "kit/account/AccountStore.h"

class QCheckBox;

namespace sorvane {

class AccountErrorRow;
class AccountStoreWatch;
class ConsentRow;
class PageHero;
class SettingsButton;
class SettingsGroup;
class SettingsText;
class UrlOpener;
class WeChatLoginQR;

class AccountPage final : public SettingsScroll {
public:
    // `engine` makes the QR card's web views; none loads the web engine on
    // first use.
    AccountPage(AccountStore& store, UrlOpener& opener, WebViewFactory* engine = nullptr,
                QWidget* parent = nullptr);
    ~AccountPage() override;

    // The name the user row shows: the nickname, "微信用户" without one.
    static QString displayName(const AccountUser& user);
    // "中文模式完全在本机。Sorvane模式的句子经 <host> 转交 DeepSeek …"
    static QString privacyNote(const QString& host);

    // The parts, for tests and renders.
    PageHero* hero() const { return hero_; }
    QWidget* errorBanner() const { return errorGroup_; }
    QWidget* signedInSection() const { return signedInGroup_; }
    QWidget* signInSection() const { return signInGroup_; }
    SettingsText* userName() const { return userName_; }
    QCheckBox* consentBox() const;
    WeChatLoginQR* card() const { return card_; }

private:
    void refresh();
    QWidget* makeErrorBanner();
    QWidget* makeUserRow();
    QWidget* section(SettingsGroup* group, const QString& footerLine);

    AccountStore& store_;
    std::unique_ptr<AccountStoreWatch> watch_;

    PageHero* hero_ = nullptr;
    QWidget* errorGroup_ = nullptr;
    AccountErrorRow* errorRow_ = nullptr;
    // Each section is its group with the footer under it.
    QWidget* signedInGroup_ = nullptr;
    SettingsText* userName_ = nullptr;
    QWidget* signInGroup_ = nullptr;
    ConsentRow* consent_ = nullptr;
    WeChatLoginQR* card_ = nullptr;
};

}  // namespace sorvane
