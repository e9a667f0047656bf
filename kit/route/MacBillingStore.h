#pragma once
// The settings window's store of the rewrite route and the own DeepSeek key:
// one per window, owned by the settings model, observed by the home, service,
// own-key and privacy pages.
//
// Main thread only. The key check runs on a worker thread and its result is
// applied through the main queue; observers (observeChanges) are called on the
// main thread after each change of a published field, so a page simply redraws
// from the store's getters.
//
//   auto store = MacBillingStore::live(QtMainQueue::shared());
//   ObserverSubscription redraw = store->observeChanges([&] { page.refresh(); });
//   store->saveKey(draft, [&](bool saved) { if (saved) draft.clear(); });
//
// Every write of billing.json goes through MacBillingStateFile::update and so
// under its lock; a write that fails never shows as done.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "kit/route/DeepSeekKeyStore.h"
#include "kit/route/KeyCheck.h"
#include "kit/route/MacBillingState.h"
#include "kit/settings/AppStateFile.h"
#include "platform/MainQueue.h"
#include "platform/ObserverList.h"
#include "platform/files/Files.h"

namespace sorvane {

class MacBillingStore {
public:
    // Blocks until DeepSeek answered; called on a worker thread.
    // Runs on a worker thread; `stop` is cancelled when the store goes away.
    using Verifier = std::function<KeyCheck(const std::string& key, HttpCancellation& stop)>;

    // What the store reads and writes. The live ones come from services().
    struct Services {
        MacBillingStateFile file = MacBillingStateFile::live();
        // The current HOME's state.json (AppStateFile::live() keeps the HOME
        // of its first use, which a test's temporary HOME must not become).
        AppStateFile stateFile{Files::supportDirectory() / "state.json"};
        DeepSeekKeyStore keyStore = DeepSeekKeyStore::live();
        Verifier verifyKey;  // none: verifyWithDeepSeek
        // Whether the window starts signed in, before the account store
        // says; none: an account token is stored.
        std::function<bool()> hasToken;
    };

    static constexpr std::string_view termsVersion = "2026-09-15";

    // Reads billing.json, state.json and the account token at construction.
    MacBillingStore(Services services, MainQueue& mainQueue);
    static std::unique_ptr<MacBillingStore> live(MainQueue& mainQueue);
    // A store for previews and renders: its route file is a new
    // "sorvane-billing-preview-<uuid>.json" in the temporary folder, its state
    // file and key store the live ones, and neither building it nor any action
    // reads or writes any of them. With `key` the route is the own key with
    // suffix "8f2a" and `keyStatus`; without, the proxy with no key.
    static std::unique_ptr<MacBillingStore> preview(bool key, MacBillingState::KeyStatus keyStatus,
                                                    bool termsAccepted, bool signedIn, MainQueue& mainQueue);
    // Waits for a key check still running; its result is dropped.
    ~MacBillingStore();
    MacBillingStore(const MacBillingStore&) = delete;
    MacBillingStore& operator=(const MacBillingStore&) = delete;

    // Published fields.
    bool checkingKey() const { return checkingKey_; }
    const std::optional<std::string>& message() const { return message_; }
    void clearMessage();
    const MacBillingState& state() const { return state_; }
    bool termsAccepted() const { return termsAccepted_; }
    bool signedIn() const { return signedIn_; }
    bool isPreview() const { return isPreview_; }
    bool started() const { return started_; }
    const Services& services() const { return services_; }

    [[nodiscard]] ObserverSubscription observeChanges(std::function<void()> observer);

    // Chooses the route. The own key needs a recorded key first.
    void select(MacBillingState::Source source);
    // Checks the trimmed key with DeepSeek and, when it is accepted, keeps it
    // in the keyring and switches to the own-key route. `done` is called once
    // with whether the key was stored: at once when the key is refused before
    // any request (preview, a check running, a malformed key), else on the
    // main queue after the check.
    void saveKey(const std::string& raw, std::function<void(bool saved)> done = {});
    // Checks the stored key again and records its status; `done` as above.
    void recheckKey(std::function<void()> done = {});
    // Deletes the key and goes back to the proxy route.
    void removeKey();
    void setTermsAccepted(bool accepted);
    void start();
    // The account's sign-in settled as `signedIn` (the account store's state,
    // so that every page shows the one state the account page shows).
    void loginChanged(bool signedIn);

    // "sk-••••" and the recorded suffix; nothing without one.
    std::optional<std::string> keyShort() const;
    std::string keyStatusText() const;

    // The live check: DeepSeek's "/user/balance" with a 10 s time-out, over
    // the shared HTTP client. Blocks; call it off the main thread.
    static KeyCheck verifyWithDeepSeek(const std::string& key, HttpCancellation& stop);

    // Well formed: "sk-", 20 to 200 characters, only ASCII letters, digits,
    // "-" and "_".
    static bool isWellFormedKey(std::string_view key);

private:
    struct Life {};

    MacBillingStore(Services services, MainQueue& mainQueue, bool isPreview, MacBillingState state,
                    bool termsAccepted, bool signedIn);
    void changed();
    // Writes through the locked update and takes the record written; on
    // failure keeps `state` and says so in `message`. True when written.
    bool write(const std::function<void(MacBillingState&)>& change);
    // Runs the verifier on the worker thread and `apply` on the main queue;
    // `dropped` instead when the key was removed or replaced meanwhile.
    void check(const std::string& key, std::function<void(KeyCheck)> apply, std::function<void()> dropped);

    Services services_;
    MainQueue& mainQueue_;
    const bool isPreview_;
    bool checkingKey_ = false;
    std::optional<std::string> message_;
    MacBillingState state_;
    bool termsAccepted_ = false;
    bool signedIn_ = false;
    bool started_ = false;
    // Moves on whenever the key is removed or replaced; a check answers only
    // for the generation it started in.
    std::uint64_t keyGeneration_ = 0;

    ObserverList<> observers_;
    std::thread worker_;
    // Ends the running check, so closing the window never waits on the network.
    std::shared_ptr<HttpCancellation> checkStop_;
    std::shared_ptr<Life> life_ = std::make_shared<Life>();
};

}  // namespace sorvane
