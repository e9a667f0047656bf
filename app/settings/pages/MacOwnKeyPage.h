#pragma once
// The own DeepSeek key page ("ownKey"): how to get a key, the key field with
// its check, and once a key is recorded its masked form, status, re-check and
// removal. Follows the window's MacBillingStore: every change of the store
// redraws the page, and after a save it switches to the recorded-key layout.
//
//   auto* page = new MacOwnKeyPage(model.billing(), UrlOpener::live(), [&] {
//   model.show(SettingsPage::account); });
//
// The sign-in action is kept for the root view's sake; nothing on this page
// asks for a sign-in. Main thread only; the store must outlive the page.
#include <QPointer>
#include <functional>

#include "app/settings/blocks/SettingsScroll.h"
#include "kit/route/MacBillingStore.h"

class QLineEdit;

namespace sorvane {

class SettingsButton;
class SettingsGroup;
class SettingsSpinner;
class SettingsText;
class UrlOpener;

class MacOwnKeyPage final : public SettingsScroll {
public:
    MacOwnKeyPage(MacBillingStore& billing, UrlOpener& opener, std::function<void()> onSignIn = {},
                  QWidget* parent = nullptr);
    ~MacOwnKeyPage() override;

    // For tests and renders: the parts whose state the store sets.
    bool showsRecordedKey() const;
    QLineEdit* keyField() const { return draft_; }
    SettingsButton* saveButton() const { return save_; }
    SettingsButton* recheckButton() const { return recheck_; }
    SettingsButton* removeButton() const { return remove_; }
    SettingsText* messageLine() const { return message_; }
    SettingsGroup* keyFieldGroup() const { return keyGroup_; }
    SettingsText* keyShortLine() const { return keyShort_; }
    SettingsText* keyStatusLine() const { return keyStatus_; }

private:
    void refresh();
    void saveDraft();

    MacBillingStore& billing_;
    std::function<void()> onSignIn_;

    SettingsGroup* recordedGroup_;
    SettingsText* keyShort_;
    SettingsText* keyStatus_;
    SettingsButton* recheck_;
    SettingsButton* remove_;
    SettingsSpinner* recheckSpinner_;
    SettingsText* caption_;
    SettingsGroup* gettingStarted_;
    SettingsGroup* keyGroup_;
    QLineEdit* draft_;
    SettingsButton* save_;
    SettingsSpinner* saveSpinner_;
    SettingsText* message_;
    ObserverSubscription observer_;
};

}  // namespace sorvane
