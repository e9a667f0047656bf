#include "engine/RimeEngine.h"

#include <unicode/uchar.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "engine/RimeLibrary.h"
#include "platform/Text.h"

namespace sorvane {

namespace fs = std::filesystem;

std::string describe(const RimeEngineFailure& failure) {
    return std::visit([](const auto& e) { return e.description(); }, failure);
}

namespace {

// The one handler for the whole process; its address is the context object
// librime hands back to the trampoline.
struct RimeNotificationSink {
    std::mutex lock;
    RimeEngine::NotificationHandler handler;

    static RimeNotificationSink& shared() {
        static auto* sink = new RimeNotificationSink;
        return *sink;
    }
    void set(RimeEngine::NotificationHandler h) {
        std::lock_guard guard(lock);
        handler = std::move(h);
    }
};

// librime may call this on its own threads (deployment runs on its
// maintenance thread); the handler runs outside the lock.
void notificationTrampoline(void* context, RimeSessionId, const char* type, const char* value) {
    if (!context || !type || !value) return;
    auto notification = RimeNotification::parse(std::string(type), std::string(value));
    auto& sink = *static_cast<RimeNotificationSink*>(context);
    RimeEngine::NotificationHandler handler;
    {
        std::lock_guard guard(sink.lock);
        handler = sink.handler;
    }
    if (handler) handler(notification);
}

// Tilde expanded, made absolute (librime gets the folders after the working
// directory has moved to the shared folder), "." and ".." resolved.
std::string standardize(const std::string& path) {
    if (path.empty()) return path;
    std::string expanded = path;
    if (expanded[0] == '~' && (expanded.size() == 1 || expanded[1] == '/'))
        expanded = Files::homeDirectory().string() + expanded.substr(1);
    fs::path p(expanded);
    if (p.is_relative()) {
        std::error_code ec;
        auto cwd = fs::current_path(ec);
        if (!ec) p = cwd / p;
    }
    std::string out = p.lexically_normal().string();
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

std::string appendBuild(const std::string& dir) {
    return (fs::path(dir) / "build").string();
}

struct TraitsInput {
    const std::string& sharedDataDir;
    const std::string& userDataDir;
    const std::string& appName;
    const RimeEngine::Distribution& distribution;
    const std::optional<std::string>& logDir;
    int minLogLevel;
    const std::string& prebuiltDataDir;
    const std::string& stagingDir;
};

RimeTraits makeTraits(const TraitsInput& in, RimeTraitsStorage& strings) {
    RIME_STRUCT(RimeTraits, traits);
    traits.shared_data_dir = strings.keep(in.sharedDataDir);
    traits.user_data_dir = strings.keep(in.userDataDir);
    traits.distribution_name = strings.keep(in.distribution.name);
    traits.distribution_code_name = strings.keep(in.distribution.codeName);
    traits.distribution_version = strings.keep(in.distribution.version);
    traits.app_name = strings.keep(in.appName);
    traits.modules = nullptr;  // librime's default modules
    traits.min_log_level = in.minLogLevel;
    traits.log_dir = in.logDir ? strings.keep(*in.logDir) : nullptr;
    traits.prebuilt_data_dir = strings.keep(in.prebuiltDataDir);
    traits.staging_dir = strings.keep(in.stagingDir);
    return traits;
}

// The text of an exception that left librime; none when the call returned.
template <class Call>
std::optional<std::string> faultOf(Call&& call) noexcept {
    try {
        call();
        return std::nullopt;
    } catch (...) {
        return RimeLibrary::currentFault();
    }
}

bool isDirectory(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::is_directory(path, ec);
}

std::string copyText(const char* text) {
    return text ? std::string(text) : std::string();
}

}  // namespace

RimeEngine::RimeEngine(Options options, std::shared_ptr<RimeLibrary> library)
    : sharedDataDir_(standardize(options.sharedDataDir)),
      userDataDir_(standardize(options.userDataDir)),
      appName_(std::move(options.appName)),
      distribution_(std::move(options.distribution)),
      prebuiltDataDir_(options.prebuiltDataDir ? standardize(*options.prebuiltDataDir)
                                               : appendBuild(sharedDataDir_)),
      stagingDir_(options.stagingDir ? standardize(*options.stagingDir) : appendBuild(userDataDir_)),
      logDir_(options.logDir ? std::optional(standardize(*options.logDir)) : std::nullopt),
      minLogLevel_(options.minLogLevel),
      library_(std::move(library)),
      traitsStorage_(std::make_shared<RimeTraitsStorage>()) {}

Expected<std::unique_ptr<RimeEngine>, RimeEngineError> RimeEngine::create(
    Options options, std::shared_ptr<RimeLibrary> library) {
    if (!library) library = RimeLibrary::system();
    if (!library || !library->api())
        return unexpected(RimeEngineError(RimeEngineError::Kind::apiUnavailable));
    return std::unique_ptr<RimeEngine>(new RimeEngine(std::move(options), std::move(library)));
}

RimeEngine::~RimeEngine() {
    shutdown();
}

void RimeEngine::setOnNotification(NotificationHandler handler) {
    onNotification_ = std::move(handler);
    RimeNotificationSink::shared().set(onNotification_);
}

Expected<void, RimeEngineFailure> RimeEngine::start(bool deployIfNeeded, bool fullCheck) {
    if (started_)
        return unexpected(RimeEngineFailure(RimeEngineError(RimeEngineError::Kind::alreadyStarted)));
    if (!isDirectory(sharedDataDir_))
        return unexpected(RimeEngineFailure(RimeEngineError::missingSharedDataDir(sharedDataDir_)));
    if (auto made = Files::createDirectories(userDataDir_); !made)
        return unexpected(RimeEngineFailure(made.error()));

    // librime resolves some data paths against the working directory.
    [[maybe_unused]] int ignored = chdir(sharedDataDir_.c_str());

    traitsStorage_ = std::make_shared<RimeTraitsStorage>();
    RimeTraits traits = makeTraits({sharedDataDir_, userDataDir_, appName_, distribution_, logDir_,
                                    minLogLevel_, prebuiltDataDir_, stagingDir_},
                                   *traitsStorage_);
    auto& sink = RimeNotificationSink::shared();
    auto fault = faultOf([&] { library_->setupOnce(&traits, traitsStorage_); });
    if (!fault) {
        sink.set(onNotification_);
        library_->call(&RimeApi::set_notification_handler, "set_notification_handler",
                       &notificationTrampoline, &sink);
        fault = faultOf([&] {
            if (auto initialize = library_->entry(&RimeApi::initialize)) initialize(&traits);
        });
        started_ = true;
    }
    if (!fault && deployIfNeeded) {
        fault = faultOf([&] {
            auto startMaintenance = library_->entry(&RimeApi::start_maintenance);
            if (startMaintenance && startMaintenance(fullCheck ? True : False)) {
                if (auto join = library_->entry(&RimeApi::join_maintenance_thread)) join();
            }
        });
    }
    if (fault) {
        // A failed start leaves the engine not started.
        shutdown();
        return unexpected(RimeEngineFailure(RimeEngineError::libraryFault(*fault)));
    }
    return {};
}

Expected<RimeEngine::SessionId, RimeEngineError> RimeEngine::createSession() {
    if (!started_) return unexpected(RimeEngineError(RimeEngineError::Kind::notStarted));
    if (sessionId_ != 0 && library_->call(Bool(False), &RimeApi::find_session, "find_session", sessionId_))
        return sessionId_;
    const RimeSessionId id = library_->call(RimeSessionId(0), &RimeApi::create_session, "create_session");
    if (id == 0) return unexpected(RimeEngineError(RimeEngineError::Kind::sessionCreationFailed));
    sessionId_ = id;
    return sessionId_;
}

void RimeEngine::destroySession() {
    if (sessionId_ == 0) return;
    library_->call(Bool(False), &RimeApi::destroy_session, "destroy_session", sessionId_);
    sessionId_ = 0;
}

bool RimeEngine::hasSession() const {
    return sessionId_ != 0 && library_->call(Bool(False), &RimeApi::find_session, "find_session", sessionId_);
}

std::string RimeEngine::version() const {
    const char* v = library_->call(static_cast<const char*>(nullptr), &RimeApi::get_version, "get_version");
    return v ? std::string(v) : std::string("?");
}

bool RimeEngine::processKey(std::uint32_t keysym, std::uint32_t mask) {
    if (sessionId_ == 0) return false;
    return library_->call(Bool(False), &RimeApi::process_key, "process_key", sessionId_,
                          static_cast<int>(keysym), static_cast<int>(mask));
}

bool RimeEngine::processKey(RimeKeyEvent event) {
    return processKey(event.keysym, event.mask);
}

std::vector<bool> RimeEngine::type(std::string_view text) {
    std::vector<bool> answers;
    for (char32_t scalar : Text::codePoints(text)) {
        std::uint32_t keysym = scalar < 127 ? static_cast<std::uint32_t>(scalar) : KeySym::voidSymbol;
        std::uint32_t mask =
            u_hasBinaryProperty(static_cast<UChar32>(scalar), UCHAR_UPPERCASE) ? RimeModifier::shift : 0;
        answers.push_back(processKey(keysym, mask));
    }
    return answers;
}

bool RimeEngine::simulateKeySequence(std::string_view keys) {
    if (sessionId_ == 0) return false;
    return library_->call(Bool(False), &RimeApi::simulate_key_sequence, "simulate_key_sequence", sessionId_,
                          std::string(keys).c_str());
}

std::optional<std::string> RimeEngine::commit() {
    if (sessionId_ == 0) return std::nullopt;
    auto get = library_->entry(&RimeApi::get_commit);
    auto free = library_->entry(&RimeApi::free_commit);
    if (!get || !free) return std::nullopt;
    RIME_STRUCT(RimeCommit, record);
    if (!library_->call(Bool(False), &RimeApi::get_commit, "get_commit", sessionId_, &record))
        return std::nullopt;
    std::optional<std::string> text;
    if (record.text) text = std::string(record.text);
    library_->call(Bool(False), &RimeApi::free_commit, "free_commit", &record);
    return text;
}

std::optional<RimeContextSnapshot> RimeEngine::context() {
    if (sessionId_ == 0) return std::nullopt;
    auto get = library_->entry(&RimeApi::get_context);
    auto free = library_->entry(&RimeApi::free_context);
    if (!get || !free) return std::nullopt;
    RIME_STRUCT(RimeContext, record);
    if (!library_->call(Bool(False), &RimeApi::get_context, "get_context", sessionId_, &record))
        return std::nullopt;

    RimeContextSnapshot s;
    s.preedit = copyText(record.composition.preedit);
    s.selStart = record.composition.sel_start;
    s.selEnd = record.composition.sel_end;
    s.cursorPos = record.composition.cursor_pos;
    const RimeMenu& menu = record.menu;
    if (menu.candidates && menu.num_candidates >= 1) {
        s.candidates.reserve(static_cast<std::size_t>(menu.num_candidates));
        for (int i = 0; i < menu.num_candidates; ++i) {
            const ::RimeCandidate& c = menu.candidates[i];
            s.candidates.push_back(sorvane::RimeCandidate{
                copyText(c.text),
                (c.comment && *c.comment) ? std::optional(std::string(c.comment)) : std::nullopt});
        }
    }
    s.pageNo = menu.page_no;
    s.pageSize = menu.page_size;
    s.isLastPage = menu.is_last_page != 0;
    s.highlightedIndex = menu.highlighted_candidate_index;
    s.selectKeys = copyText(menu.select_keys);
    if (record.select_labels) {
        for (int i = 0; i < menu.num_candidates && record.select_labels[i]; ++i)
            s.selectLabels.emplace_back(record.select_labels[i]);
    }
    if (record.commit_text_preview) s.commitTextPreview = std::string(record.commit_text_preview);
    library_->call(Bool(False), &RimeApi::free_context, "free_context", &record);
    return s;
}

std::optional<RimeStatusSnapshot> RimeEngine::status() {
    if (sessionId_ == 0) return std::nullopt;
    auto get = library_->entry(&RimeApi::get_status);
    auto free = library_->entry(&RimeApi::free_status);
    if (!get || !free) return std::nullopt;
    RIME_STRUCT(RimeStatus, record);
    if (!library_->call(Bool(False), &RimeApi::get_status, "get_status", sessionId_, &record))
        return std::nullopt;
    RimeStatusSnapshot s{
        copyText(record.schema_id), copyText(record.schema_name), record.is_disabled != 0,
        record.is_composing != 0,   record.is_ascii_mode != 0,    record.is_full_shape != 0,
        record.is_simplified != 0,  record.is_traditional != 0,   record.is_ascii_punct != 0};
    library_->call(Bool(False), &RimeApi::free_status, "free_status", &record);
    return s;
}

bool RimeEngine::selectCandidateOnPage(int index) {
    if (sessionId_ == 0 || index < 0) return false;
    return library_->call(Bool(False), &RimeApi::select_candidate_on_current_page,
                          "select_candidate_on_current_page", sessionId_, static_cast<std::size_t>(index));
}

bool RimeEngine::selectCandidate(int index) {
    if (sessionId_ == 0 || index < 0) return false;
    return library_->call(Bool(False), &RimeApi::select_candidate, "select_candidate", sessionId_,
                          static_cast<std::size_t>(index));
}

// librime 1.8 publishes neither entry; the answer is the neutral one.
bool RimeEngine::highlightCandidateOnPage(int) {
    return false;
}
bool RimeEngine::changePage(bool) {
    return false;
}

void RimeEngine::setCaretPos(int position) {
    if (sessionId_ == 0 || position < 0) return;
    library_->call(&RimeApi::set_caret_pos, "set_caret_pos", sessionId_, static_cast<std::size_t>(position));
}

int RimeEngine::caretPos() const {
    if (sessionId_ == 0) return 0;
    return static_cast<int>(
        library_->call(std::size_t{0}, &RimeApi::get_caret_pos, "get_caret_pos", sessionId_));
}

std::optional<std::string> RimeEngine::rawInput() const {
    if (sessionId_ == 0) return std::nullopt;
    const char* input =
        library_->call(static_cast<const char*>(nullptr), &RimeApi::get_input, "get_input", sessionId_);
    if (!input) return std::nullopt;
    return std::string(input);
}

void RimeEngine::clearComposition() {
    if (sessionId_ == 0) return;
    library_->call(&RimeApi::clear_composition, "clear_composition", sessionId_);
}

bool RimeEngine::commitComposition() {
    if (sessionId_ == 0) return false;
    return library_->call(Bool(False), &RimeApi::commit_composition, "commit_composition", sessionId_);
}

void RimeEngine::setOption(std::string_view name, bool value) {
    if (sessionId_ == 0) return;
    library_->call(&RimeApi::set_option, "set_option", sessionId_, std::string(name).c_str(),
                   value ? True : False);
}

bool RimeEngine::getOption(std::string_view name) const {
    if (sessionId_ == 0) return false;
    return library_->call(Bool(False), &RimeApi::get_option, "get_option", sessionId_,
                          std::string(name).c_str());
}

bool RimeEngine::selectSchema(std::string_view schemaId) {
    if (sessionId_ == 0) return false;
    return library_->call(Bool(False), &RimeApi::select_schema, "select_schema", sessionId_,
                          std::string(schemaId).c_str());
}

std::optional<std::string> RimeEngine::currentSchemaId() const {
    if (sessionId_ == 0) return std::nullopt;
    char buffer[256] = {};
    if (!library_->call(Bool(False), &RimeApi::get_current_schema, "get_current_schema", sessionId_, buffer,
                        sizeof buffer))
        return std::nullopt;
    buffer[sizeof buffer - 1] = '\0';  // librime may fill the buffer to the brim
    return std::string(buffer);
}

std::vector<std::pair<std::string, std::string>> RimeEngine::schemaList() const {
    std::vector<std::pair<std::string, std::string>> list;
    auto get = library_->entry(&RimeApi::get_schema_list);
    auto free = library_->entry(&RimeApi::free_schema_list);
    if (!get || !free) return list;
    RimeSchemaList record = {0, nullptr};
    if (!library_->call(Bool(False), &RimeApi::get_schema_list, "get_schema_list", &record)) return list;
    if (record.list) {
        for (std::size_t i = 0; i < record.size; ++i)
            list.emplace_back(copyText(record.list[i].schema_id), copyText(record.list[i].name));
    }
    library_->call(&RimeApi::free_schema_list, "free_schema_list", &record);
    return list;
}

void RimeEngine::shutdown() {
    if (!started_) return;
    destroySession();
    library_->call(&RimeApi::set_notification_handler, "set_notification_handler", nullptr, nullptr);
    RimeNotificationSink::shared().set(nullptr);
    library_->call(&RimeApi::finalize, "finalize");
    started_ = false;
}

namespace {

struct NotificationCollector {
    std::mutex lock;
    std::vector<RimeNotification> items;
};

}  // namespace

Expected<RimeEngine::BuildResult, RimeEngineFailure> RimeEngine::buildPrebuiltData(
    BuildOptions options, NotificationHandler onNotification, std::shared_ptr<RimeLibrary> library) {
    if (!library) library = RimeLibrary::system();
    if (!library || !library->api())
        return unexpected(RimeEngineFailure(RimeEngineError(RimeEngineError::Kind::apiUnavailable)));

    const std::string shared = standardize(options.sharedDataDir);
    const std::string staging = standardize(options.stagingDir);
    const std::string user = standardize(options.userDataDir);
    const std::optional<std::string> logDir =
        options.logDir ? std::optional(standardize(*options.logDir)) : std::nullopt;
    if (!isDirectory(shared))
        return unexpected(RimeEngineFailure(RimeEngineError::missingSharedDataDir(shared)));
    if (auto made = Files::createDirectories(staging); !made)
        return unexpected(RimeEngineFailure(made.error()));
    if (auto made = Files::createDirectories(user); !made) return unexpected(RimeEngineFailure(made.error()));
    [[maybe_unused]] int ignored = chdir(shared.c_str());

    // The build writes its output where a start will look for prebuilt data.
    auto strings = std::make_shared<RimeTraitsStorage>();
    RimeTraits traits = makeTraits(
        {shared, user, options.appName, options.distribution, logDir, options.minLogLevel, staging, staging},
        *strings);

    auto collector = std::make_shared<NotificationCollector>();
    auto& sink = RimeNotificationSink::shared();
    sink.set([collector, onNotification](const RimeNotification& n) {
        {
            std::lock_guard guard(collector->lock);
            collector->items.push_back(n);
        }
        if (onNotification) onNotification(n);
    });

    const auto fault = faultOf([&] { library->setupOnce(&traits, strings); });
    library->call(&RimeApi::set_notification_handler, "set_notification_handler", &notificationTrampoline,
                  &sink);
    library->call(&RimeApi::deployer_initialize, "deployer_initialize", &traits);

    auto began = std::chrono::steady_clock::now();
    const bool deployed = !fault && library->call(Bool(False), &RimeApi::deploy, "deploy");
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();

    library->call(&RimeApi::set_notification_handler, "set_notification_handler", nullptr, nullptr);
    library->call(&RimeApi::finalize, "finalize");
    sink.set(nullptr);
    std::vector<RimeNotification> items;
    {
        std::lock_guard guard(collector->lock);
        items = collector->items;
    }
    if (!deployed) return unexpected(RimeEngineFailure(RimeEngineError(RimeEngineError::Kind::deployFailed)));
    return BuildResult{seconds, std::move(items), true};
}

}  // namespace sorvane
