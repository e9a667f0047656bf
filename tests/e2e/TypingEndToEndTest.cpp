// Typing through the real server: the executable under a private session
// bus in a temporary HOME, the client tool as the application. The welcome
// page counts as shown, so no settings process is started.
#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <filesystem>

#include "kit/settings/AppSettings.h"
#include "platform/files/Files.h"
#include "platform/qt/DistributedNotifications.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/KeyringDaemon.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/TempHome.h"

namespace sorvane {
namespace {

namespace fs = std::filesystem;
using testing::ChildProcess;
using namespace std::chrono_literals;

const std::string kServerUp = "[Sorvane] server up — connection=";

std::string clientTool() {
    return (fs::path(SORVANE_BUNDLE_DIR).parent_path() / "tools" / "sorvane-client").string();
}

class TypingEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus_.ok());
        ASSERT_TRUE(Files::atomicWrite(home_.path() / "Library" / "SorvaneIME" / "state.json",
                                       "{\n  \"welcomeShownAt\": \"2026-01-01T00:00:00Z\"\n}\n"));
        server_ =
            std::make_unique<ChildProcess>(SORVANE_EXECUTABLE, std::vector<std::string>{},
                                           std::map<std::string, std::string>{{"SORVANE_LOG_STDERR", "1"}});
        ASSERT_TRUE(server_->started());
        ASSERT_TRUE(server_->waitForStderr(kServerUp, 30s)) << server_->err();
    }

    void TearDown() override {
        if (!server_) return;
        server_->signal(SIGTERM);
        EXPECT_EQ(server_->wait(20s), 0);
        // Nothing was spawned: the welcome page was already shown.
        EXPECT_EQ(server_->err().find("settings window"), std::string::npos) << server_->err();
    }

    ChildProcess::Result type(const std::string& script, const std::string& bundle = "com.example.notes") {
        return ChildProcess::run(clientTool(), {"--bundle", bundle, script}, {}, 30s);
    }

    int argc_ = 1;
    char arg0_[8] = "e2e";
    char* argv_[2] = {arg0_, nullptr};
    QCoreApplication app_{argc_, argv_};
    testing::PrivateBus bus_;
    testing::TempHome home_;
    std::unique_ptr<ChildProcess> server_;
};

