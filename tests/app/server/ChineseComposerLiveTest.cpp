// The Chinese composer on the real librime with the bundle's data, a fresh
// user folder, a recording host and a recording panel. Each case is a key
// script: keys in, what the text field and the panel received out. Every
// case runs as its own process under CTest (librime's setup runs once per
// process).
#include <gtest/gtest.h>

#include <filesystem>

#include "app/panels/CandidatePanel.h"
#include "app/panels/ModeHUD.h"
#include "app/server/ChineseComposer.h"
#include "tests/app/panels/PanelTestSupport.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/RecordingCandidatePanel.h"
#include "tests/support/RecordingInputClient.h"
#include "tests/support/TempHome.h"

namespace sorvane {
namespace {

namespace fs = std::filesystem;
using testing::InsertTextCall;
using testing::MarkedTextCall;

const std::string bundleRime = std::string(SORVANE_BUNDLE_DIR) + "/Contents/SharedSupport/rime";
const Rect clientCaret{100, 500, 1, 18};

// Forwards marked text to the client as the controller does, and gives each
// highlight style a run of its own.
class RecordingHost final : public ComposerHost {
public:
    struct Marked {
        MarkedText text;
        int caret = 0;
    };

    mutable testing::RecordingInputClient field;
    bool hasClient = true;
    std::vector<Marked> marked;

    InputClient* client() const override { return hasClient ? &field : nullptr; }
    void setMarkedText(const MarkedText& text, int caret) override {
        marked.push_back({text, caret});
        if (auto* c = client()) c->setMarkedText(text.text, {caret, 0}, text.styleRuns);
    }
    std::optional<StyleRun> markForStyle(MarkedTextStyle style, TextRange range) const override {
        return StyleRun{range, style};
    }
};

std::unique_ptr<RimeEngine> makeEngine(const fs::path& folder) {
    RimeEngine::Options o;
    o.sharedDataDir = bundleRime;
    o.userDataDir = (folder / "user").string();
    o.appName = "rime.sorvane";
    o.distribution = {"SorvaneIME", "Sorvane", "0.1.0"};
    o.logDir = (folder / "logs").string();
    auto made = RimeEngine::create(std::move(o));
    return made ? std::move(made).value() : nullptr;
}

std::vector<std::string> labels(const ChinesePanelModel& model) {
    std::vector<std::string> out;
    for (const auto& c : model.candidates()) out.push_back(c.label);
    return out;
}

class ChineseComposerLive : public ::testing::Test {
protected:
    void SetUp() override {
        engine = makeEngine(dir.path());
        ASSERT_TRUE(engine);
        auto started = engine->start(true, false);
        ASSERT_TRUE(started.hasValue()) << describe(started.error());
        composer = std::make_unique<ChineseComposer>(*engine, host, panel);
    }

    void TearDown() override {
        composer.reset();
        if (engine) engine->shutdown();
        fs::current_path(originalDir_);
    }

    bool key(std::uint32_t keysym, std::uint32_t mask = 0) { return composer->handleKey(keysym, mask); }

    // Printable ASCII as typed: uppercase letters carry Shift.
    void type(std::string_view keys) {
        for (char c : keys)
            key(static_cast<unsigned char>(c), (c >= 'A' && c <= 'Z') ? RimeModifier::shift : 0);
    }

    const ChinesePanelModel& model() {
        static const ChinesePanelModel none("", {}, 0, 0, false);
        const ChinesePanelModel* last = panel.lastChinese();
        EXPECT_TRUE(last) << "no Chinese panel was shown";
        return last ? *last : none;
    }

    // The candidate's index on the shown page; -1 when absent.
    int indexOf(std::string_view text) {
        const auto& candidates = model().candidates();
        for (std::size_t i = 0; i < candidates.size(); ++i)
            if (candidates[i].text == text) return static_cast<int>(i);
        return -1;
    }

