#pragma once
// The one view model of a settings window: the page on show, the user
// settings (written back to settings.json on every real change and announced
// to the input-method server), the account store made the first time an
// account page needs it, the route and own-key store, and what the about and
// typing-rhythm pages show.
//
// Main thread only. Observers are told after a published field (page,
// settings, account, save failure) was assigned, also when the value did not
// change, so a view draws itself again from the new state. After a change
// that could not be saved they are told too: they then find settings() still
// the stored value and saveFailure() saying why.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "kit/account/AccountStore.h"
#include "kit/english/TypingRhythm.h"
#include "kit/route/MacBillingStore.h"
#include "kit/settings/AppSettings.h"
#include "kit/settings/SettingsPage.h"
#include "kit/update/UpdatePanelModel.h"
#include "platform/MainQueue.h"
#include "platform/ObserverList.h"

namespace sorvane {

class SettingsModel {
public:
    using AccountFactory = std::function<std::unique_ptr<AccountStore>()>;
    using RhythmProvider = std::function<TypingRhythm::Snapshot()>;

    struct Inputs {
        SettingsPage page = SettingsPage::welcome;
        AppSettingsFile settingsFile;
        // Whether a save also posts the settings-changed notification.
        bool postsChanges = true;
        // Taken as the model's own at once (previews); none: made on demand.
        std::unique_ptr<AccountStore> account;
        AccountFactory makeAccount;
        // None: the live store.
        std::unique_ptr<MacBillingStore> billing;
        std::string version;
        std::optional<std::filesystem::path> noticesURL;
        // A fixed update section for previews; none in the live model (the
        // about page then makes its own live one).
        std::shared_ptr<UpdatePanelModel> updatePreview;
        // None: a fresh TypingRhythm over the standard user defaults per call.
        RhythmProvider rhythmSnapshot;
        // Where the route store hears of a settled login. Required.
        MainQueue* mainQueue = nullptr;
    };

    static constexpr std::string_view developmentVersion = "开发构建";

    // Reads the settings from the file itself: the defaults when it cannot
    // be read or decoded. Calls nothing out; show() is the caller's.
    explicit SettingsModel(Inputs inputs);
    ~SettingsModel();
    SettingsModel(const SettingsModel&) = delete;
    SettingsModel& operator=(const SettingsModel&) = delete;

    // The model of the real settings process, on `page`: the live settings,
    // state and route files, the keychain, the bundle's version.
    static std::unique_ptr<SettingsModel> live(SettingsPage page, MainQueue& mainQueue);
    // The version the about page shows: the bundle's, else "开发构建".
    static std::string versionText(const std::optional<std::string>& bundleShortVersion);

    SettingsPage page() const { return page_; }
    const AppSettings& settings() const { return settings_; }
    // Saves when the value differs from the current one and takes it only
    // once it is saved; an equal value writes and posts nothing. The save
    // writes only the keys that differ (AppSettingsFile::save): what the file
    // holds for the others stays as written. A refused
    // save keeps the stored value and sets saveFailure(), a successful one
    // clears it.
    void setSettings(const AppSettings& settings);
    // Why the last change was not saved, one Chinese line for the page,
    // ending "仍在使用之前的设置。"; none after a successful save or a change of
    // page.
    const std::optional<std::string>& saveFailure() const { return saveFailure_; }
    AccountStore* account() const { return account_.get(); }
    MacBillingStore& billing() const { return *billing_; }
    const std::string& version() const { return version_; }
    const std::optional<std::filesystem::path>& noticesURL() const { return noticesURL_; }
    const std::shared_ptr<UpdatePanelModel>& updatePreview() const { return updatePreview_; }
    // A display name that previews put in place of the account's; the outer
    // none means no override.
    std::optional<std::optional<std::string>> previewAccountName;
    TypingRhythm::Snapshot rhythmSnapshot() const { return rhythmSnapshot_(); }

    // The double-Shift lock as the hotkeys page shows it: off while Shift
    // switches nothing, and then not to be changed.
    bool lockSwitch() const;
    void setLockSwitch(bool on);

    // Changes the page; a new page drops the route store's last message and
    // the save failure, the account page also prepares the account store.
    void show(SettingsPage page);
    // Makes and starts the account store once.
    void prepareAccount();

    [[nodiscard]] ObserverSubscription observeChanges(std::function<void()> observer);

private:
    struct Life {};

    void adopt(std::unique_ptr<AccountStore> store);
    void notifyChanged();

    SettingsPage page_;
    AppSettings settings_;
    std::optional<std::string> saveFailure_;
    std::unique_ptr<AccountStore> account_;
    std::unique_ptr<MacBillingStore> billing_;
    std::string version_;
    std::optional<std::filesystem::path> noticesURL_;
    std::shared_ptr<UpdatePanelModel> updatePreview_;
    AppSettingsFile settingsFile_;
    bool postsChanges_;
    AccountFactory makeAccount_;
    ObserverSubscription loginObservation_;
    RhythmProvider rhythmSnapshot_;
    MainQueue* mainQueue_;

    ObserverList<> observers_;
    std::shared_ptr<Life> life_ = std::make_shared<Life>();
};

}  // namespace sorvane
