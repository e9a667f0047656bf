#pragma once
// The one door to the RIME engine (librime, loaded at run time). Synchronous,
// used from one thread; every string is copied out and every librime
// structure freed before a call returns. A table entry that librime does not
// have makes its operation answer neutrally (false, none, 0, empty).
//
// librime's setup (which starts its logging) runs at most once per process:
// the first start's log level and log folder stay in force for the whole
// process; every later start (after shutdown(), another RimeEngine, the
// prebuilt-data build) installs only its own traits (directories).
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "engine/RimeEngineError.h"
#include "engine/RimeKeyEvent.h"
#include "engine/RimeNotification.h"
#include "engine/RimeSnapshot.h"
#include "platform/Expected.h"
#include "platform/files/Files.h"

namespace sorvane {

class RimeLibrary;
class RimeTraitsStorage;

// start() and the prebuilt-data build also pass file-system errors through.
using RimeEngineFailure = std::variant<FileError, RimeEngineError>;
std::string describe(const RimeEngineFailure& failure);

class RimeEngine {
public:
    struct Distribution {
        std::string name;
        std::string codeName;
        std::string version;
    };

    // Paths may be relative or begin with "~"; they are made absolute
    // (against the working directory at creation) and normalized.
    struct Options {
        std::string sharedDataDir;
        std::string userDataDir;
        std::string appName;
        Distribution distribution;
        std::optional<std::string> prebuiltDataDir;  // default: shared + "build"
        std::optional<std::string> stagingDir;       // default: user + "build"
        std::optional<std::string> logDir;           // none: librime gets no log folder
        int minLogLevel = 1;
    };

    struct BuildOptions {
        std::string sharedDataDir;
        std::string stagingDir;  // receives the compiled data
        std::string userDataDir;
        std::string appName;
        Distribution distribution;
        std::optional<std::string> logDir;
        int minLogLevel = 1;
    };

    struct BuildResult {
        double duration = 0;  // seconds
        std::vector<RimeNotification> notifications;
        bool succeeded = false;
    };

    using NotificationHandler = std::function<void(const RimeNotification&)>;
    using SessionId = std::uintptr_t;

    // Without a library, librime is loaded from the system (dlopen). Fails
    // with apiUnavailable when it cannot be loaded. Touches no file.
    static Expected<std::unique_ptr<RimeEngine>, RimeEngineError> create(
        Options options, std::shared_ptr<RimeLibrary> library = nullptr);

    // A one-off compile of the shared data into stagingDir (shipped as the
    // prebuilt folder).
    static Expected<BuildResult, RimeEngineFailure> buildPrebuiltData(
        BuildOptions options, NotificationHandler onNotification = {},
        std::shared_ptr<RimeLibrary> library = nullptr);

    ~RimeEngine();  // shuts down a started engine
    RimeEngine(const RimeEngine&) = delete;
    RimeEngine& operator=(const RimeEngine&) = delete;

    const std::string& sharedDataDir() const { return sharedDataDir_; }
    const std::string& userDataDir() const { return userDataDir_; }
    const std::string& appName() const { return appName_; }
    const Distribution& distribution() const { return distribution_; }
    const std::string& prebuiltDataDir() const { return prebuiltDataDir_; }
    const std::string& stagingDir() const { return stagingDir_; }
    const std::optional<std::string>& logDir() const { return logDir_; }
    int minLogLevel() const { return minLogLevel_; }
    SessionId sessionId() const { return sessionId_; }

    // The process-wide notification handler; set at once, started or not.
    // librime calls it on its own threads, outside any lock.
    void setOnNotification(NotificationHandler handler);
    const NotificationHandler& onNotification() const { return onNotification_; }

    // Changes the process's working directory to the shared folder. With
    // deployIfNeeded it blocks until a needed deployment has finished.
    Expected<void, RimeEngineFailure> start(bool deployIfNeeded, bool fullCheck);
    // Reuses the current session while librime still knows it.
    Expected<SessionId, RimeEngineError> createSession();
    void destroySession();
    bool hasSession() const;
    bool isStarted() const { return started_; }
    std::string version() const;  // "?" when librime cannot say

    bool processKey(std::uint32_t keysym, std::uint32_t mask);
    bool processKey(RimeKeyEvent event);
    // One key per Unicode scalar (Shift for uppercase); non-ASCII scalars and
    // DEL go as "no symbol".
    std::vector<bool> type(std::string_view text);
    bool simulateKeySequence(std::string_view keys);

    std::optional<std::string> commit();
    std::optional<RimeContextSnapshot> context();
    std::optional<RimeStatusSnapshot> status();

    bool selectCandidateOnPage(int index);
    bool selectCandidate(int index);
    bool highlightCandidateOnPage(int index);  // not offered by librime 1.8
    bool changePage(bool up);                  // not offered by librime 1.8
    void setCaretPos(int position);
    int caretPos() const;
    std::optional<std::string> rawInput() const;
    void clearComposition();
    bool commitComposition();

    void setOption(std::string_view name, bool value);
    bool getOption(std::string_view name) const;
    bool selectSchema(std::string_view schemaId);
    std::optional<std::string> currentSchemaId() const;
    // (id, name) of every schema; needs no session.
    std::vector<std::pair<std::string, std::string>> schemaList() const;

    // Destroys the session, removes the handler, finalizes librime. The
    // engine may be started again afterwards.
    void shutdown();

private:
    RimeEngine(Options options, std::shared_ptr<RimeLibrary> library);

    std::string sharedDataDir_;
    std::string userDataDir_;
    std::string appName_;
    Distribution distribution_;
    std::string prebuiltDataDir_;
    std::string stagingDir_;
    std::optional<std::string> logDir_;
    int minLogLevel_ = 1;
    NotificationHandler onNotification_;
    std::shared_ptr<RimeLibrary> library_;
    std::shared_ptr<RimeTraitsStorage> traitsStorage_;
    bool started_ = false;
    SessionId sessionId_ = 0;
};

}  // namespace sorvane
