#pragma once
// The settings window's home page (`welcome`): the product heading, the
// account area (the signed-in summary row, the WeChat sign-in card, or a
// spinner while the account store is being made), the two rewrite-route
// cards under the service header with the route store's last message, and
// the rows about this Mac. What it shows is decided by SettingsHomePresenter;
// this view draws that and hands taps to the model and the route store.
//
// Whether the input method is enabled is asked once each time the page comes
// on screen. Main thread only; the model and the store must outlive the page.
//
//   auto* page = new SettingsHomePage(model, model.billing(), opener);
#include <functional>
#include <optional>
#include <vector>

#include "app/settings/account/WebView.h"
#include "app/settings/blocks/SettingsScroll.h"
#include "kit/route/MacBillingStore.h"
#include "kit/settings/SettingsHomePresenter.h"
#include "kit/settings/SettingsModel.h"

class QBoxLayout;
class QVBoxLayout;

namespace sorvane {

class HomeRouteCardView;
class SettingsLinkRow;
class SettingsText;
class UrlOpener;
class WeChatSignInCard;

class SettingsHomePage final : public SettingsScroll {
public:
    struct Services {
        // Whether the input method is enabled in the system; none: the live
        // registrar's status().
        std::function<bool()> enabledInSystem;
        // Where the sign-in card's QR page is shown; none: the web engine.
        WebViewFactory* webViews = nullptr;
    };

    // The sign-in card opens the terms and the privacy policy through `opener`.
    SettingsHomePage(SettingsModel& model, MacBillingStore& billing, UrlOpener& opener, Services services,
                     QWidget* parent = nullptr);
    SettingsHomePage(SettingsModel& model, MacBillingStore& billing, UrlOpener& opener,
                     QWidget* parent = nullptr)
        : SettingsHomePage(model, billing, opener, Services(), parent) {}
    ~SettingsHomePage() override;

    // What the page shows now.
    HomePageContent content() const;
    HomeRouteCardView* proxyCard() const { return proxyCard_; }
    HomeRouteCardView* ownKeyCard() const { return ownKeyCard_; }
    bool pairStacked() const;
    QWidget* accountArea() const { return accountArea_; }
    // The sign-in card while it is shown.
    WeChatSignInCard* signInCard() const { return signInCard_; }
    const std::vector<SettingsLinkRow*>& rows() const { return rows_; }
    SettingsText* messageLine() const { return message_; }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    HomePageInput input() const;
    void refresh();
    void rebuildAccountArea(const HomePageContent& content);
    void rebuildCards(const HomePageContent& content);
    void rebuildRows(const HomePageContent& content);

    SettingsModel& model_;
    MacBillingStore& billing_;
    UrlOpener& opener_;
    Services services_;
    SettingsHomePresenter presenter_;

    QVBoxLayout* accountSlot_;
    QWidget* accountArea_ = nullptr;
    WeChatSignInCard* signInCard_ = nullptr;
    // What the account area was made for: its kind and store. A change of
    // width only restacks the sign-in card, so its QR page is not reloaded.
    struct AccountKey {
        HomePageContent::AccountArea area;
        const AccountStore* store;
        bool operator==(const AccountKey&) const = default;
    };
    std::optional<AccountKey> accountKey_;

    QWidget* pair_;
    QBoxLayout* pairLayout_;
    HomeRouteCardView* proxyCard_ = nullptr;
    HomeRouteCardView* ownKeyCard_ = nullptr;
    SettingsText* message_;
    QVBoxLayout* groupSlot_;
    QWidget* group_ = nullptr;
    std::vector<SettingsLinkRow*> rows_;
    ObserverSubscription modelObserver_;
    ObserverSubscription billingObserver_;
};

}  // namespace sorvane
