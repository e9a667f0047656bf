#pragma once
// The WeChat sign-in state machine of the settings window. Lives on the main
// thread: every member is called there and every state change happens there.
// Network calls run on worker threads and their results come back through
// the main queue. Observers are told of every assignment of a published field
// before it takes effect, also when the value does not change.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/account/AccountClient.h"
#include "kit/account/AccountCredentials.h"
#include "kit/account/AccountError.h"
#include "kit/account/AccountRecords.h"
#include "kit/settings/AppStateFile.h"
#include "platform/HttpClient.h"
#include "platform/MainQueue.h"
#include "platform/ObserverList.h"
#include "platform/files/UserDefaults.h"

namespace sorvane {

class AccountStore {
public:
    struct LoginState {
        enum class Kind { showingQR, loggedIn, checking, loggedOut, loadingQR, signingIn };

        Kind kind = Kind::checking;
        std::optional<WeChatOAuthConfig> config;  // showingQR only
        // loggedIn only; none while the service could not be asked who is
        // signed in and no user was cached.
        std::optional<AccountUser> user;

        static LoginState showingQR(WeChatOAuthConfig config) {
            return {Kind::showingQR, std::move(config), {}};
        }
        static LoginState loggedIn(AccountUser user) { return {Kind::loggedIn, {}, std::move(user)}; }
        // Signed in, with the user known or not.
        static LoginState loggedIn(std::optional<AccountUser> user) {
            return {Kind::loggedIn, {}, std::move(user)};
        }
        static LoginState checking() { return {Kind::checking, {}, {}}; }
        static LoginState loggedOut() { return {Kind::loggedOut, {}, {}}; }
        static LoginState loadingQR() { return {Kind::loadingQR, {}, {}}; }
        static LoginState signingIn() { return {Kind::signingIn, {}, {}}; }

        bool is(Kind k) const { return kind == k; }
        bool operator==(const LoginState&) const = default;
    };

    static constexpr std::string_view termsVersion = "2026-09-15";
    static constexpr std::string_view cachedUserKey = "SorvaneAccountUser";
    // Shown when the account token from a sign-in could not be stored.
    static constexpr std::string_view tokenNotStoredText = "登录信息无法保存，请重试";

    // What the store talks to besides its credentials and state file.
    struct Services {
        std::string baseURL;                     // empty: AccountAPI::baseURL()
        HttpClient* http = nullptr;              // none: the process's shared client
        std::shared_ptr<UserDefaults> defaults;  // none: the standard user defaults
    };

    AccountStore(AccountCredentials credentials, AppStateFile stateFile, MainQueue& mainQueue)
        : AccountStore(std::move(credentials), std::move(stateFile), mainQueue, Services{}) {}
    AccountStore(AccountCredentials credentials, AppStateFile stateFile, MainQueue& mainQueue,
                 Services services);
    // Ends the calls still running and waits for their threads; results that
    // have not been applied yet are dropped.
    ~AccountStore();
    AccountStore(const AccountStore&) = delete;
    AccountStore& operator=(const AccountStore&) = delete;

    // Published fields.
    const LoginState& login() const { return login_; }
    void setLogin(LoginState state);
    const std::optional<std::string>& errorMessage() const { return errorMessage_; }
    void setErrorMessage(std::optional<std::string> message);
    bool termsAccepted() const { return termsAccepted_; }

    const AccountCredentials& credentials() const { return credentials_; }
    const AppStateFile& stateFile() const { return stateFile_; }
    const std::string& deviceID() const { return deviceID_; }

    // Called with the new value before `login` takes it.
    [[nodiscard]] ObserverSubscription observeLogin(std::function<void(const LoginState& newValue)> observer);
    // Called before any published field changes.
    [[nodiscard]] ObserverSubscription observeChanges(std::function<void()> observer);

    // Checks the stored sign-in in a new main-queue task; returns at once.
    void start();
    void refresh();
    // Without consent: loggedOut. With it: loadingQR, and the QR
    // configuration is fetched.
    void beginLogin();
    // Exchanges the code that WeChat handed to the redirect for a token.
    void completeLogin(const std::string& code);
    // Revokes the token with the service, then clears it locally either way.
    void logout();
    void setTermsAccepted(bool accepted);

    // The user cached in the standard user defaults, if one decodes.
    static std::optional<AccountUser> cachedUser();
    static std::optional<AccountUser> cachedUser(const UserDefaults& defaults);

    // A store for previews and demos: credentials that keep nothing, a state
    // file in a new temporary folder, the given fields; no task is started.
    static std::unique_ptr<AccountStore> preview(MainQueue& mainQueue, LoginState login,
                                                 std::optional<std::string> error, bool termsAccepted);

private:
    struct Worker;
    struct Life {};

    void restoreLogin();
    void fetchConfig();
    void report(const AccountFailure& failure, bool showText = true);
    void cacheUser(const std::optional<AccountUser>& user);
    void forgetSignIn();
    AccountClient makeClient() const;
    void notifyWillChange();

    // Runs `work` on a worker thread and `apply` with its result on the main
    // queue, unless the store is gone by then.
    template <class Result>
    void runOffMain(std::function<Result(AccountClient&)> work, std::function<void(Result)> apply);
    void postMain(std::function<void()> task);
    void reapFinishedWorkers();

    LoginState login_ = LoginState::checking();
    std::optional<std::string> errorMessage_;
    bool termsAccepted_ = false;
    AccountCredentials credentials_;
    AppStateFile stateFile_;
    std::string deviceID_;

    MainQueue& mainQueue_;
    std::string baseURL_;
    HttpClient* http_;
    std::shared_ptr<UserDefaults> defaults_;

    // Only the latest QR fetch may change the state.
    std::uint64_t configSequence_ = 0;

    ObserverList<LoginState> loginObservers_;
    ObserverList<> changeObservers_;

    std::shared_ptr<Life> life_ = std::make_shared<Life>();
    std::mutex workersMutex_;
    std::vector<std::unique_ptr<Worker>> workers_;
};

std::string_view toString(AccountStore::LoginState::Kind kind);

}  // namespace sorvane
