#include "kit/account/AccountStore.h"

#include <atomic>
#include <filesystem>
#include <thread>

#include "kit/account/AccountAPI.h"
#include "platform/SorvaneLog.h"
#include "platform/Uuid.h"

namespace sorvane {

struct AccountStore::Worker {
    std::thread thread;
    HttpCancellation cancellation;
    std::atomic<bool> done{false};
};

AccountStore::AccountStore(AccountCredentials credentials, AppStateFile stateFile, MainQueue& mainQueue,
                           Services services)
    : credentials_(std::move(credentials)),
      stateFile_(std::move(stateFile)),
      mainQueue_(mainQueue),
      baseURL_(services.baseURL.empty() ? AccountAPI::baseURL() : std::move(services.baseURL)),
      http_(services.http ? services.http : &CurlHttpClient::shared()),
      defaults_(services.defaults ? std::move(services.defaults) : UserDefaults::standard()) {
    deviceID_ = credentials_.deviceID();
    termsAccepted_ = stateFile_.termsAcceptedVersion() == std::string(termsVersion);
}

AccountStore::~AccountStore() {
    // Results already posted find the store gone and do nothing.
    life_.reset();
    std::vector<std::unique_ptr<Worker>> workers;
    {
        std::lock_guard lock(workersMutex_);
        workers.swap(workers_);
    }
    for (auto& worker : workers) worker->cancellation.cancel();
    for (auto& worker : workers) {
        if (worker->thread.joinable()) worker->thread.join();
    }
}

// MARK: Published fields

void AccountStore::notifyWillChange() {
    changeObservers_.notify();
}

void AccountStore::setLogin(LoginState state) {
    notifyWillChange();
    loginObservers_.notify(state);
    login_ = std::move(state);
}

void AccountStore::setErrorMessage(std::optional<std::string> message) {
    notifyWillChange();
    errorMessage_ = std::move(message);
}

ObserverSubscription AccountStore::observeLogin(std::function<void(const LoginState&)> observer) {
    return loginObservers_.add(std::move(observer));
}

ObserverSubscription AccountStore::observeChanges(std::function<void()> observer) {
    return changeObservers_.add(std::move(observer));
}

// MARK: Tasks

void AccountStore::postMain(std::function<void()> task) {
    std::weak_ptr<Life> life = life_;
    mainQueue_.post([life, task = std::move(task)] {
        if (life.expired()) return;
        task();
    });
}

void AccountStore::reapFinishedWorkers() {
    std::lock_guard lock(workersMutex_);
    std::erase_if(workers_, [](std::unique_ptr<Worker>& worker) {
        if (!worker->done) return false;
        if (worker->thread.joinable()) worker->thread.join();
        return true;
    });
}

template <class Result>
void AccountStore::runOffMain(std::function<Result(AccountClient&)> work, std::function<void(Result)> apply) {
    reapFinishedWorkers();
    auto owned = std::make_unique<Worker>();
    Worker* worker = owned.get();
    AccountClient client = makeClient();
    client.cancellation = &worker->cancellation;
    std::weak_ptr<Life> life = life_;
    MainQueue* queue = &mainQueue_;

    std::lock_guard lock(workersMutex_);
    workers_.push_back(std::move(owned));
    worker->thread = std::thread([worker, client = std::move(client), work = std::move(work),
                                  apply = std::move(apply), life, queue]() mutable {
        Result result = work(client);
        queue->post([life, apply = std::move(apply), result = std::move(result)]() mutable {
            if (life.expired()) return;
            apply(std::move(result));
        });
        worker->done = true;
    });
}

AccountClient AccountStore::makeClient() const {
    AccountClient client;
    client.deviceID = deviceID_;
    client.token = credentials_.token();
    client.baseURL = baseURL_;
    client.session = http_;
    return client;
}

// MARK: Sign-in

void AccountStore::start() {
    postMain([this] { restoreLogin(); });
}

void AccountStore::refresh() {
    start();
}

void AccountStore::restoreLogin() {
    if (!credentials_.token()) {
        beginLogin();
        return;
    }
    if (auto cached = cachedUser(*defaults_)) setLogin(LoginState::loggedIn(*cached));

    using MeOutcome = Expected<AccountClient::MeResult, AccountFailure>;
    runOffMain<MeOutcome>([](AccountClient& client) { return client.me(); },
                          [this](MeOutcome outcome) {
                              if (!outcome) {
                                  report(outcome.error());
                                  // Only the service's own answer ends a sign-in: a token it
                                  // could not be asked about still stands (the input method
                                  // goes on using it), with the error beside it. A known user
                                  // stays shown; otherwise the user is shown unnamed.
                                  if (login_.is(LoginState::Kind::checking))
                                      setLogin(LoginState::loggedIn(cachedUser(*defaults_)));
                                  return;
                              }
                              if (outcome->renewedToken) credentials_.setToken(*outcome->renewedToken);
                              if (outcome->user) {
                                  cacheUser(outcome->user);
                                  setLogin(LoginState::loggedIn(*outcome->user));
                              } else {
                                  // The service no longer takes the token.
                                  forgetSignIn();
                              }
                          });
}

void AccountStore::beginLogin() {
    setErrorMessage(std::nullopt);
    if (!termsAccepted_) {
        setLogin(LoginState::loggedOut());
        return;
    }
    setLogin(LoginState::loadingQR());
    fetchConfig();
}

void AccountStore::fetchConfig() {
    const std::uint64_t sequence = ++configSequence_;
    using ConfigOutcome = Expected<WeChatOAuthConfig, AccountFailure>;
    runOffMain<ConfigOutcome>([](AccountClient& client) { return client.oauthConfig(); },
                              [this, sequence](ConfigOutcome outcome) {
                                  // A retry has replaced this fetch: its answer no longer decides
                                  // what is shown, but a failure still leaves its log line.
                                  if (sequence != configSequence_) {
                                      if (!outcome) report(outcome.error(), /*showText=*/false);
                                      return;
                                  }
                                  if (!outcome) {
                                      setLogin(LoginState::loggedOut());
                                      report(outcome.error());
                                      return;
                                  }
                                  // Consent withdrawn or another step moved on meanwhile.
                                  if (!login_.is(LoginState::Kind::loadingQR)) return;
                                  setLogin(LoginState::showingQR(*outcome));
                              });
}

void AccountStore::completeLogin(const std::string& code) {
    setLogin(LoginState::signingIn());
    using LoginOutcome = Expected<LoginResult, AccountFailure>;
    runOffMain<LoginOutcome>([code](AccountClient& client) { return client.login(code); },
                             [this](LoginOutcome outcome) {
                                 if (!outcome) {
                                     setLogin(LoginState::loggedOut());
                                     report(outcome.error());
                                     return;
                                 }
                                 // Without a stored token the input method has no route, so
                                 // the user is not signed in whatever the service said.
                                 if (!credentials_.setToken(outcome->token)) {
                                     setErrorMessage(std::string(tokenNotStoredText));
                                     setLogin(LoginState::loggedOut());
                                     return;
                                 }
                                 cacheUser(outcome->user);
                                 setErrorMessage(std::nullopt);
                                 setLogin(LoginState::loggedIn(outcome->user));
                                 SorvaneLog::log("[Sorvane] account signed in");
                             });
}

void AccountStore::logout() {
    // The client carries the token that is still stored, so the service can revoke it.
    using LogoutOutcome = Expected<void, AccountFailure>;
    runOffMain<LogoutOutcome>(
        [](AccountClient& client) { return client.logout(); },
        [this](LogoutOutcome outcome) {
            if (!outcome) {
                SorvaneLog::log("[Sorvane] account logout: " + AccountError::logToken(outcome.error()));
            }
            forgetSignIn();
        });
}

void AccountStore::forgetSignIn() {
    credentials_.setToken(std::nullopt);
    defaults_->remove(cachedUserKey);
    beginLogin();
}

void AccountStore::setTermsAccepted(bool accepted) {
    if (accepted == termsAccepted_) return;
    notifyWillChange();
    termsAccepted_ = accepted;
    if (accepted) {
        stateFile_.acceptTerms(std::string(termsVersion));
        SorvaneLog::log("[Sorvane] terms accepted version=" + std::string(termsVersion));
        if (login_.is(LoginState::Kind::loggedOut)) beginLogin();
        return;
    }
    stateFile_.update([](nlohmann::json& object) { object.erase("termsAcceptedVersion"); });
    if (login_.is(LoginState::Kind::showingQR)) setLogin(LoginState::loggedOut());
    if (login_.is(LoginState::Kind::loadingQR)) setLogin(LoginState::loggedOut());
}

void AccountStore::report(const AccountFailure& failure, bool showText) {
    if (isCancellation(failure)) return;
    if (showText) setErrorMessage(accountFailureDescription(failure));
    SorvaneLog::log("[Sorvane] account request failed: " + AccountError::logToken(failure));
}

// MARK: User cache

std::optional<AccountUser> AccountStore::cachedUser() {
    return cachedUser(*UserDefaults::standard());
}

std::optional<AccountUser> AccountStore::cachedUser(const UserDefaults& defaults) {
    auto bytes = defaults.data(cachedUserKey);
    if (!bytes) return std::nullopt;
    return AccountUser::decode(*bytes);
}

void AccountStore::cacheUser(const std::optional<AccountUser>& user) {
    std::optional<std::string> bytes;
    if (user) bytes = user->encoded();
    if (bytes) {
        defaults_->setData(cachedUserKey, *bytes);
    } else {
        defaults_->remove(cachedUserKey);
    }
}

// MARK: Previews

std::unique_ptr<AccountStore> AccountStore::preview(MainQueue& mainQueue, LoginState login,
                                                    std::optional<std::string> error, bool termsAccepted) {
    // Not created: the consent is read from a file that normally does not exist.
    auto folder = std::filesystem::temp_directory_path() / ("sorvane-account-preview-" + Uuid::random());
    auto store = std::make_unique<AccountStore>(AccountCredentials(std::make_shared<PreviewSecretStore>()),
                                                AppStateFile{folder / "state.json"}, mainQueue);
    store->termsAccepted_ = termsAccepted;
    store->login_ = std::move(login);
    store->errorMessage_ = std::move(error);
    return store;
}

std::string_view toString(AccountStore::LoginState::Kind kind) {
    using Kind = AccountStore::LoginState::Kind;
    switch (kind) {
        case Kind::showingQR:
            return "showingQR";
        case Kind::loggedIn:
            return "loggedIn";
        case Kind::checking:
            return "checking";
        case Kind::loggedOut:
            return "loggedOut";
        case Kind::loadingQR:
            return "loadingQR";
        case Kind::signingIn:
            return "signingIn";
    }
    return "";
}

}  // namespace sorvane
