#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/LogSink.h"
#include "platform/SorvaneLog.h"
#include "platform/files/Files.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempHome.h"

namespace sorvane {
namespace {

using testing::ScopedLogCapture;

TEST(SorvaneLog, ClientTextsAreCutTo255BytesAtACharacterBoundary) {
    const std::string a255(255, 'a');
    const struct {
        std::string text;
        std::size_t keptBytes;
    } rows[] = {
        {a255, 255},
        {a255 + "a", 255},
        {std::string(253, 'a') + "é", 255},
        {std::string(254, 'a') + "é", 254},  // the é would end at byte 256
        {[] {
             std::string s;
             for (int i = 0; i < 86; ++i) s += "中";
             return s;
         }(),
         255},
        {std::string(254, 'a') + "中", 254},
        {"", 0},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(SorvaneLog::clientText(row.text), row.text.substr(0, row.keptBytes)) << row.text.size();
    }
}

TEST(SorvaneLog, TextsAreKeptVerbatimAtTheirLevels) {
    ScopedLogCapture capture;
    const std::vector<std::string> texts = {
        "",
        "[Sorvane] state not written: Permission denied (/x)",
        "[Sorvane] 100% done %s %n %d %%",
        "[Sorvane] mode → english 中文 候选",
        "line one\nline two",
    };
    for (const auto& t : texts) SorvaneLog::log(t);
    SorvaneLog::debug("[Sorvane] keyDown code=0");
    SorvaneLog::error("[Sorvane] error level");
    const auto records = capture->records();
    ASSERT_EQ(records.size(), texts.size() + 2);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(records[i].message, texts[i]);
        EXPECT_EQ(records[i].level, LogLevel::standard);
    }
    EXPECT_EQ(records[texts.size()].level, LogLevel::debug);
    EXPECT_EQ(records[texts.size()].message, "[Sorvane] keyDown code=0");
    EXPECT_EQ(records[texts.size() + 1].level, LogLevel::error);
}

class DisabledDebugSink final : public LogSink {
public:
    bool isEnabled(LogLevel level) const override { return level != LogLevel::debug; }
    void write(LogLevel level, std::string_view message) override { written.emplace_back(level, message); }
    std::vector<std::pair<LogLevel, std::string>> written;
};

TEST(SorvaneLog, DisabledLevelWritesNothing) {
    auto sink = std::make_shared<DisabledDebugSink>();
    auto previous = Logging::setSink(sink);
    SorvaneLog::debug("[Sorvane] keyDown code=1");
    SorvaneLog::log("[Sorvane] kept");
    EXPECT_FALSE(SorvaneLog::debugEnabled());
    Logging::setSink(previous);
    ASSERT_EQ(sink->written.size(), 1u);
    EXPECT_EQ(sink->written[0].second, "[Sorvane] kept");
}

TEST(SorvaneLog, ManyThreadsOneRecordEach) {
    ScopedLogCapture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 100; ++i)
                SorvaneLog::log("[Sorvane] t" + std::to_string(t) + " " + std::to_string(i));
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(capture->records().size(), 800u);
}

// The journald sink mirrors to standard error when asked; the text must come
// out as given, never read as a format.
TEST(JournaldLogSink, MirrorsTextLiterallyAndSkipsDisabledDebug) {
    testing::TempDir dir;
    testing::ScopedEnvironment environment("SORVANE_LOG_STDERR", "1");
    environment.set("SORVANE_LOG_DEBUG", std::nullopt);
    JournaldLogSink sink;
    const auto path = dir.path() / "stderr.txt";
    const int saved = dup(STDERR_FILENO);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    dup2(fd, STDERR_FILENO);
    EXPECT_FALSE(sink.isEnabled(LogLevel::debug));
    EXPECT_TRUE(sink.isEnabled(LogLevel::standard));
    sink.write(LogLevel::standard, "[Sorvane] 50% %s %n → 中");
    sink.write(LogLevel::debug, "[Sorvane] keyDown code=2");
    sink.write(LogLevel::error, "");
    dup2(saved, STDERR_FILENO);
    ::close(saved);
    ::close(fd);
    EXPECT_EQ(Files::readFile(path).valueOr("?"), "[Sorvane] 50% %s %n → 中\n\n");
}

// What goes to the journal, field by field (a private journal namespace to
// read records back from is not available everywhere the tests run).
TEST(JournaldLogSink, RecordFieldsCarryPriorityAndNames) {
    const std::vector<std::string> tail = {"SYSLOG_IDENTIFIER=Sorvane",
                                           "SORVANE_SUBSYSTEM=cn.kestrum.inputmethod.Sorvane",
                                           "SORVANE_CATEGORY=ime"};
    const struct {
        LogLevel level;
        const char* priority;
    } cases[] = {
        {LogLevel::standard, "PRIORITY=5"}, {LogLevel::debug, "PRIORITY=7"}, {LogLevel::error, "PRIORITY=3"}};
    for (const auto& c : cases) {
        std::vector<std::string> expected = {"MESSAGE=[Sorvane] 50% %s → 中", c.priority};
        expected.insert(expected.end(), tail.begin(), tail.end());
        EXPECT_EQ(JournaldLogSink::fields(c.level, "[Sorvane] 50% %s → 中"), expected) << c.priority;
    }
    EXPECT_EQ(JournaldLogSink::fields(LogLevel::standard, "").front(), "MESSAGE=");
}

TEST(JournaldLogSink, DebugWhenEnabled) {
    testing::ScopedEnvironment environment("SORVANE_LOG_DEBUG", "1");
    JournaldLogSink sink;
    environment.set("SORVANE_LOG_DEBUG", std::nullopt);  // read once, when made
    EXPECT_TRUE(sink.isEnabled(LogLevel::debug));
}

}  // namespace
}  // namespace sorvane
