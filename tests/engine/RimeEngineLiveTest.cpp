// The wrapper on the real librime with the bundle's data and a fresh user
// folder. Each case runs as its own process under CTest; run together in one
// process they also exercise the once-per-process setup.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/RimeEngine.h"
#include "tests/support/TempHome.h"

namespace sorvane {
namespace {

namespace fs = std::filesystem;

const std::string bundleRime = std::string(SORVANE_BUNDLE_DIR) + "/Contents/SharedSupport/rime";

class RimeEngineLive : public ::testing::Test {
protected:
    void TearDown() override {
        if (engine) engine->shutdown();
        fs::current_path(originalDir_);
    }

    std::unique_ptr<RimeEngine> make(const fs::path& user, std::string shared = bundleRime) {
        RimeEngine::Options o;
        o.sharedDataDir = std::move(shared);
        o.userDataDir = user.string();
        o.appName = "rime.sorvane";
        o.distribution = {"SorvaneIME", "Sorvane", "0.1.0"};
        o.logDir = (dir.path() / "logs").string();
        o.minLogLevel = 1;
        auto made = RimeEngine::create(std::move(o));
        EXPECT_TRUE(made.hasValue()) << (made ? "" : made.error().description());
        return made ? std::move(made).value() : nullptr;
    }

    void startOn(const fs::path& user) {
        engine = make(user);
        ASSERT_TRUE(engine);
        auto started = engine->start(true, false);
        ASSERT_TRUE(started.hasValue()) << describe(started.error());
        ASSERT_TRUE(engine->createSession().hasValue());
    }

    std::string firstCandidate(const std::string& pinyin) {
        engine->clearComposition();
        engine->type(pinyin);
        auto context = engine->context();
        if (!context || context->candidates.empty()) return "(none)";
        return context->candidates[0].text;
    }

    void tapShift(std::uint32_t keysym) {
        engine->processKey(keysym, 0);
        engine->processKey(keysym, RimeModifier::release);
    }

