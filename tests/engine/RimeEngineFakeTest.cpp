// The wrapper over a recording function table: what it calls, in which
// order, what it copies, and what it answers when something is missing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "engine/RimeEngine.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/FakeRime.h"
#include "tests/support/TempHome.h"

namespace sorvane {
namespace {

namespace fs = std::filesystem;
using testing::FakeRime;

class RimeEngineFake : public ::testing::Test {
protected:
    void SetUp() override {
        originalDir_ = fs::current_path();
        fs::create_directories(dir.path() / "shared");
    }
    void TearDown() override { fs::current_path(originalDir_); }

    RimeEngine::Options options(const std::string& user = "user") {
        RimeEngine::Options o;
        o.sharedDataDir = (dir.path() / "shared").string();
        o.userDataDir = (dir.path() / user).string();
        o.appName = "rime.sorvane";
        o.distribution = {"SorvaneIME", "Sorvane", "0.1.0"};
        o.logDir = (dir.path() / "logs").string();
        o.minLogLevel = 1;
        return o;
    }
    std::unique_ptr<RimeEngine> make(RimeEngine::Options o) {
        auto engine = RimeEngine::create(std::move(o), fake.library());
        EXPECT_TRUE(engine.hasValue());
        return std::move(engine).value();
    }
    std::unique_ptr<RimeEngine> startedWithSession() {
        auto engine = make(options());
        EXPECT_TRUE(engine->start(true, false).hasValue());
        EXPECT_TRUE(engine->createSession().hasValue());
        fake.calls.clear();
        return engine;
    }
    std::size_t count(const std::string& call) const {
        return static_cast<std::size_t>(std::count(fake.calls.begin(), fake.calls.end(), call));
    }

