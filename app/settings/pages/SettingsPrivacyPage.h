#pragma once
// The privacy page ("privacy"): where a typed sentence goes for the route in
// use, where the key is kept, and that the pure English mode sends nothing.
// Reads the window's MacBillingStore and follows its changes; changes
// nothing. Main thread only; the store must outlive the page.
//
//   auto* page = new SettingsPrivacyPage(model.billing(), UrlOpener::live());
#include "app/settings/blocks/SettingsScroll.h"
#include "kit/route/MacBillingStore.h"

namespace sorvane {

class SettingsText;
class UrlOpener;

class SettingsPrivacyPage final : public SettingsScroll {
public:
    SettingsPrivacyPage(MacBillingStore& billing, UrlOpener& opener, QWidget* parent = nullptr);
    ~SettingsPrivacyPage() override;

    SettingsText* pathLine() const { return path_; }
    SettingsText* explanation() const { return explanation_; }

private:
    void refresh();

    MacBillingStore& billing_;
    SettingsText* path_;
    SettingsText* explanation_;
    ObserverSubscription observer_;
};

}  // namespace sorvane