    // Picks a candidate of the row layout by its label key.
    void pick(std::string_view text) {
        int index = indexOf(text);
        ASSERT_GE(index, 0) << text;
        ASSERT_LT(index, 6) << text << " is not shown in the row";
        EXPECT_EQ(model().candidates()[index].label, std::to_string(index + 1));
        EXPECT_TRUE(key('1' + index));
    }

    const MarkedTextCall& fieldMarked() { return host.field.lastMarked(); }

    testing::TempDir dir;
    std::unique_ptr<RimeEngine> engine;
    RecordingHost host;
    testing::RecordingCandidatePanel panel;
    std::unique_ptr<ChineseComposer> composer;
    fs::path originalDir_ = fs::current_path();
};

TEST_F(ChineseComposerLive, NihaoShowsSpacedPinyinAndSpaceCommitsTheFirstCandidate) {
    type("nihao");
    ASSERT_FALSE(host.marked.empty());
    EXPECT_EQ(host.marked.back().text, (MarkedText{"ni hao", {{{0, 6}, MarkedTextStyle::selectedRawText}}}));
    EXPECT_EQ(host.marked.back().caret, 6);
    EXPECT_EQ(fieldMarked().selection, (TextRange{6, 0}));

    const auto& shown = model();
    EXPECT_EQ(shown.preedit(), "ni hao");
    ASSERT_GE(shown.candidates().size(), 2u);
    EXPECT_EQ(shown.candidates()[0].label, "1");
    EXPECT_EQ(shown.candidates()[0].text, "你好");
    EXPECT_EQ(shown.candidates()[1].label, "2");
    EXPECT_EQ(shown.layout(), ChinesePanelLayout::horizontal);
    EXPECT_EQ(shown.highlightedIndex(), 0);
    EXPECT_EQ(shown.pageNo(), 0);
    EXPECT_EQ(panel.shown.back().caretRect, clientCaret);
    EXPECT_EQ(panel.indicatorDismissals, 5) << "the mode indicator gives way at every shown page";
    for (int index : host.field.caretQueries()) EXPECT_EQ(index, 0);
    EXPECT_TRUE(composer->isComposing());

    host.field.clear();
    EXPECT_TRUE(key(KeySym::space));
    // The marked text goes first, then the commit replaces it.
    ASSERT_EQ(host.field.calls().size(), 2u);
    EXPECT_EQ(host.field.calls()[0], testing::ClientCall(MarkedTextCall{"", {0, 0}, {}}));
    EXPECT_EQ(host.field.calls()[1], testing::ClientCall(InsertTextCall{"你好"}));
    EXPECT_FALSE(panel.visible);
    EXPECT_EQ(panel.hides, 1);
    EXPECT_FALSE(composer->isComposing());
}

TEST_F(ChineseComposerLive, DownOpensTheGridAndArrowsMoveWithinThePage) {
    type("shi");
    ASSERT_EQ(model().candidates().size(), 12u) << "our data's page size is 12: two grid rows";
    EXPECT_TRUE(key(KeySym::down));
    EXPECT_EQ(composer->layout(), ChinesePanelLayout::vertical);
    EXPECT_EQ(model().layout(), ChinesePanelLayout::vertical);
    EXPECT_EQ(labels(model()),
              (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "1", "2", "3", "4", "5", "6"}));
    EXPECT_EQ(model().highlightedIndex(), 0) << "opening the grid moves nothing";

    // Each step is taken; the engine's one-step Up and Down make rows of six.
    const std::pair<std::uint32_t, int> moves[] = {
        {KeySym::down, 6},  {KeySym::right, 7}, {KeySym::up, 1},    {KeySym::left, 0},  {KeySym::left, 0},
        {KeySym::up, 0},    {KeySym::right, 1}, {KeySym::right, 2}, {KeySym::right, 3}, {KeySym::right, 4},
        {KeySym::right, 5}, {KeySym::right, 5}, {KeySym::down, 11}, {KeySym::down, 11}, {KeySym::right, 11}};
    for (const auto& [keysym, highlighted] : moves) {
        EXPECT_TRUE(key(keysym));
        EXPECT_EQ(model().highlightedIndex(), highlighted) << std::hex << keysym;
        EXPECT_EQ(model().pageNo(), 0);
    }