    testing::TempDir dir;
    FakeRime fake;
    fs::path originalDir_;
};

TEST_F(RimeEngineFake, NullTableIsApiUnavailable) {
    auto engine = RimeEngine::create(options(), std::make_shared<RimeLibrary>(nullptr));
    ASSERT_FALSE(engine.hasValue());
    EXPECT_EQ(engine.error().kind(), RimeEngineError::Kind::apiUnavailable);
    auto build = RimeEngine::buildPrebuiltData({}, {}, std::make_shared<RimeLibrary>(nullptr));
    ASSERT_FALSE(build.hasValue());
    EXPECT_EQ(describe(build.error()), RimeEngineError(RimeEngineError::Kind::apiUnavailable).description());
}

TEST_F(RimeEngineFake, CreationStandardizesAndDefaultsFolders) {
    fs::current_path(dir.path());
    auto o = options();
    o.sharedDataDir = "./shared/../shared/";
    o.userDataDir = "user";
    o.logDir.reset();
    auto engine = make(o);
    EXPECT_EQ(engine->sharedDataDir(), (dir.path() / "shared").string());
    EXPECT_EQ(engine->userDataDir(), (dir.path() / "user").string());
    EXPECT_EQ(engine->prebuiltDataDir(), (dir.path() / "shared/build").string());
    EXPECT_EQ(engine->stagingDir(), (dir.path() / "user/build").string());
    EXPECT_FALSE(engine->logDir().has_value());
    EXPECT_TRUE(fake.calls.empty()) << "creation touches neither librime nor files";
    EXPECT_FALSE(fs::exists(dir.path() / "user"));

    testing::TempHome home;
    o.userDataDir = "~/rime";
    EXPECT_EQ(make(o)->userDataDir(), (home.path() / "rime").string());
}

TEST_F(RimeEngineFake, StartCallsInOrderWithTraits) {
    auto engine = make(options());
    ASSERT_TRUE(engine->start(true, true).hasValue());
    const std::vector<std::string> expected = {"setup", "set_notification_handler", "initialize",
                                               "start_maintenance(full)", "join_maintenance_thread"};
    EXPECT_EQ(fake.calls, expected);
    EXPECT_TRUE(engine->isStarted());
    EXPECT_EQ(fs::current_path(), dir.path() / "shared");
    EXPECT_TRUE(fs::is_directory(dir.path() / "user"));

    ASSERT_EQ(fake.initializeTraits.size(), 1u);
    const auto& t = fake.initializeTraits[0];
    EXPECT_EQ(t.dataSize, static_cast<int>(sizeof(RimeTraits) - sizeof(int)));
    EXPECT_EQ(t.sharedDataDir, (dir.path() / "shared").string());
    EXPECT_EQ(t.userDataDir, (dir.path() / "user").string());
    EXPECT_EQ(t.prebuiltDataDir, (dir.path() / "shared/build").string());
    EXPECT_EQ(t.stagingDir, (dir.path() / "user/build").string());
    EXPECT_EQ(t.logDir, (dir.path() / "logs").string());
    EXPECT_EQ(t.appName, "rime.sorvane");
    EXPECT_EQ(t.distributionName, "SorvaneIME");
    EXPECT_EQ(t.codeName, "Sorvane");
    EXPECT_EQ(t.version, "0.1.0");
    EXPECT_EQ(t.minLogLevel, 1);
}

TEST_F(RimeEngineFake, NoJoinWhenNoDeploymentIsNeeded) {
    fake.maintenanceNeeded = false;
    auto engine = make(options());
    ASSERT_TRUE(engine->start(true, false).hasValue());
    EXPECT_EQ(count("start_maintenance"), 1u);
    EXPECT_EQ(count("join_maintenance_thread"), 0u);

    auto other = make(options("user2"));
    engine->shutdown();
    fake.calls.clear();
    ASSERT_TRUE(other->start(false, false).hasValue());
    EXPECT_EQ(count("start_maintenance"), 0u);
}

TEST_F(RimeEngineFake, SecondStartIsAlreadyStarted) {
    auto engine = make(options());
    ASSERT_TRUE(engine->start(false, false).hasValue());
    fake.calls.clear();
    auto again = engine->start(false, false);
    ASSERT_FALSE(again.hasValue());
    EXPECT_EQ(describe(again.error()), "RimeEngine.start() called twice");
    EXPECT_TRUE(fake.calls.empty());
    EXPECT_TRUE(engine->isStarted());
}

TEST_F(RimeEngineFake, MissingOrFileSharedFolder) {
    struct Case {
        const char* what;
        std::function<fs::path()> shared;
    };
    const Case cases[] = {
        {"missing", [&] { return dir.path() / "nowhere"; }},
        {"a file",
         [&] {
             auto p = dir.path() / "file";
             std::ofstream(p) << "x";
             return p;
         }},
    };
    for (const auto& c : cases) {
        auto o = options("never");
        o.sharedDataDir = c.shared().string() + "/.";
        auto engine = make(o);
        auto started = engine->start(true, false);
        ASSERT_FALSE(started.hasValue()) << c.what;
        auto* error = std::get_if<RimeEngineError>(&started.error());
        ASSERT_NE(error, nullptr) << c.what;
        EXPECT_EQ(error->kind(), RimeEngineError::Kind::missingSharedDataDir);
        EXPECT_EQ(error->path(), c.shared().string()) << "carries the standardized path";
        EXPECT_FALSE(fs::exists(dir.path() / "never")) << c.what;
        EXPECT_FALSE(engine->isStarted());
        EXPECT_TRUE(fake.calls.empty());
    }
}

TEST_F(RimeEngineFake, UnmakeableUserFolderPassesTheFileError) {
    std::ofstream(dir.path() / "blocker") << "x";
    auto o = options();
    o.userDataDir = (dir.path() / "blocker" / "user").string();
    auto engine = make(o);
    auto started = engine->start(false, false);
    ASSERT_FALSE(started.hasValue());
    EXPECT_NE(std::get_if<FileError>(&started.error()), nullptr);
    EXPECT_FALSE(engine->isStarted());
}

TEST_F(RimeEngineFake, SetupRunsOncePerProcessAndItsStringsLive) {
    {
        auto first = make(options("one"));
        ASSERT_TRUE(first->start(false, false).hasValue());
        first->shutdown();
        ASSERT_TRUE(first->start(false, false).hasValue());
    }  // released: its own trait strings are gone
    auto o = options("two");
    o.logDir = (dir.path() / "other-logs").string();
    o.minLogLevel = 3;
    auto second = make(o);
    ASSERT_TRUE(second->start(false, false).hasValue());

    EXPECT_EQ(count("setup"), 1u);
    EXPECT_EQ(count("initialize"), 3u);
    EXPECT_EQ(fake.initializeTraits.back().userDataDir, (dir.path() / "two").string());
    EXPECT_EQ(fake.initializeTraits.back().minLogLevel, 3);
    ASSERT_NE(fake.setupAppNamePointer, nullptr);
    EXPECT_STREQ(fake.setupAppNamePointer, "rime.sorvane") << "setup's strings outlive the engine";
    EXPECT_TRUE(fake.library()->setupDone());

    second->shutdown();
    fake.calls.clear();
    auto build = RimeEngine::buildPrebuiltData({(dir.path() / "shared").string(),
                                                (dir.path() / "staging").string(),
                                                (dir.path() / "scratch").string(),
                                                "rime.sorvane",
                                                {"SorvaneIME", "Sorvane", "0.1.0"},
                                                {},
                                                1},
                                               {}, fake.library());
    ASSERT_TRUE(build.hasValue());
    EXPECT_EQ(count("setup"), 0u) << "the build skips setup too";
}

TEST_F(RimeEngineFake, SessionsAreReusedWhileLibrimeKnowsThem) {
    auto engine = make(options());
    auto before = engine->createSession();
    ASSERT_FALSE(before.hasValue());
    EXPECT_EQ(before.error().kind(), RimeEngineError::Kind::notStarted);

    ASSERT_TRUE(engine->start(false, false).hasValue());
    auto id = engine->createSession();
    ASSERT_TRUE(id.hasValue());
    EXPECT_EQ(*id, 0x7f0000001000u) << "pointer-sized ids pass through";
    EXPECT_EQ(engine->createSession().value(), *id);
    EXPECT_EQ(count("create_session"), 1u);
    EXPECT_TRUE(engine->hasSession());

    fake.sessions.clear();  // librime dropped it (a redeploy)
    EXPECT_FALSE(engine->hasSession());
    auto fresh = engine->createSession();
    ASSERT_TRUE(fresh.hasValue());
    EXPECT_NE(*fresh, *id);
    EXPECT_EQ(count("destroy_session"), 0u) << "a stale id is replaced, not destroyed";

    engine->destroySession();
    EXPECT_EQ(engine->sessionId(), 0u);
    EXPECT_EQ(count("destroy_session"), 1u);

    fake.nextSession = 0;
    auto failed = engine->createSession();
    ASSERT_FALSE(failed.hasValue());
    EXPECT_EQ(failed.error().kind(), RimeEngineError::Kind::sessionCreationFailed);
    fake.api.create_session = nullptr;
    EXPECT_EQ(engine->createSession().error().kind(), RimeEngineError::Kind::sessionCreationFailed);
}

// Every session operation, run once; each answers neutrally without a session
// or with its table entry blanked out.
struct Operation {
    const char* name;
    std::vector<void * RimeApi::*> entries;    // blanking any one of them is enough
    std::function<bool(RimeEngine&)> neutral;  // runs it and says whether it answered neutrally
};

template <class F>
void* RimeApi::*as(F RimeApi::*member) {
    return reinterpret_cast<void * RimeApi::*>(member);
}

std::vector<Operation> operations() {
    return {
        {"processKey", {as(&RimeApi::process_key)}, [](RimeEngine& e) { return !e.processKey(0x61, 0); }},
        {"processKey(event)",
         {as(&RimeApi::process_key)},
         [](RimeEngine& e) {
             return !e.processKey(RimeKeyEvent{0x61, 0});
         }},
        {"type",
         {as(&RimeApi::process_key)},
         [](RimeEngine& e) {
             return e.type("ab") == std::vector<bool>{false, false};
         }},
        {"simulateKeySequence",
         {as(&RimeApi::simulate_key_sequence)},
         [](RimeEngine& e) { return !e.simulateKeySequence("{Down}"); }},
        {"commit",
         {as(&RimeApi::get_commit), as(&RimeApi::free_commit)},
         [](RimeEngine& e) { return !e.commit(); }},
        {"context",
         {as(&RimeApi::get_context), as(&RimeApi::free_context)},
         [](RimeEngine& e) { return !e.context(); }},
        {"status",
         {as(&RimeApi::get_status), as(&RimeApi::free_status)},
         [](RimeEngine& e) { return !e.status(); }},
        {"selectCandidateOnPage",
         {as(&RimeApi::select_candidate_on_current_page)},
         [](RimeEngine& e) { return !e.selectCandidateOnPage(1); }},
        {"selectCandidate",
         {as(&RimeApi::select_candidate)},
         [](RimeEngine& e) { return !e.selectCandidate(1); }},
        {"setCaretPos",
         {as(&RimeApi::set_caret_pos)},
         [](RimeEngine& e) {
             e.setCaretPos(2);
             return true;
         }},
        {"caretPos", {as(&RimeApi::get_caret_pos)}, [](RimeEngine& e) { return e.caretPos() == 0; }},
        {"rawInput", {as(&RimeApi::get_input)}, [](RimeEngine& e) { return !e.rawInput(); }},
        {"clearComposition",
         {as(&RimeApi::clear_composition)},
         [](RimeEngine& e) {
             e.clearComposition();
             return true;
         }},
        {"commitComposition",
         {as(&RimeApi::commit_composition)},
         [](RimeEngine& e) { return !e.commitComposition(); }},
        {"setOption",
         {as(&RimeApi::set_option)},
         [](RimeEngine& e) {
             e.setOption("ascii_mode", true);
             return true;
         }},
        {"getOption", {as(&RimeApi::get_option)}, [](RimeEngine& e) { return !e.getOption("zh_hans"); }},
        {"selectSchema", {as(&RimeApi::select_schema)}, [](RimeEngine& e) { return !e.selectSchema("x"); }},
        {"currentSchemaId",
         {as(&RimeApi::get_current_schema)},
         [](RimeEngine& e) { return !e.currentSchemaId(); }},
        {"hasSession", {as(&RimeApi::find_session)}, [](RimeEngine& e) { return !e.hasSession(); }},
    };
}

TEST_F(RimeEngineFake, NoSessionMeansNoCallAndNeutralAnswers) {
    auto engine = make(options());
    ASSERT_TRUE(engine->start(false, false).hasValue());
    fake.calls.clear();
    for (const auto& op : operations()) {
        EXPECT_TRUE(op.neutral(*engine)) << op.name;
        EXPECT_TRUE(fake.calls.empty()) << op.name << " called " << fake.calls.front();
        fake.calls.clear();
    }
    EXPECT_TRUE(fake.keys.empty());
}

TEST_F(RimeEngineFake, MissingEntriesGiveNeutralAnswers) {
    for (const auto& op : operations()) {
        for (auto entry : op.entries) {
            FakeRime::current = &fake;
            auto engine = startedWithSession();
            void* saved = fake.api.*entry;
            fake.api.*entry = nullptr;
            EXPECT_TRUE(op.neutral(*engine)) << op.name;
            for (const auto& [kind, n] : fake.gets) EXPECT_EQ(n, fake.frees[kind]) << op.name << " " << kind;
            fake.api.*entry = saved;
        }
    }
}

TEST_F(RimeEngineFake, AStartThatLibrimeThrowsInFailsAndLeavesItNotStarted) {
    // setup first: it is tried once per library, and never again.
    for (const char* entry : {"setup", "initialize", "start_maintenance", "join_maintenance_thread"}) {
        auto engine = make(options());
        fake.calls.clear();
        fake.throwing = entry;
        auto started = engine->start(true, false);
        fake.throwing.clear();
        ASSERT_FALSE(started.hasValue()) << entry;
        EXPECT_EQ(
            describe(started.error()),
            std::string("librime failed: boost::filesystem::status: Permission denied: \"") + entry + "\"");
        EXPECT_FALSE(engine->isStarted()) << entry;
        EXPECT_EQ(count("finalize"), std::string(entry) == "setup" ? 0u : 1u) << entry;
    }
    auto engine = make(options());
    EXPECT_TRUE(engine->start(true, false).hasValue());
}

// Each entry's first exception is logged with the entry's name, however
// often it throws: a vanished key can be traced without a record per key.
TEST_F(RimeEngineFake, ThrowingEntriesGiveNeutralAnswersAndAreLoggedOnce) {
    FakeRime::current = &fake;
    auto engine = startedWithSession();
    testing::ScopedLogCapture log;
    fake.throwing = "*";
    for (int round = 0; round < 2; ++round) {
        for (const auto& op : operations()) EXPECT_TRUE(op.neutral(*engine)) << op.name;
    }
    EXPECT_EQ(engine->version(), "?");
    EXPECT_TRUE(engine->schemaList().empty());
    EXPECT_FALSE(engine->createSession().hasValue());
    engine->shutdown();
    EXPECT_FALSE(engine->isStarted());
    fake.throwing.clear();

    const auto messages = log->messages();
    EXPECT_EQ(std::set<std::string>(messages.begin(), messages.end()).size(), messages.size());
    for (const std::string entry : {"process_key", "get_context", "set_option", "find_session", "get_version",
                                    "get_schema_list", "create_session", "finalize"}) {
        const std::string record = "[Sorvane] librime " + entry +
                                   " failed: boost::filesystem::status: Permission denied: \"" + entry + "\"";
        EXPECT_EQ(std::count(messages.begin(), messages.end(), record), 1) << entry;
    }
    for (const auto& record : log->records()) EXPECT_EQ(record.level, LogLevel::error) << record.message;
}

TEST_F(RimeEngineFake, EntriesBeyondTheDeclaredSizeCountAsMissing) {
    auto engine = startedWithSession();
    // A table from a librime that ends before get_version.
    fake.api.data_size = static_cast<int>(offsetof(RimeApi, get_version) - sizeof(int));
    EXPECT_EQ(engine->version(), "?");
    EXPECT_EQ(count("get_version"), 0u);
    EXPECT_TRUE(engine->processKey(0x61, 0)) << "earlier entries still answer";
}

TEST_F(RimeEngineFake, AbsentHighlightAndPageEntriesAreNeutral) {
    auto engine = startedWithSession();
    EXPECT_FALSE(engine->highlightCandidateOnPage(1));
    EXPECT_FALSE(engine->changePage(true));
    EXPECT_FALSE(engine->changePage(false));
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(RimeEngineFake, FailedGetsAreNotFreedAndEveryGetIsFreed) {
    auto engine = startedWithSession();
    fake.getAnswer = false;
    EXPECT_FALSE(engine->commit());
    EXPECT_FALSE(engine->context());
    EXPECT_FALSE(engine->status());
    EXPECT_TRUE(engine->schemaList().empty());
    EXPECT_EQ(count("free_commit") + count("free_context") + count("free_status") + count("free_schema_list"),
              0u);

    fake.getAnswer = true;
    fake.commitTextNull = true;
    EXPECT_FALSE(engine->commit()) << "a null text is no commit";
    fake.commitTextNull = false;
    EXPECT_EQ(engine->commit(), "你好");
    EXPECT_TRUE(engine->context());
    EXPECT_TRUE(engine->status());
    EXPECT_EQ(engine->schemaList().size(), 1u);
    fake.schemas.clear();
    EXPECT_TRUE(engine->schemaList().empty());
    EXPECT_EQ(fake.gets, fake.frees);
    EXPECT_EQ(fake.gets["commit"], 2);
    EXPECT_EQ(fake.gets["schema_list"], 2);
}

TEST_F(RimeEngineFake, RecordsCarryTheHeaderSizes) {
    auto engine = startedWithSession();
    engine->commit();
    engine->context();
    engine->status();
    const std::vector<int> expected = {static_cast<int>(sizeof(RimeCommit) - sizeof(int)),
                                       static_cast<int>(sizeof(RimeContext) - sizeof(int)),
                                       static_cast<int>(sizeof(RimeStatus) - sizeof(int))};
    EXPECT_EQ(fake.recordSizes, expected);
}

TEST_F(RimeEngineFake, ContextIsCopied) {
    auto engine = startedWithSession();
    fake.preedit = "你好 ma";
    fake.selStart = 6;
    fake.selEnd = 9;
    fake.cursorPos = 9;
    fake.candidates = {{"吗", ""}, {"妈", "mā"}, {"马", "\x01"}};  // an empty comment is none too
    fake.pageNo = 2;
    fake.pageSize = 12;
    fake.lastPage = false;
    fake.highlighted = 1;
    fake.selectKeys = "asd";
    fake.labelsNull = false;
    fake.labels = {"A", "\x01", "C"};
    fake.preview = "";
    auto context = engine->context();
    ASSERT_TRUE(context);

    RimeContextSnapshot expected;
    expected.preedit = "你好 ma";
    expected.selStart = 6;
    expected.selEnd = 9;
    expected.cursorPos = 9;
    expected.candidates = {{"吗", std::nullopt}, {"妈", "mā"}, {"马", std::nullopt}};
    expected.pageNo = 2;
    expected.pageSize = 12;
    expected.isLastPage = false;
    expected.highlightedIndex = 1;
    expected.selectKeys = "asd";
    expected.selectLabels = {"A"};  // stops at the first null label
    expected.commitTextPreview = "";
    EXPECT_EQ(*context, expected);

    // The snapshot owns its texts.
    fake.preedit.assign(fake.preedit.size(), 'x');
    fake.candidates[0].first = "xx";
    EXPECT_EQ(context->preedit, "你好 ma");
    EXPECT_EQ(context->candidates[0].text, "吗");
    EXPECT_EQ(context->label(1), "s");
}

TEST_F(RimeEngineFake, ContextEdgeCases) {
    auto engine = startedWithSession();
    fake.candidatesNull = true;
    fake.numCandidatesOverride = 3;
    fake.previewNull = true;
    auto context = engine->context();
    ASSERT_TRUE(context);
    EXPECT_TRUE(context->candidates.empty()) << "null candidates pointer";
    EXPECT_FALSE(context->commitTextPreview.has_value());
    EXPECT_TRUE(context->selectKeys.empty());
    EXPECT_TRUE(context->selectLabels.empty());

    fake.candidatesNull = false;
    fake.numCandidatesOverride = 0;
    EXPECT_TRUE(engine->context()->candidates.empty());

    fake.numCandidatesOverride = -1;
    fake.candidates = {{"a", ""}, {"b", ""}, {"c", ""}, {"d", ""}, {"e", ""}};
    fake.labelsNull = false;
    fake.labels = {"1", "\x01", "3", "4", "5"};
    EXPECT_EQ(engine->context()->selectLabels, std::vector<std::string>{"1"});
    fake.labels = {"1", "2", "3", "4", "5", "6", "7"};
    fake.candidates.resize(2);
    EXPECT_EQ(engine->context()->selectLabels.size(), 2u) << "no more labels than candidates";
}

TEST_F(RimeEngineFake, StatusIsCopied) {
    auto engine = startedWithSession();
    auto status = engine->status();
    ASSERT_TRUE(status);
    EXPECT_EQ(*status, (RimeStatusSnapshot{"sorvane", "", false, true, false, true, true, false, true}));
}

TEST_F(RimeEngineFake, TypedTextBecomesKeys) {
    auto engine = startedWithSession();
    auto answers = engine->type(
        "Ab\x7f"
        "é1Ä");
    EXPECT_EQ(answers.size(), 6u);
    const std::vector<std::pair<int, int>> expected = {{0x41, 1},     {0x62, 0}, {0xFFFFFF, 0},
                                                       {0xFFFFFF, 0}, {0x31, 0}, {0xFFFFFF, 1}};
    EXPECT_EQ(fake.keys, expected);
    EXPECT_TRUE(engine->type("").empty());
}

TEST_F(RimeEngineFake, NegativeIndexesAndPositionsCallNothing) {
    auto engine = startedWithSession();
    EXPECT_FALSE(engine->selectCandidateOnPage(-1));
    EXPECT_FALSE(engine->selectCandidate(-1));
    EXPECT_FALSE(engine->highlightCandidateOnPage(-1));
    engine->setCaretPos(-1);
    EXPECT_TRUE(fake.calls.empty());

    EXPECT_TRUE(engine->selectCandidateOnPage(3));
    EXPECT_TRUE(engine->selectCandidate(14));
    engine->setCaretPos(2);
    EXPECT_EQ(fake.selections, (std::vector<std::size_t>{3, 14}));
    EXPECT_EQ(fake.caretPositions, std::vector<std::size_t>{2});
    EXPECT_EQ(engine->caretPos(), 3);
    EXPECT_EQ(engine->rawInput(), "nihao");
    EXPECT_EQ(engine->currentSchemaId(), "sorvane");
    EXPECT_TRUE(engine->getOption("zh_hans"));
    engine->setOption("ascii_mode", true);
    EXPECT_EQ(fake.options, (std::vector<std::pair<std::string, bool>>{{"ascii_mode", true}}));
}

TEST_F(RimeEngineFake, CurrentSchemaNeverReadsPastTheBuffer) {
    auto engine = startedWithSession();
    fake.currentSchema = std::string(300, 's');
    auto id = engine->currentSchemaId();
    ASSERT_TRUE(id);
    EXPECT_EQ(id->size(), 255u);
}

TEST_F(RimeEngineFake, VersionText) {
    auto engine = make(options());
    EXPECT_EQ(engine->version(), "1.8.5");
    fake.versionText = nullptr;
    EXPECT_EQ(engine->version(), "?");
    fake.api.get_version = nullptr;
    EXPECT_EQ(engine->version(), "?");
}

TEST_F(RimeEngineFake, SchemaListNeedsNoSession) {
    auto engine = make(options());
    fake.schemas = {{"sorvane", "Sorvane 拼音"}, {"other", ""}};
    const std::vector<std::pair<std::string, std::string>> expected = {{"sorvane", "Sorvane 拼音"},
                                                                       {"other", ""}};
    EXPECT_EQ(engine->schemaList(), expected);
}

TEST_F(RimeEngineFake, ShutdownAndRelease) {
    {
        auto idle = make(options());
        idle->shutdown();
    }
    EXPECT_TRUE(fake.calls.empty()) << "an engine that never started does nothing";

    auto engine = startedWithSession();
    engine->shutdown();
    const std::vector<std::string> expected = {"destroy_session", "set_notification_handler(null)",
                                               "finalize"};
    EXPECT_EQ(fake.calls, expected);
    EXPECT_FALSE(engine->isStarted());
    EXPECT_EQ(engine->sessionId(), 0u);
    fake.calls.clear();
    engine->shutdown();
    EXPECT_TRUE(fake.calls.empty());

    ASSERT_TRUE(engine->start(false, false).hasValue());
    fake.calls.clear();
    engine.reset();
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"set_notification_handler(null)", "finalize"}));
}

