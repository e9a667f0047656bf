#pragma once
// The QR sign-in card (340 x 400): the consent hint while the terms are not
// accepted, otherwise by the account store's login state the button that
// fetches a QR code, WeChat's QR page in a web view, or a progress indicator.
// It keeps no state of its own; a web view lives exactly as long as the store
// stays in showingQR.
//
// Main thread only. The store tells its observers before a field changes, so
// the card redraws from the event loop once the change has landed.
#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>

#include "app/settings/account/WebView.h"
#include "kit/account/AccountStore.h"

namespace sorvane {

class AccountStoreWatch;
class WeChatQRWebView;

class WeChatLoginQR final : public QWidget {
    Q_OBJECT
public:
    static constexpr int cardWidth = 340;
    static constexpr int cardHeight = 400;
    static constexpr qreal cornerRadius = 12;

    // What the card shows.
    enum class Content { consentHint, fetchButton, webView, signingIn, progress };

    // `engine` makes the web views; none loads the web engine module on
    // first use. Both must outlive the card.
    WeChatLoginQR(AccountStore& store, QString consentHint, WebViewFactory* engine = nullptr,
                  QWidget* parent = nullptr);
    ~WeChatLoginQR() override;

    Content content() const { return content_; }
    // The web view while the QR page is shown.
    WeChatQRWebView* webView() const;

    static Content contentFor(bool termsAccepted, const AccountStore::LoginState& login);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refreshContent();
    QWidget* makeContent(Content content);
    WebViewFactory& engine();

    AccountStore& store_;
    QString consentHint_;
    WebViewFactory* engine_;
    std::unique_ptr<AccountStoreWatch> watch_;
    Content content_ = Content::progress;
    QPointer<QWidget> current_;
};

}  // namespace sorvane