    // Digits outside the six columns are swallowed.
    const auto before = panel.shown.size();
    EXPECT_TRUE(key('7'));
    EXPECT_TRUE(key('0'));
    EXPECT_TRUE(key(KeySym::keypadDigit(9)));
    EXPECT_EQ(panel.shown.size(), before);
    EXPECT_EQ(host.field.insertedText(), "");

    // With the focus on the second row, 2 picks its second candidate.
    const std::string second = model().candidates()[7].text;
    EXPECT_TRUE(key('2'));
    EXPECT_EQ(host.field.insertedText(), second);
    EXPECT_FALSE(composer->isComposing());
    EXPECT_EQ(composer->layout(), ChinesePanelLayout::horizontal) << "a commit returns to the row";

    type("shi");
    EXPECT_EQ(model().layout(), ChinesePanelLayout::horizontal);
}

TEST_F(ChineseComposerLive, GridOnAShortPageStopsAtTheLastCandidate) {
    type("o");
    ASSERT_EQ(model().candidates().size(), 8u);
    ASSERT_TRUE(model().isLastPage());
    key(KeySym::down);
    EXPECT_TRUE(key(KeySym::down));
    EXPECT_EQ(model().highlightedIndex(), 6);
    EXPECT_TRUE(key(KeySym::right));
    EXPECT_TRUE(key(KeySym::right));
    EXPECT_EQ(model().highlightedIndex(), 7) << "no step past the last candidate";
    EXPECT_EQ(labels(model()), (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "1", "2"}));

    EXPECT_TRUE(key('3')) << "index 8 does not exist";
    EXPECT_TRUE(composer->isComposing());
    const std::string last = model().candidates()[7].text;
    EXPECT_TRUE(key(KeySym::keypadDigit(2))) << "keypad digits pick as well";
    EXPECT_EQ(host.field.insertedText(), last);
}

TEST_F(ChineseComposerLive, GridPagesForwardAndBackAndEscapeClears) {
    type("shi");
    const std::string firstOfPage0 = model().candidates()[0].text;
    key(KeySym::down);

    // Paging keys are not the grid's: they reach the engine, and the grid stays.
    EXPECT_TRUE(key(KeySym::pageDown));
    EXPECT_EQ(model().pageNo(), 1);
    EXPECT_EQ(model().layout(), ChinesePanelLayout::vertical);
    EXPECT_EQ(model().candidates()[6].label, "1");
    EXPECT_NE(model().candidates()[0].text, firstOfPage0);
    EXPECT_TRUE(key(KeySym::equal));
    EXPECT_EQ(model().pageNo(), 2);
    EXPECT_TRUE(key(KeySym::minus));
    EXPECT_EQ(model().pageNo(), 1);
    EXPECT_TRUE(key(KeySym::pageUp));
    EXPECT_EQ(model().pageNo(), 0);
    EXPECT_EQ(model().candidates()[0].text, firstOfPage0);
    EXPECT_EQ(model().layout(), ChinesePanelLayout::vertical);

    EXPECT_TRUE(key(KeySym::escape));
    EXPECT_EQ(fieldMarked().text, "");
    EXPECT_FALSE(panel.visible);
    EXPECT_FALSE(composer->isComposing());
    EXPECT_EQ(composer->layout(), ChinesePanelLayout::horizontal);
    EXPECT_EQ(host.field.insertedText(), "");
}

TEST_F(ChineseComposerLive, ControlDownIsNotAGridKey) {
    type("shi");
    key(KeySym::down);
    key(KeySym::down, RimeModifier::control);
    EXPECT_EQ(model().highlightedIndex(), 0) << "a modified arrow is the engine's, which ignores it";
}