TEST_F(RimeEngineFake, NotificationsReachTheHandler) {
    auto engine = make(options());
    std::vector<RimeNotification> seen;
    engine->setOnNotification([&](const RimeNotification& n) { seen.push_back(n); });
    ASSERT_TRUE(engine->start(false, false).hasValue());
    fake.notify("option", "!ascii_mode");
    fake.notify(nullptr, "x");
    fake.notify("schema", nullptr);
    fake.handler(nullptr, 0, "deploy", "start");  // no context object
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], RimeNotification(RimeNotification::Option{"ascii_mode", false}));

    // A later assignment takes effect at once.
    std::vector<RimeNotification> later;
    engine->setOnNotification([&](const RimeNotification& n) { later.push_back(n); });
    fake.notify("schema", "sorvane/Sorvane");
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(later.size(), 1u);

    // After shutdown the handler is gone from the shared sink.
    auto trampoline = fake.handler;
    auto context = fake.handlerContext;
    engine->shutdown();
    trampoline(context, 0, "deploy", "success");
    EXPECT_EQ(later.size(), 1u);
}

TEST_F(RimeEngineFake, PrebuiltBuild) {
    std::vector<RimeNotification> forwarded;
    RimeEngine::BuildOptions o{(dir.path() / "shared").string(),
                               (dir.path() / "out").string(),
                               (dir.path() / "scratch").string(),
                               "rime.sorvane",
                               {"SorvaneIME", "Sorvane", "0.1.0"},
                               std::nullopt,
                               2};
    auto build = RimeEngine::buildPrebuiltData(
        o, [&](const RimeNotification& n) { forwarded.push_back(n); }, fake.library());
    ASSERT_TRUE(build.hasValue());
    EXPECT_TRUE(build->succeeded);
    EXPECT_GE(build->duration, 0.0);
    const std::vector<RimeNotification> expected = {
        RimeNotification::Deploy{RimeNotification::DeployPhase::start},
        RimeNotification::Deploy{RimeNotification::DeployPhase::success}};
    EXPECT_EQ(build->notifications, expected);
    EXPECT_EQ(forwarded, expected);
    const std::vector<std::string> calls = {"setup",  "set_notification_handler",       "deployer_initialize",
                                            "deploy", "set_notification_handler(null)", "finalize"};
    EXPECT_EQ(fake.calls, calls);
    ASSERT_EQ(fake.deployerTraits.size(), 1u);
    EXPECT_EQ(fake.deployerTraits[0].prebuiltDataDir, (dir.path() / "out").string());
    EXPECT_EQ(fake.deployerTraits[0].stagingDir, (dir.path() / "out").string());
    EXPECT_FALSE(fake.deployerTraits[0].hasLogDir);
    EXPECT_TRUE(fs::is_directory(dir.path() / "out"));
    EXPECT_TRUE(fs::is_directory(dir.path() / "scratch"));

    fake.answer = false;
    auto failed = RimeEngine::buildPrebuiltData(o, {}, fake.library());
    ASSERT_FALSE(failed.hasValue());
    EXPECT_EQ(describe(failed.error()), "RimeApi.deploy() returned false");

    fake.answer = true;
    fake.api.deploy = nullptr;
    EXPECT_FALSE(RimeEngine::buildPrebuiltData(o, {}, fake.library()).hasValue())
        << "a missing deploy is false";

    o.sharedDataDir = (dir.path() / "none").string();
    auto missing = RimeEngine::buildPrebuiltData(o, {}, fake.library());
    ASSERT_FALSE(missing.hasValue());
    EXPECT_EQ(std::get<RimeEngineError>(missing.error()).kind(), RimeEngineError::Kind::missingSharedDataDir);
}

}  // namespace
}  // namespace sorvane
