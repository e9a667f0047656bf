#include "kit/settings/SettingsModel.h"

#include <cerrno>

#include "kit/account/AccountCredentials.h"
#include "kit/settings/AppStateFile.h"
#include "platform/Bundle.h"
#include "platform/files/Files.h"
#include "platform/files/UserDefaults.h"

namespace sorvane {
namespace {

std::string saveFailureText(const AppSettingsFile::SaveError& error) {
    const int code = error.cause.code;
    const char* why = "设置文件无法写入";
    if (code == ENOSPC || code == EDQUOT) {
        why = "磁盘已满";
    } else if (error.kind == AppSettingsFile::SaveError::Kind::keptExisting) {
        why = "现有的设置文件无法读取";
    } else if (code == EACCES || code == EPERM || code == EROFS) {
        why = "没有写入权限";
    }
    return std::string("更改未能保存：") + why + "。仍在使用之前的设置。";
}

}  // namespace

SettingsModel::SettingsModel(Inputs inputs)
    : page_(inputs.page),
      billing_(std::move(inputs.billing)),
      version_(std::move(inputs.version)),
      noticesURL_(std::move(inputs.noticesURL)),
      updatePreview_(std::move(inputs.updatePreview)),
      settingsFile_(std::move(inputs.settingsFile)),
      postsChanges_(inputs.postsChanges),
      makeAccount_(std::move(inputs.makeAccount)),
      rhythmSnapshot_(std::move(inputs.rhythmSnapshot)),
      mainQueue_(inputs.mainQueue) {
    // Read directly, not through the server's cache: the window shows what
    // the file holds now.
    settings_ = settingsFile_.load().value_or(AppSettings{});
    if (!billing_) billing_ = MacBillingStore::live(*mainQueue_);
    if (!rhythmSnapshot_) {
        rhythmSnapshot_ = [] { return TypingRhythm(UserDefaults::standard()).snapshot(); };
    }
    if (inputs.account) adopt(std::move(inputs.account));
}

SettingsModel::~SettingsModel() {
    life_.reset();
}

std::string SettingsModel::versionText(const std::optional<std::string>& bundleShortVersion) {
    return bundleShortVersion.value_or(std::string(developmentVersion));
}

std::unique_ptr<SettingsModel> SettingsModel::live(SettingsPage page, MainQueue& mainQueue) {
    // The files of the current HOME, as AppSettingsFile::live() and
    // AppStateFile::live() name them in this process; those keep the HOME of
    // their first use, which must not be a test's temporary one.
    const auto support = Files::supportDirectory();
    Inputs inputs;
    inputs.page = page;
    inputs.settingsFile = AppSettingsFile{support / "settings.json", nullptr};
    inputs.postsChanges = true;
    inputs.makeAccount = [&mainQueue, state = AppStateFile{support / "state.json"}] {
        return std::make_unique<AccountStore>(AccountCredentials::live(), state, mainQueue);
    };
    inputs.billing = MacBillingStore::live(mainQueue);
    inputs.version = versionText(Bundle::main().shortVersion);
    inputs.noticesURL = BundleResources::find("THIRD-PARTY-NOTICES", "txt");
    inputs.mainQueue = &mainQueue;
    auto model = std::make_unique<SettingsModel>(std::move(inputs));
    // A window opened on the account page makes and starts its store at once.
    model->show(page);
    return model;
}

void SettingsModel::setSettings(const AppSettings& settings) {
    if (settings != settings_) {
        // The server goes on with what the file holds: the window shows the
        // same, and says why the change did not take.
        if (auto saved = settingsFile_.save(settings, settings_, postsChanges_); saved) {
            settings_ = settings;
            saveFailure_.reset();
        } else {
            saveFailure_ = saveFailureText(saved.error());
        }
    }
    notifyChanged();
}

bool SettingsModel::lockSwitch() const {
    return settings_.toggleKey != ToggleKey::off && settings_.doubleShiftLock;
}

void SettingsModel::setLockSwitch(bool on) {
    if (settings_.toggleKey == ToggleKey::off) return;
    AppSettings next = settings_;
    next.doubleShiftLock = on;
    setSettings(next);
}

void SettingsModel::show(SettingsPage page) {
    if (page != page_) {
        billing_->clearMessage();
        saveFailure_.reset();
    }
    page_ = page;
    notifyChanged();
    if (page == SettingsPage::account) prepareAccount();
}

void SettingsModel::prepareAccount() {
    if (account_ || !makeAccount_) return;
    adopt(makeAccount_());
    if (account_) account_->start();
}

void SettingsModel::adopt(std::unique_ptr<AccountStore> store) {
    loginObservation_.reset();
    account_ = std::move(store);
    if (account_) {
        // The store calls its observers before `login` takes the new value,
        // so the route store is told on the main queue, once the views that
        // read the account store see the same state; `checking` settles
        // nothing.
        loginObservation_ = account_->observeLogin([this](const AccountStore::LoginState& next) {
            if (next.is(AccountStore::LoginState::Kind::checking)) return;
            std::weak_ptr<Life> life = life_;
            const bool signedIn = next.is(AccountStore::LoginState::Kind::loggedIn);
            mainQueue_->post([this, life, signedIn] {
                if (life.expired()) return;
                billing_->loginChanged(signedIn);
            });
        });
    }
    notifyChanged();
}

ObserverSubscription SettingsModel::observeChanges(std::function<void()> observer) {
    return observers_.add(std::move(observer));
}

void SettingsModel::notifyChanged() {
    observers_.notify();
}

}  // namespace sorvane