TEST_F(TypingEndToEndTest, PinyinAndSpaceGiveChinese) {
    const auto typed = type("nihao{space}");
    ASSERT_EQ(typed.status, 0) << typed.err;
    EXPECT_NE(typed.out.find("marked \"ni hao\" selection=6,0"), std::string::npos) << typed.out;
    EXPECT_NE(typed.out.find("insert \"你好\"\n"), std::string::npos) << typed.out;
    EXPECT_TRUE(typed.out.ends_with("field \"你好\"\n")) << typed.out;
    const std::string log = server_->err();
    EXPECT_NE(log.find("[Sorvane] controller init client=com.example.notes engine=true\n"), std::string::npos)
        << log;
    EXPECT_NE(log.find("[Sorvane] activate host=com.example.notes mode=chinese ascii=false prediction=true "
                       "ghost=false\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("[Sorvane] deactivate host=com.example.notes\n"), std::string::npos) << log;
}

TEST_F(TypingEndToEndTest, ShiftEnglishWordsAndReturnGiveTheTypedEnglish) {
    const auto typed = type("{shift}{wait 600}Hello world, again{return}");
    ASSERT_EQ(typed.status, 0) << typed.err;
    EXPECT_NE(typed.out.find("marked \"Hello world, again\""), std::string::npos) << typed.out;
    EXPECT_TRUE(typed.out.ends_with("insert \"Hello world, again\"\nfield \"Hello world, again\"\n"))
        << typed.out;
    EXPECT_NE(server_->err().find("[Sorvane] mode HUD 英 host=com.example.notes\n"), std::string::npos)
        << server_->err();

    // The application's mode is remembered for its next session; Shift+Return
    // commits and also reaches the application.
    const auto again = type("ok{shift+return}");
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_TRUE(again.out.ends_with("field \"ok\\n\"\n")) << again.out;
    // Another application starts in Chinese.
    const auto other = type("ni{space}", "com.example.mail");
    EXPECT_TRUE(other.out.ends_with("field \"你\"\n")) << other.out;
}

TEST_F(TypingEndToEndTest, DoubleShiftLocksAsciiAndModifierKeysPassThrough) {
    const auto typed = type("{shift}{shift}ni hao{return}{shift}{wait 600}{ctrl+a}wo{space}");
    ASSERT_EQ(typed.status, 0) << typed.err;
    EXPECT_NE(typed.out.find("key code=45 \"n\"\n"), std::string::npos) << typed.out;
    EXPECT_NE(typed.out.find("key code=0 \"\\x01\"\n"), std::string::npos) << typed.out;
    EXPECT_TRUE(typed.out.ends_with("field \"ni hao\\n我\"\n")) << typed.out;
    EXPECT_NE(server_->err().find("[Sorvane] double Shift → ascii host=com.example.notes\n"),
              std::string::npos);
    EXPECT_NE(server_->err().find("[Sorvane] single Shift → chinese host=com.example.notes\n"),
              std::string::npos);
}

TEST_F(TypingEndToEndTest, ThePasswordFieldGetsThePlainKeys) {
    const auto typed = type("{shift}{wait 600}user{secure on}pw{return}");
    ASSERT_EQ(typed.status, 0) << typed.err;
    EXPECT_TRUE(typed.out.ends_with("field \"userpw\\n\"\n")) << typed.out;
    EXPECT_NE(server_->err().find("[Sorvane] password input on → prediction=false\n"), std::string::npos)
        << server_->err();
}

TEST_F(TypingEndToEndTest, APasswordFieldInChineseModeGetsPlainLettersAndTheEngineLearnsNone) {
    const auto typed = type("{secure on}mima{space}{return}");
    ASSERT_EQ(typed.status, 0) << typed.err;
    EXPECT_EQ(typed.out.find("marked"), std::string::npos) << typed.out;
    EXPECT_TRUE(typed.out.ends_with("field \"mima \\n\"\n")) << typed.out;
    // What the engine does learn from ordinary typing, for comparison.
    const auto ordinary = type("nihao{space}");
    ASSERT_EQ(ordinary.status, 0) << ordinary.err;

    server_->signal(SIGTERM);
    ASSERT_EQ(server_->wait(20s), 0);
    server_.reset();
    std::string stored;
    for (const auto& entry :
         fs::recursive_directory_iterator(home_.path() / "Library" / "SorvaneIME" / "rime"))
        if (entry.is_regular_file()) stored += Files::readFile(entry.path()).valueOr("");
    EXPECT_NE(stored.find("ni hao"), std::string::npos);
    for (const char* trace : {"mima", "mi ma", "密码"})
        EXPECT_EQ(stored.find(trace), std::string::npos) << trace;
}

TEST_F(TypingEndToEndTest, ASettingsChangeFromTheOtherProcessReleasesTheLock) {
    ChildProcess client(clientTool(),
                        {"--bundle", "com.example.notes", "{shift}{shift}{wait 3000}ni{space}"});
    ASSERT_TRUE(server_->waitForStderr("[Sorvane] double Shift → ascii", 10s)) << server_->err();
    // Held in its wait until the lock is released, however long that takes here.
    client.signal(SIGSTOP);
    // What the settings window does: write the file, then announce it.
    AppSettings settings;
    settings.toggleKey = ToggleKey::off;
    AppSettingsFile{home_.path() / "Library" / "SorvaneIME" / "settings.json",
                    DistributedNotifications::shared()}
        .save(settings, true);
    ASSERT_TRUE(
        server_->waitForStderr("[Sorvane] settings: toggle key off, ascii lock released → chinese", 10s))
        << server_->err();
    client.signal(SIGCONT);
    EXPECT_EQ(client.wait(20s), 0);
    EXPECT_TRUE(client.out().ends_with("field \"你\"\n")) << client.out();
}

// A Secret Service that owns its name and never answers holds a rewrite in
// the keychain: the route choice first asks it whether an account token is
// stored. Typing goes on meanwhile, and quitting cuts the call short rather
// than waiting for it to give up.
TEST_F(TypingEndToEndTest, QuittingDoesNotWaitForARewriteStuckInTheKeychain) {
    testing::MuteBusName secrets("org.freedesktop.secrets");
    ASSERT_TRUE(secrets.owned());
    // Two words ask for a rewrite, which waits out the pause (a second before
    // there is any rhythm) and then asks the keychain for up to 3 s.
    const auto typing = std::chrono::steady_clock::now();
    const auto typed = type("{shift}{wait 600}hello world{wait 1500}");
    EXPECT_LT(std::chrono::steady_clock::now() - typing, 5s);
    ASSERT_EQ(typed.status, 0) << typed.err;
    EXPECT_NE(typed.out.find("marked \"hello world\""), std::string::npos) << typed.out;

    server_->signal(SIGTERM);
    const auto signalled = std::chrono::steady_clock::now();
    EXPECT_EQ(server_->wait(20s), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, 3s);
    const std::string log = server_->err();
    // Cut by the quit, not ended by its own limit.
    EXPECT_EQ(log.find("did not answer"), std::string::npos) << log;
    EXPECT_NE(log.find("[Sorvane] librime finalized for quit\n"), std::string::npos) << log;
    EXPECT_TRUE(log.ends_with("[Sorvane] server exiting\n")) << log;
    server_.reset();
}

}  // namespace
}  // namespace sorvane
