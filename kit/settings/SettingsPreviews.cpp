#include "kit/settings/SettingsPreviews.h"

#include "kit/settings/PreviewFiles.h"
#include "kit/update/UpdatePanelModel.h"
#include "platform/Uuid.h"

namespace sorvane::SettingsPreviews {
namespace {

using KeyStatus = MacBillingState::KeyStatus;
using LoginState = AccountStore::LoginState;

constexpr std::string_view kSignedInName = "Sorvane用户";

std::unique_ptr<MacBillingStore> proxyRoute(bool signedIn, MainQueue& mainQueue) {
    return MacBillingStore::preview(false, KeyStatus::ok, true, signedIn, mainQueue);
}

std::unique_ptr<MacBillingStore> ownKeyRoute(MainQueue& mainQueue) {
    return MacBillingStore::preview(true, KeyStatus::ok, true, true, mainQueue);
}

std::unique_ptr<AccountStore> account(LoginState login, bool termsAccepted, MainQueue& mainQueue) {
    auto store = AccountStore::preview(mainQueue, std::move(login), std::nullopt, termsAccepted);
    // Its folder is made only when a consent is recorded in a live preview
    // window, with the state file and the lock beside it; either way they go
    // with the process.
    const auto& state = store->stateFile().url;
    const std::string name = state.filename().string();
    PreviewFiles::track(state.parent_path(), {name, name + ".lock"});
    return store;
}

}  // namespace

std::unique_ptr<SettingsModel> model(Arguments arguments, MainQueue& mainQueue) {
    const auto folder = std::filesystem::temp_directory_path() / (std::string(folderPrefix) + Uuid::random());
    AppSettingsFile file{folder / "settings.json", nullptr};
    // Registered before the write, so a signal in between still finds it.
    PreviewFiles::track(folder, {file.url.filename().string()});
    // A failure is logged; the model then reads the defaults.
    file.save(arguments.settings, false);

    SettingsModel::Inputs inputs;
    inputs.page = arguments.page;
    inputs.settingsFile = std::move(file);
    inputs.postsChanges = false;
    inputs.makeAccount = [&mainQueue] { return account(LoginState::loggedOut(), false, mainQueue); };
    inputs.billing = arguments.billing ? std::move(arguments.billing) : proxyRoute(true, mainQueue);
    inputs.version = std::string(version);
    inputs.noticesURL = std::filesystem::path("/dev/null");
    // Up to date at a fixed moment; its buttons do nothing.
    inputs.updatePreview = UpdatePanelModel::preview(
        UpdatePanelPhase::upToDate(), std::chrono::sys_seconds(std::chrono::seconds(1'789'027'200)),
        std::string(version), true);
    inputs.rhythmSnapshot = [rhythm = arguments.rhythm.value_or(TypingRhythm::Snapshot{})] { return rhythm; };
    inputs.account = std::move(arguments.account);
    inputs.mainQueue = &mainQueue;
    auto built = std::make_unique<SettingsModel>(std::move(inputs));
    built->previewAccountName = std::move(arguments.accountName);
    return built;
}

std::vector<State> states(MainQueue& mainQueue) {
    const auto now = std::chrono::system_clock::now();
    const std::optional<std::string> named{std::string(kSignedInName)};
    const std::optional<std::string> nameless;
    std::vector<State> list;
    const auto add = [&](std::string name, Arguments arguments) {
        list.push_back({std::move(name), model(std::move(arguments), mainQueue)});
    };
    const auto on = [](SettingsPage page) {
        Arguments arguments;
        arguments.page = page;
        return arguments;
    };

    auto welcome = on(SettingsPage::welcome);
    welcome.accountName = named;
    add("welcome", std::move(welcome));

    auto signedOut = on(SettingsPage::welcome);
    signedOut.account = account(LoginState::loggedOut(), false, mainQueue);
    signedOut.billing = proxyRoute(false, mainQueue);
    signedOut.accountName = nameless;
    add("welcome-signed-out", std::move(signedOut));

    auto signingIn = on(SettingsPage::welcome);
    signingIn.account = account(LoginState::signingIn(), true, mainQueue);
    signingIn.billing = proxyRoute(false, mainQueue);
    signingIn.accountName = nameless;
    add("welcome-signing-in", std::move(signingIn));

    auto ownKey = on(SettingsPage::welcome);
    ownKey.billing = ownKeyRoute(mainQueue);
    ownKey.accountName = named;
    add("welcome-own-key", std::move(ownKey));

    add("service", on(SettingsPage::service));

    auto ownKeySignedOut = on(SettingsPage::ownKey);
    ownKeySignedOut.billing = proxyRoute(false, mainQueue);
    add("own-key-signed-out", std::move(ownKeySignedOut));

    add("own-key", on(SettingsPage::ownKey));

    auto ownKeyFilled = on(SettingsPage::ownKey);
    ownKeyFilled.billing = ownKeyRoute(mainQueue);
    add("own-key-filled", std::move(ownKeyFilled));

    add("privacy", on(SettingsPage::privacy));

    auto accountOut = on(SettingsPage::account);
    accountOut.account = account(LoginState::loggedOut(), false, mainQueue);
    add("account-signed-out", std::move(accountOut));

    auto accountIn = on(SettingsPage::account);
    accountIn.account = account(
        LoginState::loggedIn(AccountUser{1, std::string(kSignedInName), std::nullopt}), false, mainQueue);
    add("account-signed-in", std::move(accountIn));

    add("hotkeys", on(SettingsPage::hotkeys));

    auto hotkeysOff = on(SettingsPage::hotkeys);
    hotkeysOff.settings.toggleKey = ToggleKey::off;
    hotkeysOff.settings.acceptKeys = AcceptKeys::tabFull;
    add("hotkeys-off", std::move(hotkeysOff));

    add("general", on(SettingsPage::general));
    add("about", on(SettingsPage::about));

    auto rhythm = on(SettingsPage::rhythm);
    rhythm.rhythm = TypingRhythm::Snapshot::preview(now);
    add("rhythm", std::move(rhythm));

    add("rhythm-empty", on(SettingsPage::rhythm));
    return list;
}

}  // namespace sorvane::SettingsPreviews
