#pragma once
// The rewrite service page ("service"): the choice between the maker's
// rewrite service and the user's own DeepSeek key, a note on where sentences
// go for the route in use, the store's last message, and the way to the key
// page. The choice, its checks and its messages are the store's; the page
// redraws on every change of the model or the store. Main thread only; both
// must outlive the page.
//
//   auto* page = new RewriteServicePage(model, model.billing());
#include "app/settings/blocks/SettingsScroll.h"
#include "kit/route/MacBillingStore.h"
#include "kit/settings/SettingsModel.h"

namespace sorvane {

class SettingsLinkRow;
class SettingsText;

class RewriteServicePage final : public SettingsScroll {
public:
    RewriteServicePage(SettingsModel& model, MacBillingStore& billing, QWidget* parent = nullptr);
    ~RewriteServicePage() override;

    SettingsLinkRow* proxyRow() const { return proxy_; }
    SettingsLinkRow* ownKeyRow() const { return ownKey_; }
    SettingsText* routeNote() const { return note_; }
    SettingsText* messageLine() const { return message_; }

private:
    void refresh();
    bool usesOwnKey() const;

    SettingsModel& model_;
    MacBillingStore& billing_;
    SettingsLinkRow* proxy_;
    SettingsLinkRow* ownKey_;
    SettingsText* note_;
    SettingsText* message_;
    ObserverSubscription modelObserver_;
    ObserverSubscription billingObserver_;
};

}  // namespace sorvane