TEST_F(ChineseComposerLive, RowLabelsAreTheEnginesAndOnlyShownCandidatesAreDigitSelected) {
    type("nihao");
    EXPECT_EQ(labels(model()),
              (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"}));
    // The row shows six: the keys of the other candidates are taken and do
    // nothing.
    const std::size_t shows = panel.shown.size();
    for (std::uint32_t hidden : {std::uint32_t{'7'}, std::uint32_t{'8'}, std::uint32_t{'9'},
                                 std::uint32_t{'0'}, KeySym::keypadDigit(7), KeySym::keypadDigit(0)}) {
        EXPECT_TRUE(key(hidden)) << hidden;
        EXPECT_EQ(host.field.insertedText(), "") << hidden;
        EXPECT_EQ(engine->rawInput(), "nihao") << hidden;
    }
    EXPECT_EQ(panel.shown.size(), shows);
    const std::string second = model().candidates()[1].text;
    EXPECT_TRUE(key('2'));
    EXPECT_EQ(host.field.insertedText(), second);
}

TEST_F(ChineseComposerLive, RawLettersKeepTheCompositionAndTakeAnUppercaseLetterAsTyped) {
    EXPECT_FALSE(composer->beginRawLetters()) << "nothing is composing";
    type("ni");
    EXPECT_FALSE(composer->isAsciiMode());
    EXPECT_TRUE(composer->beginRawLetters());
    EXPECT_TRUE(composer->isAsciiMode());
    EXPECT_TRUE(composer->isComposing());
    EXPECT_EQ(fieldMarked().text, "ni");
    EXPECT_FALSE(panel.visible) << "raw letters have no candidates";
    EXPECT_FALSE(composer->beginRawLetters()) << "already raw";

    EXPECT_TRUE(key('A', RimeModifier::shift));
    EXPECT_EQ(fieldMarked().text, "niA");
    EXPECT_EQ(fieldMarked().selection, (TextRange{3, 0}));
    type("b");
    EXPECT_EQ(fieldMarked().text, "niAb");

    // Space with marked text and no panel commits the preedit as typed.
    EXPECT_TRUE(key(KeySym::space));
    EXPECT_EQ(host.field.insertedText(), "niAb");
    EXPECT_FALSE(composer->isComposing());
    EXPECT_EQ(fieldMarked().text, "");
}

TEST_F(ChineseComposerLive, PunctuationMenuIsConfirmedByTypingOn) {
    type("nihao");
    EXPECT_FALSE(composer->confirmPunctuationMenu('x', 0)) << "a pinyin menu is not a punctuation menu";
    type("/");
    EXPECT_EQ(fieldMarked().text, "你好、");
    EXPECT_EQ(model().candidates()[0].text, "、");
    EXPECT_FALSE(composer->confirmPunctuationMenu('a', RimeModifier::control))
        << "modified keys never confirm";
    EXPECT_FALSE(composer->confirmPunctuationMenu('5', 0)) << "digits pick from the menu";
    EXPECT_FALSE(composer->confirmPunctuationMenu('/', 0)) << "the same key cycles the menu";
    EXPECT_FALSE(composer->confirmPunctuationMenu(KeySym::backSpace, 0));
    EXPECT_EQ(host.field.insertedText(), "");

    EXPECT_TRUE(key('a'));
    EXPECT_EQ(host.field.insertedText(), "你好、");
    EXPECT_EQ(fieldMarked().text, "a") << "the key goes on into a new composition";
}

TEST_F(ChineseComposerLive, SamePunctuationKeyCyclesAndADigitPicks) {
    type("nihao//");
    EXPECT_EQ(host.field.insertedText(), "");
    EXPECT_EQ(fieldMarked().text, "你好/");
    EXPECT_EQ(model().highlightedIndex(), 1);
    const std::string third = model().candidates()[2].text;
    EXPECT_TRUE(key('3'));
    EXPECT_EQ(host.field.insertedText(), "你好" + third);
}

TEST_F(ChineseComposerLive, TakingAPartialConversionInsertsTheHeadAndReturnsTheRawRest) {
    type("nizaigan");
    pick("你");
    // The converted head is drawn as converted, the rest as raw.
    EXPECT_EQ(fieldMarked().text, "你zai gan");
    EXPECT_EQ(fieldMarked().styleRuns, (std::vector<StyleRun>{{{0, 1}, MarkedTextStyle::convertedText},
                                                              {{1, 7}, MarkedTextStyle::selectedRawText}}));
    EXPECT_EQ(fieldMarked().selection, (TextRange{8, 0})) << "10 bytes are 8 UTF-16 units";
    EXPECT_EQ(host.field.insertedText(), "");

    EXPECT_EQ(composer->takeComposition(), "zaigan");
    EXPECT_EQ(host.field.insertedText(), "你");
    EXPECT_EQ(fieldMarked().text, "");
    EXPECT_FALSE(panel.visible);
    EXPECT_FALSE(composer->isComposing());
    EXPECT_TRUE(engine->context()->isEmpty());
}

TEST_F(ChineseComposerLive, TakingAHeadOfTwoCharactersGivesBackTheTypedSpelling) {
    type("nihaolve");
    pick("你好");
    EXPECT_EQ(fieldMarked().text, "你好lüe");
    EXPECT_EQ(composer->takeComposition(), "lve") << "the raw input, as typed";
    EXPECT_EQ(host.field.insertedText(), "你好");
}

TEST_F(ChineseComposerLive, TakingAnUnconvertedCompositionReturnsTheRawInput) {
    EXPECT_EQ(composer->takeComposition(), "") << "nothing is composing";
    type("nihao");
    EXPECT_EQ(composer->takeComposition(), "nihao");
    EXPECT_EQ(host.field.insertedText(), "");
    EXPECT_FALSE(composer->isComposing());
}

TEST_F(ChineseComposerLive, TakingRawLettersReturnsThemAll) {
    type("ni");
    ASSERT_TRUE(composer->beginRawLetters());
    type("A");
    EXPECT_EQ(composer->takeComposition(), "niA");
    EXPECT_EQ(host.field.insertedText(), "");
}

TEST_F(ChineseComposerLive, TakingAPendingPunctuationMenuConfirmsItFirst) {
    type("nihao/");
    EXPECT_EQ(composer->takeComposition(), "");
    EXPECT_EQ(host.field.insertedText(), "你好、");
    EXPECT_FALSE(composer->isComposing());
}

TEST_F(ChineseComposerLive, ComposeTypesPinyinOutOfTheAsciiMode) {
    composer->setAsciiMode(true);
    EXPECT_TRUE(composer->isAsciiMode());
    composer->compose("nihao");
    EXPECT_FALSE(composer->isAsciiMode());
    EXPECT_EQ(fieldMarked().text, "ni hao");
    EXPECT_EQ(model().candidates()[0].text, "你好");

    composer->compose("");
    EXPECT_EQ(fieldMarked().text, "ni hao") << "an empty text only reads the state back";
}

TEST_F(ChineseComposerLive, CommitCompositionInsertsTheConvertedText) {
    type("fazhan");
    composer->commitComposition();
    EXPECT_EQ(host.field.insertedText(), "发展");
    EXPECT_FALSE(composer->isComposing());
    EXPECT_FALSE(panel.visible);
}

TEST_F(ChineseComposerLive, ClearCompositionDropsEverything) {
    type("nihao");
    key(KeySym::down);
    composer->clearComposition();
    EXPECT_EQ(host.field.insertedText(), "");
    EXPECT_EQ(fieldMarked().text, "");
    EXPECT_FALSE(panel.visible);
    EXPECT_EQ(composer->layout(), ChinesePanelLayout::horizontal);
    EXPECT_FALSE(composer->isComposing());
    type("ni");
    EXPECT_EQ(host.field.insertedText(), "") << "no dropped commit comes back later";
}

TEST_F(ChineseComposerLive, ForwardedShiftTapSwitchesTheEngine) {
    composer->forwardModifier({KeySym::shiftL, RimeModifier::shift});
    composer->forwardModifier({KeySym::shiftL, RimeModifier::release});
    EXPECT_TRUE(composer->isAsciiMode());
    EXPECT_FALSE(key('a')) << "the ASCII mode lets letters through";
    composer->forwardModifier({KeySym::shiftR, RimeModifier::shift});
    composer->forwardModifier({KeySym::shiftR, RimeModifier::release});
    EXPECT_FALSE(composer->isAsciiMode());
    composer->forwardModifier({KeySym::capsLock, RimeModifier::lock});
    composer->forwardModifier({KeySym::capsLock, RimeModifier::lock | RimeModifier::release});
    EXPECT_FALSE(composer->isAsciiMode()) << "Caps Lock never switches";
}

TEST_F(ChineseComposerLive, WithoutAClientThePanelIsStillTrackedSoAClearHidesIt) {
    host.hasClient = false;
    type("ni");
    EXPECT_TRUE(panel.shown.empty());
    EXPECT_TRUE(composer->panelShown());
    EXPECT_EQ(panel.indicatorDismissals, 0);
    composer->clearComposition();
    EXPECT_FALSE(composer->panelShown());
    EXPECT_FALSE(composer->isComposing());
    type("nihao");
    key(KeySym::space);
    EXPECT_TRUE(host.field.calls().empty()) << "nothing reaches a field that is not there";
}

TEST_F(ChineseComposerLive, DrivesTheProcesssRealPanelAndModeIndicator) {
    testing::panelTestApp();
    ModeHUD::shared().show(InputMode::english, clientCaret);
    ASSERT_TRUE(ModeHUD::shared().isVisible());

    ChineseComposer real(*engine, host);
    for (char c : std::string("nihao")) real.handleKey(static_cast<unsigned char>(c), 0);
    CandidatePanel& shared = CandidatePanel::shared();
    EXPECT_TRUE(shared.isVisible());
    EXPECT_FALSE(ModeHUD::shared().isVisible()) << "the candidates replace the mode indicator";
    const auto& shownModel = shared.candidateView().chineseView().model();
    ASSERT_TRUE(shownModel);
    EXPECT_EQ(shownModel->candidates()[0].text, "你好");
    EXPECT_EQ(shared.frame().maxY(), clientCaret.y - CandidatePanel::caretGap) << "just below the caret";

    real.handleKey(KeySym::space, 0);
    EXPECT_EQ(host.field.insertedText(), "你好");
    EXPECT_FALSE(shared.isVisible());
}

TEST(ChineseComposerSession, FailureIsLoggedOnceAndKeysPassThrough) {
    testing::ScopedLogCapture log;
    testing::TempDir dir;
    auto engine = makeEngine(dir.path());
    ASSERT_TRUE(engine);  // loaded but never started: no session can be made
    RecordingHost host;
    testing::RecordingCandidatePanel panel;
    ChineseComposer composer(*engine, host, panel);

    EXPECT_FALSE(composer.handleKey('n', 0));
    EXPECT_FALSE(composer.handleKey(KeySym::space, 0));
    EXPECT_FALSE(composer.isAsciiMode());
    EXPECT_FALSE(composer.beginRawLetters());
    EXPECT_EQ(composer.takeComposition(), "");
    composer.compose("nihao");
    composer.setAsciiMode(true);
    composer.commitComposition();
    composer.clearComposition();
    EXPECT_FALSE(composer.confirmPunctuationMenu('a', 0));

    auto failures = [&] {
        int n = 0;
        for (const auto& message : log->messages())
            if (message.rfind("[Sorvane] rime create_session failed: ", 0) == 0) {
                ++n;
                EXPECT_EQ(message, "[Sorvane] rime create_session failed: RimeEngine has not been started");
            }
        return n;
    };
    EXPECT_EQ(failures(), 1);
    EXPECT_TRUE(host.marked.empty());
    EXPECT_TRUE(host.field.calls().empty());
    EXPECT_TRUE(panel.shown.empty());
    EXPECT_FALSE(composer.isComposing());

    // Another composer logs its own first failure.
    ChineseComposer other(*engine, host, panel);
    EXPECT_FALSE(other.handleKey('n', 0));
    EXPECT_EQ(failures(), 2);
}

}  // namespace
}  // namespace sorvane
