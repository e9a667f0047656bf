#pragma once
// The home page's sign-in card while nobody is signed in: what the WeChat
// sign-in is for, the consent check box with the two links, the account
// store's last error with a retry, and the QR card. Side by side, or with the
// QR card under the text when the home page is narrow (`stacked`).
//
// The consent is held by both stores; the check box sets the account store's
// first, then the route store's. Main thread only; both stores must outlive
// the card. The home page puts it in an untitled SettingsGroup.
//
//   group->addRow(new WeChatSignInCard(*model.account(), model.billing(), stacked, UrlOpener::live()));
#include <QString>
#include <QWidget>
#include <memory>

#include "app/settings/account/WebView.h"
#include "kit/account/AccountStore.h"
#include "kit/route/MacBillingStore.h"

class QBoxLayout;
class QCheckBox;

namespace sorvane {

class AccountErrorRow;
class AccountStoreWatch;
class ConsentRow;
class SettingsText;
class UrlOpener;
class WeChatLoginQR;

class WeChatSignInCard final : public QWidget {
public:
    WeChatSignInCard(AccountStore& store, MacBillingStore& billing, bool stacked, UrlOpener& opener,
                     WebViewFactory* engine = nullptr, QWidget* parent = nullptr);
    ~WeChatSignInCard() override;

    bool stacked() const { return stacked_; }
    void setStacked(bool stacked);

    // An explanation line as shown: below the text, "右侧" reads "下方".
    static QString pointText(const QString& text, bool stacked);

    AccountErrorRow* errorRow() const { return errorRow_; }
    QCheckBox* consentBox() const;
    WeChatLoginQR* card() const { return card_; }
    // The three explanation lines as shown.
    QStringList points() const;

private:
    void refresh();
    QWidget* details(UrlOpener& opener);
    QWidget* point(const QString& symbol, const QString& text);

    AccountStore& store_;
    MacBillingStore& billing_;
    bool stacked_;
    std::unique_ptr<AccountStoreWatch> watch_;

    QBoxLayout* layout_ = nullptr;
    QList<std::pair<SettingsText*, QString>> points_;
    AccountErrorRow* errorRow_ = nullptr;
    ConsentRow* consent_ = nullptr;
    WeChatLoginQR* card_ = nullptr;
};

}  // namespace sorvane
