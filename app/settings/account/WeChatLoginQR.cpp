#include "app/settings/account/WeChatLoginQR.h"

#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "app/settings/account/AccountStoreWatch.h"
#include "app/settings/account/WeChatQRWebView.h"
#include "app/settings/account/WebEngineModule.h"
#include "app/settings/blocks/SettingsButton.h"
#include "app/settings/blocks/SettingsSpinner.h"
#include "app/settings/style/SettingsText.h"
#include "app/settings/style/SettingsTheme.h"
#include "app/settings/style/SymbolView.h"

namespace sorvane {
namespace {

using Kind = AccountStore::LoginState::Kind;

// Stands in when the web engine module cannot be loaded: every web view then
// fails at once with the loader's reason, which the card reports like any
// other failure.
class UnavailableEngine final : public WebViewFactory {
public:
    explicit UnavailableEngine(std::string reason) : reason_(std::move(reason)) {}
    std::unique_ptr<WebView> make(WebView::Handlers, QWidget*, std::string& error) override {
        error = reason_;
        return nullptr;
    }

private:
    std::string reason_;
};

QWidget* centred(QWidget* parent, std::initializer_list<QWidget*> items, int spacing) {
    auto* box = new QWidget(parent);
    auto* layout = new QVBoxLayout(box);
    layout->setSpacing(spacing);
    layout->addStretch();
    for (QWidget* item : items) layout->addWidget(item, 0, Qt::AlignHCenter);
    layout->addStretch();
    return box;
}

}  // namespace

WeChatLoginQR::WeChatLoginQR(AccountStore& store, QString consentHint, WebViewFactory* engine,
                             QWidget* parent)
    : QWidget(parent), store_(store), consentHint_(std::move(consentHint)), engine_(engine) {
    setFixedSize(cardWidth, cardHeight);
    watch_ = std::make_unique<AccountStoreWatch>(store_, this, [this] { refreshContent(); });
    content_ = contentFor(store_.termsAccepted(), store_.login());
    current_ = makeContent(content_);
}

WeChatLoginQR::~WeChatLoginQR() = default;

WeChatLoginQR::Content WeChatLoginQR::contentFor(bool termsAccepted, const AccountStore::LoginState& login) {
    if (!termsAccepted) return Content::consentHint;
    switch (login.kind) {
        case Kind::showingQR:
            return login.config ? Content::webView : Content::progress;
        case Kind::loggedOut:
            return Content::fetchButton;
        case Kind::signingIn:
            return Content::signingIn;
        default:
            return Content::progress;
    }
}

WeChatQRWebView* WeChatLoginQR::webView() const {
    return content_ == Content::webView ? qobject_cast<WeChatQRWebView*>(current_.data()) : nullptr;
}

void WeChatLoginQR::refreshContent() {
    const Content next = contentFor(store_.termsAccepted(), store_.login());
    // The web view stays while the QR page is shown: a changed
    // configuration does not reload it.
    if (next == content_ && current_) return;
    if (current_) {
        current_->hide();
        // Later: a web view's own callback may be what changed the state.
        current_->deleteLater();
    }
    content_ = next;
    current_ = makeContent(next);
    current_->show();
}

WebViewFactory& WeChatLoginQR::engine() {
    if (engine_) return *engine_;
    auto loaded = WebEngineModule::factory();
    if (loaded) return **loaded;
    static UnavailableEngine unavailable(loaded.error());
    return unavailable;
}

QWidget* WeChatLoginQR::makeContent(Content content) {
    QWidget* widget = nullptr;
    switch (content) {
        case Content::consentHint: {
            auto* symbol = new SymbolView(QStringLiteral("qrcode"), 72, &SettingsTheme::tertiaryLabel);
            auto* hint = new SettingsText(consentHint_, settingsFont(12), SettingsText::Tone::secondary);
            hint->setWraps(true);
            hint->setAlignment(Qt::AlignCenter);
            widget = centred(this, {symbol, hint}, 12);
            break;
        }
        case Content::fetchButton: {
            auto* button = new SettingsButton(QStringLiteral("获取登录二维码"), SettingsBorderedStyle{});
            connect(button, &QAbstractButton::clicked, this, [this] { store_.beginLogin(); });
            widget = centred(this, {button}, 0);
            break;
        }
        case Content::webView: {
            auto* view = new WeChatQRWebView(
                *store_.login().config, [this](const std::string& code) { store_.completeLogin(code); },
                [this](const std::string& text) {
                    store_.setLogin(AccountStore::LoginState::loggedOut());
                    store_.setErrorMessage(text);
                },
                engine(), this);
            QPainterPath clip;
            clip.addRoundedRect(QRectF(0, 0, cardWidth, cardHeight), cornerRadius, cornerRadius);
            view->setMask(QRegion(clip.toFillPolygon().toPolygon()));
            widget = view;
            break;
        }
        case Content::signingIn: {
            auto* label = new SettingsText(QStringLiteral("正在登录…"), settingsFont(13));
            widget = centred(this, {new SettingsSpinner, label}, 8);
            break;
        }
        case Content::progress:
            widget = centred(this, {new SettingsSpinner}, 0);
            break;
    }
    widget->setGeometry(rect());
    return widget;
}

void WeChatLoginQR::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF card = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(Qt::NoPen);
    p.setBrush(SettingsTheme::controlBackground());
    p.drawRoundedRect(card, cornerRadius, cornerRadius);
    p.setPen(QPen(SettingsTheme::label(0.08), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(card, cornerRadius, cornerRadius);
}

}  // namespace sorvane