    testing::TempDir dir;
    std::unique_ptr<RimeEngine> engine;
    fs::path originalDir_ = fs::current_path();
};

TEST_F(RimeEngineLive, FirstStartUsesThePrebuiltData) {
    ASSERT_TRUE(fs::exists(bundleRime + "/build/luna_pinyin.table.bin")) << "the build prebuilds the data";
    startOn(dir.path() / "user");
    EXPECT_NE(engine->version(), "?");
    auto status = engine->status();
    ASSERT_TRUE(status);
    EXPECT_EQ(status->schemaId, "sorvane");
    EXPECT_FALSE(status->isAsciiMode);
    // Nothing of the dictionary was compiled again into the user's staging
    // folder: librime took it from the prebuilt folder.
    for (const auto& entry : fs::recursive_directory_iterator(dir.path() / "user"))
        EXPECT_EQ(entry.path().string().find(".table.bin"), std::string::npos) << entry.path();
    EXPECT_EQ(fs::current_path(), fs::path(bundleRime));
}

TEST_F(RimeEngineLive, PinyinGivesSimplifiedWords) {
    startOn(dir.path() / "user");
    EXPECT_TRUE(engine->getOption("zh_hans"));
    const std::pair<const char*, const char*> cases[] = {
        {"nihao", "你好"}, {"zhongguo", "中国"}, {"fazhan", "发展"}, {"guojia", "国家"}};
    for (const auto& [pinyin, word] : cases) EXPECT_EQ(firstCandidate(pinyin), word) << pinyin;

    auto context = engine->context();
    ASSERT_TRUE(context);
    EXPECT_EQ(context->preedit, "guo jia");
    EXPECT_EQ(engine->rawInput(), "guojia");
    EXPECT_EQ(context->pageSize, 12);
    EXPECT_EQ(context->label(0), "1");
}

TEST_F(RimeEngineLive, PagingAndHighlight) {
    startOn(dir.path() / "user");
    engine->type("shi");
    auto first = engine->context();
    ASSERT_TRUE(first);
    ASSERT_EQ(first->candidates.size(), 12u);
    EXPECT_EQ(first->pageNo, 0);
    EXPECT_FALSE(first->isLastPage);

    EXPECT_TRUE(engine->processKey(KeySym::pageDown, 0));
    auto second = engine->context();
    EXPECT_EQ(second->pageNo, 1);
    EXPECT_NE(second->candidates[0].text, first->candidates[0].text);
    EXPECT_TRUE(engine->processKey(KeySym::minus, 0)) << "minus pages back while the menu is open";
    EXPECT_EQ(engine->context()->pageNo, 0);
    EXPECT_TRUE(engine->processKey(KeySym::equal, 0));
    EXPECT_EQ(engine->context()->pageNo, 1);
    EXPECT_TRUE(engine->processKey(KeySym::pageUp, 0));
    EXPECT_EQ(engine->context()->pageNo, 0);

    EXPECT_TRUE(engine->processKey(KeySym::down, 0));
    EXPECT_TRUE(engine->processKey(KeySym::down, 0));
    EXPECT_EQ(engine->context()->highlightedIndex, 2);
    EXPECT_TRUE(engine->processKey(KeySym::up, 0));
    EXPECT_EQ(engine->context()->highlightedIndex, 1);
    EXPECT_FALSE(engine->changePage(false)) << "librime 1.8 has no change_page";
}

TEST_F(RimeEngineLive, SelectionAndCommit) {
    startOn(dir.path() / "user");
    engine->type("nihao");
    EXPECT_FALSE(engine->commit()) << "nothing committed yet";
    auto context = engine->context();
    ASSERT_TRUE(context);
    ASSERT_GE(context->candidates.size(), 2u);
    std::string second = context->candidates[1].text;
    EXPECT_TRUE(engine->selectCandidateOnPage(1));
    EXPECT_EQ(engine->commit(), second);
    EXPECT_FALSE(engine->commit()) << "a commit is read once";
    EXPECT_TRUE(engine->context()->isEmpty());

    engine->type("zhongguo");
    EXPECT_TRUE(engine->processKey(KeySym::space, 0));
    EXPECT_EQ(engine->commit(), "中国");

    engine->type("fazhan");
    EXPECT_TRUE(engine->commitComposition());
    EXPECT_EQ(engine->commit(), "发展") << "committing the composition takes the converted text";
}

TEST_F(RimeEngineLive, ShiftTapTogglesAsciiAndKeepsAComposition) {
    startOn(dir.path() / "user");
    tapShift(KeySym::shiftL);
    EXPECT_TRUE(engine->status()->isAsciiMode);
    EXPECT_FALSE(engine->processKey('a', 0)) << "ASCII mode lets letters through";
    tapShift(KeySym::shiftR);
    EXPECT_FALSE(engine->status()->isAsciiMode);

    engine->type("ni");
    tapShift(KeySym::shiftL);
    auto status = engine->status();
    EXPECT_TRUE(status->isAsciiMode);
    EXPECT_TRUE(status->isComposing) << "left Shift keeps the composition";
    EXPECT_FALSE(engine->commit());

    engine->clearComposition();
    engine->setOption("ascii_mode", false);
    engine->processKey(KeySym::capsLock, RimeModifier::lock);
    engine->processKey(KeySym::capsLock, RimeModifier::lock | RimeModifier::release);
    EXPECT_FALSE(engine->status()->isAsciiMode) << "Caps Lock never switches modes";
}

TEST_F(RimeEngineLive, SecondStartOnAnotherUserFolder) {
    startOn(dir.path() / "first");
    EXPECT_EQ(firstCandidate("nihao"), "你好");
    engine->shutdown();
    EXPECT_FALSE(engine->isStarted());
    engine.reset();

    std::vector<RimeNotification> notes;
    engine = make(dir.path() / "second");
    ASSERT_TRUE(engine);
    engine->setOnNotification([&](const RimeNotification& n) { notes.push_back(n); });
    ASSERT_TRUE(engine->start(true, false).hasValue());
    ASSERT_TRUE(engine->createSession().hasValue());
    EXPECT_EQ(firstCandidate("zhongguo"), "中国");
    EXPECT_TRUE(fs::is_directory(dir.path() / "second"));
    EXPECT_FALSE(fs::is_empty(dir.path() / "second")) << "the second start works in its own folder";
    engine->processKey(KeySym::shiftL, 0);
    engine->processKey(KeySym::shiftL, RimeModifier::release);
    bool sawAscii = false;
    for (const auto& n : notes)
        if (auto* option = n.as<RimeNotification::Option>())
            sawAscii |= option->name == "ascii_mode" && option->enabled;
    EXPECT_TRUE(sawAscii) << "notifications reach the second engine's handler";
}

TEST_F(RimeEngineLive, MissingSharedFolder) {
    auto missing = (dir.path() / "no-such-rime").string();
    engine = make(dir.path() / "user", missing);
    ASSERT_TRUE(engine);
    auto started = engine->start(true, false);
    ASSERT_FALSE(started.hasValue());
    EXPECT_EQ(describe(started.error()),
              "shared data dir does not exist: " + missing + " (run scripts/fetch-rime-data)");
    EXPECT_FALSE(fs::exists(dir.path() / "user"));
}

TEST_F(RimeEngineLive, RelativeSharedFolderStillWorks) {
    fs::current_path(fs::path(bundleRime).parent_path());
    engine = make(dir.path() / "user", "rime");
    ASSERT_TRUE(engine);
    ASSERT_TRUE(engine->start(true, false).hasValue());
    ASSERT_TRUE(engine->createSession().hasValue());
    EXPECT_EQ(firstCandidate("nihao"), "你好");
}

}  // namespace
}  // namespace sorvane
