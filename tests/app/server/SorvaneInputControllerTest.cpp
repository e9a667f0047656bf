// The input controller on the real engine: key scripts in, what the text
// field, the panel, the mode indicator and the log received out.
#include <gtest/gtest.h>

#include "tests/app/server/ControllerHarness.h"

namespace sorvane {
namespace {

using testing::ControllerHarness;
using testing::Field;
using testing::MarkedTextCall;

class InputControllerTest : public ControllerHarness {};

TEST_F(InputControllerTest, PinyinAndSpaceCommitChinese) {
    Field field;
    auto& c = controller(field);
    play(c, field, "{activate}nihao");
    EXPECT_EQ(field.client.markedText(), "ni hao");
    ASSERT_FALSE(panel_.shown.empty());
    ASSERT_NE(panel_.lastChinese(), nullptr);
    // The panel goes where the client says the caret is.
    EXPECT_EQ(panel_.shown.back().caretRect, (Rect{100, 500, 1, 18}));
    play(c, field, "{space}");
    EXPECT_EQ(field.text, "你好");
    EXPECT_EQ(field.client.markedText(), "");
    EXPECT_TRUE(field.passed.empty());
    EXPECT_EQ(c.lastKnownMode(), InputMode::chinese);
    EXPECT_TRUE(indicator_.empty());
    std::vector<testing::LogRecord> traces;
    for (const auto& r : log_->records())
        if (r.message.starts_with("[Sorvane] keyDown ")) traces.push_back(r);
    ASSERT_EQ(traces.size(), 6u);
    EXPECT_EQ(traces[0].message,
              "[Sorvane] keyDown code=45 chars=n keysym=0x6e mask=0 ascii=false composing=false");
    EXPECT_EQ(traces[5].message,
              "[Sorvane] keyDown code=49 chars=  keysym=0x20 mask=0 ascii=false composing=true");
    for (const auto& r : traces) EXPECT_EQ(r.level, LogLevel::debug);
}

TEST_F(InputControllerTest, ActivationAndInitLogTheirLines) {
    Field field;
    field.client.bundleId = "com.example.notes";
    auto& c = controller(field);
    play(c, field, "{activate}{deactivate}");
    Field anonymous;
    anonymous.client.bundleId.reset();
    auto& d = controller(anonymous);
    play(d, anonymous, "{activate}");
    EXPECT_EQ(messagesContaining("[Sorvane] controller init"),
              (std::vector<std::string>{"[Sorvane] controller init client=com.example.notes engine=true",
                                        "[Sorvane] controller init client=nil engine=true"}));
    EXPECT_EQ(
        messagesContaining("[Sorvane] activate"),
        (std::vector<std::string>{
            "[Sorvane] activate host=com.example.notes mode=chinese ascii=false prediction=true ghost=false",
            "[Sorvane] activate host=nil mode=chinese ascii=false prediction=true ghost=false"}));
    EXPECT_EQ(messagesContaining("[Sorvane] deactivate"),
              (std::vector<std::string>{"[Sorvane] deactivate host=com.example.notes"}));
    EXPECT_EQ(activationNotes_, 2);
    EXPECT_EQ(environment().activeController(), &d);
    // Activation sets the mode itself: no indicator.
    EXPECT_TRUE(indicator_.empty());
}

TEST_F(InputControllerTest, ShiftTapTogglesChineseAndEnglishAndShowsTheIndicator) {
    Field field;
    auto& c = controller(field);
    play(c, field, "{activate}{shift}");
    EXPECT_EQ(c.currentMode(), InputMode::english);
    EXPECT_EQ(c.lastKnownMode(), InputMode::english);
    ASSERT_EQ(indicatorModes(), (std::vector<InputMode>{InputMode::english}));
    EXPECT_EQ(indicator_.back().caret, (Rect{100, 500, 1, 18}));
    play(c, field, "{wait 600}hello{space}world{return}");
    EXPECT_EQ(field.text, "hello world");
    play(c, field, "{wait 600}{shift}");
    EXPECT_EQ(c.currentMode(), InputMode::chinese);
    EXPECT_EQ(indicatorModes(), (std::vector<InputMode>{InputMode::english, InputMode::chinese}));
    play(c, field, "ni{space}");
    EXPECT_EQ(field.text, "hello world你");
    EXPECT_EQ(messagesContaining("[Sorvane] mode HUD"),
              (std::vector<std::string>{"[Sorvane] mode HUD 英 host=com.example.editor",
                                        "[Sorvane] mode HUD 拼 host=com.example.editor"}));
    EXPECT_EQ(messagesContaining("[Sorvane] mode → "),
              (std::vector<std::string>{"[Sorvane] mode → 英", "[Sorvane] mode → 中"}));
    // The application saw the Shift changes as well.
    for (const auto& m : messagesContaining("flagsChanged key=shiftLeft press"))
        EXPECT_NE(m.find(" ascii "), std::string::npos) << m;
}

TEST_F(InputControllerTest, DoubleTapLocksAsciiAndTapsLeaveTheLock) {
    Field field;
    auto& c = controller(field);
    // Chinese: a double tap locks ASCII.
    play(c, field, "{activate}{shift}{shift}");
    EXPECT_TRUE(c.asciiLocked());
    EXPECT_EQ(c.currentMode(), InputMode::ascii);
    EXPECT_EQ(indicatorModes().back(), InputMode::ascii);
    EXPECT_EQ(messagesContaining("[Sorvane] double Shift"),
              (std::vector<std::string>{"[Sorvane] double Shift → ascii host=com.example.editor"}));

    // Locked: every key goes to the application untouched.
    const auto answers = play(c, field, "nihao{space}{return}");
    for (bool consumed : answers) EXPECT_FALSE(consumed);
    EXPECT_EQ(field.text, "nihao \n");
    EXPECT_EQ(field.client.markedText(), "");
    EXPECT_TRUE(panel_.shown.empty());

    // One tap returns to Chinese.
    play(c, field, "{wait 500}{shift}");
    EXPECT_FALSE(c.asciiLocked());
    EXPECT_EQ(c.currentMode(), InputMode::chinese);
    EXPECT_EQ(messagesContaining("[Sorvane] single Shift"),
              (std::vector<std::string>{"[Sorvane] single Shift → chinese host=com.example.editor"}));

    // Lock again, then a double tap goes on to English.
    play(c, field, "{wait 500}{shift}{shift}");
    ASSERT_TRUE(c.asciiLocked());
    play(c, field, "{wait 500}{shift}{shift}");
    EXPECT_FALSE(c.asciiLocked());
    EXPECT_EQ(c.currentMode(), InputMode::english);
    EXPECT_EQ(indicatorModes().back(), InputMode::english);
    field.text.clear();
    play(c, field, "ok{return}");
    EXPECT_EQ(field.text, "ok");
}

TEST_F(InputControllerTest, ControlPressesWhileLockedReachNothing) {
    Field field;
    auto& c = controller(field);
    play(c, field, "{activate}{shift}{shift}");
    ASSERT_TRUE(c.asciiLocked());
    log_->clear();
    play(c, field, "{ctrl+a}");
    EXPECT_TRUE(c.asciiLocked());
    EXPECT_TRUE(c.shiftTaps().isClear());
    const auto locked = messagesContaining("ascii-locked");
    ASSERT_EQ(locked.size(), 2u);
    EXPECT_EQ(locked[0], "[Sorvane] flagsChanged key=controlLeft press flags=262144 ascii-locked");
    EXPECT_EQ(messagesContaining(" ascii false→").size(), 0u);
}

TEST_F(InputControllerTest, CompositionIsCarriedIntoEnglishAndBack) {
    Field field;
    auto& c = controller(field);
    play(c, field, "{activate}nihao{shift}");
    EXPECT_EQ(c.currentMode(), InputMode::english);
    EXPECT_EQ(c.english().buffer(), "nihao");
    EXPECT_EQ(field.client.markedText(), "nihao");
    // The text carried over keeps the indicator away.
    EXPECT_TRUE(indicator_.empty());
    EXPECT_EQ(messagesContaining("[Sorvane] Shift mid-composition"),
              (std::vector<std::string>{"[Sorvane] Shift mid-composition 中 → 英, carried 5 chars"}));
    EXPECT_EQ(messagesContaining("[Sorvane] mode → english"),
              (std::vector<std::string>{
                  "[Sorvane] mode → english with text carried, no HUD host=com.example.editor"}));
    EXPECT_EQ(messagesContaining("withheld (composing)").size(), 2u);

    // Back to Chinese: letters only, so they are typed as pinyin again.
    play(c, field, "{wait 500}{shift}");
    EXPECT_EQ(c.currentMode(), InputMode::chinese);
    EXPECT_EQ(field.client.markedText(), "ni hao");
    EXPECT_EQ(c.english().buffer(), "");
    play(c, field, "{space}");
    EXPECT_EQ(field.text, "你好");

    // English words are not pinyin: committed as typed.
    play(c, field, "{wait 500}{shift}{wait 500}hi{space}you{shift}");
    EXPECT_EQ(c.currentMode(), InputMode::chinese);
    EXPECT_EQ(field.text, "你好hi you");
    EXPECT_EQ(messagesContaining("英 → 中"),
              (std::vector<std::string>{"[Sorvane] Shift mid-composition 英 → 中, composed 5 chars",
                                        "[Sorvane] Shift mid-composition 英 → 中, committed 6 chars"}));
}

TEST_F(InputControllerTest, ShiftCarriesAtMostTheLast64LettersIntoPinyin) {
    for (std::size_t length : {std::size_t{64}, std::size_t{65}, std::size_t{300}}) {
        std::string letters;
        while (letters.size() < length) letters += "nihao";
        letters.resize(length);
        Field field;
        auto& c = controller(field);
        play(c, field, "{activate}{shift}{wait 500}" + letters + "{shift}");
        EXPECT_EQ(c.currentMode(), InputMode::chinese) << length;
        EXPECT_EQ(field.text, letters.substr(0, length - 64)) << length;
        EXPECT_EQ(engine_->rawInput(), letters.substr(length - 64)) << length;
        play(c, field, "{escape}{deactivate}");
    }
}

TEST_F(InputControllerTest, LogRecordsQuoteAtMost255BytesOfABundleId) {
    Field field;
    field.client.bundleId = std::string(254, 'x') + "中";
    auto& c = controller(field);
    play(c, field, "{activate}");
    EXPECT_EQ(messagesContaining("[Sorvane] activate").back(),
              "[Sorvane] activate host=" + std::string(254, 'x') +
                  " mode=chinese ascii=false prediction=true ghost=false");
}

TEST_F(InputControllerTest, APasswordFieldGetsThePlainKeysInEveryMode) {
    const struct {
        const char* mode;
        const char* script;
    } rows[] = {
        {"chinese", "{activate}"},
        {"english", "{activate}{shift}{wait 500}"},
        {"ascii", "{activate}{shift}{shift}{wait 500}"},
    };
    for (const auto& row : rows) {
        Field field;
        auto& c = controller(field);
        play(c, field, row.script);
        ASSERT_EQ(inputModeName(c.currentMode()), std::string(row.mode));
        // The capital's Shift is a tap for the engine, were it to see it.
        const auto answers = play(c, field, "{secure on}Mima{space}{return}");
        EXPECT_EQ(answers, std::vector<bool>(8, false)) << row.mode;
        EXPECT_EQ(field.text, "Mima \n") << row.mode;
        EXPECT_EQ(inputModeName(c.currentMode()), std::string(row.mode));
        EXPECT_EQ(field.client.markedText(), "") << row.mode;
        EXPECT_FALSE(engine_->rawInput().value_or("").size()) << row.mode;
        EXPECT_TRUE(panel_.shown.empty()) << row.mode;
        play(c, field, "{secure off}{deactivate}");
    }
    // Nothing typed in the field was traced either.
    for (const auto& trace : messagesContaining("[Sorvane] keyDown"))
        EXPECT_EQ(trace.find("chars=m"), std::string::npos) << trace;
}

TEST_F(InputControllerTest, AChineseCompositionOpenWhenSecureInputComesOnGoesInAsItStands) {
    Field field;
    auto& c = controller(field);
    play(c, field, "{activate}nihao");
    const std::string standing = panel_.lastChinese()->candidates().front().text;
    const auto answers = play(c, field, "{secure on}pw");
    EXPECT_EQ(answers, (std::vector<bool>{false, false}));
    EXPECT_EQ(field.text, standing + "pw");
    EXPECT_EQ(field.client.markedText(), "");
    EXPECT_FALSE(c.isComposingAnything());
    EXPECT_EQ(messagesContaining("[Sorvane] password input"),
              (std::vector<std::string>{"[Sorvane] password input on → prediction=false"}));
}

TEST_F(InputControllerTest, DoubleTapOverAPinyinCompositionCommitsAndLocks) {
    Field field;
    auto& c = controller(field);
    play(c, field, "{activate}nihao{shift}{shift}");
    EXPECT_TRUE(c.asciiLocked());
    EXPECT_EQ(field.text, "nihao");
    EXPECT_EQ(field.client.markedText(), "");
    EXPECT_FALSE(c.isComposingAnything());
}

TEST_F(InputControllerTest, ShiftWithALetterCarriesNothing) {
    Field field;
    auto& c = controller(field);
    play(c, field, "{activate}niH");
    // Raw letters inside the composition are not a mode change.
    EXPECT_TRUE(c.rawLetters());
    EXPECT_EQ(c.lastKnownMode(), InputMode::chinese);
    EXPECT_FALSE(c.shiftWithheld());
    EXPECT_EQ(c.english().buffer(), "");
    EXPECT_EQ(messagesContaining("[Sorvane] uppercase mid-composition → raw letters").size(), 1u);
    EXPECT_TRUE(messagesContaining("Shift mid-composition").empty());
    play(c, field, "{return}");
    EXPECT_EQ(field.text, "niH");
    EXPECT_FALSE(c.rawLetters());
    EXPECT_EQ(c.currentMode(), InputMode::chinese);
    EXPECT_EQ(messagesContaining("[Sorvane] raw letters done, back to 中").size(), 1u);
    // Raw letters are not a mode change.
    EXPECT_TRUE(indicator_.empty());
}

TEST_F(InputControllerTest, CommandCombinationsPassThrough) {
    Field field;
    auto& c = controller(field);
    play(c, field, "{activate}ni");
    const auto before = field.client.lastMarked();
    const auto answers = play(c, field, "{ctrl+a}{cmd+v}{opt+x}");
    for (bool consumed : answers) EXPECT_FALSE(consumed);
    ASSERT_EQ(field.passed.size(), 3u);
    EXPECT_EQ(field.client.lastMarked(), before);
    EXPECT_TRUE(c.chinese()->isComposing());
    // And in the English mode.
    play(c, field, "{escape}{shift}{wait 500}ab");
    ASSERT_EQ(c.currentMode(), InputMode::english);
    const auto english = play(c, field, "{cmd+v}");
    for (bool consumed : english) EXPECT_FALSE(consumed);
    EXPECT_EQ(c.english().buffer(), "ab");
}

TEST_F(InputControllerTest, ShiftReturnCommitsAndTheApplicationGetsReturnToo) {
    Field field;
    auto& c = controller(field);
    play(c, field, "{activate}{shift}{wait 500}hello{space}there");
    const auto answers = play(c, field, "{shift+return}");
    EXPECT_EQ(answers, (std::vector<bool>{false, false, false}));
    EXPECT_EQ(field.text, "hello there\n");
    EXPECT_EQ(c.english().buffer(), "");
}

TEST_F(InputControllerTest, SecureInputCommitsTheBufferAsTypedAndComposesNothing) {
    Field field;
    auto& c = controller(field);
    play(c, field, "{activate}{shift}{wait 500}hello{space}wor");
    ASSERT_EQ(c.english().buffer(), "hello wor");
    const auto answers = play(c, field, "{secure on}ld{return}");
    EXPECT_EQ(answers, (std::vector<bool>{false, false, false}));
    EXPECT_EQ(field.text, "hello world\n");
    EXPECT_EQ(c.english().buffer(), "");
    EXPECT_FALSE(c.english().predictionEnabled());
    EXPECT_EQ(field.client.markedText(), "");
    // Nothing typed in the password field went to the provider or the log.
    for (const auto& text : provider_->scheduled) EXPECT_EQ(text.find("ld"), std::string::npos) << text;
    const auto traces = messagesContaining("[Sorvane] keyDown");
    ASSERT_FALSE(traces.empty());
    for (const auto& trace : traces) EXPECT_EQ(trace.find("chars=d"), std::string::npos) << trace;

    play(c, field, "{secure off}ok");
    EXPECT_TRUE(c.english().predictionEnabled());
    EXPECT_EQ(c.english().buffer(), "ok");
    EXPECT_EQ(messagesContaining("[Sorvane] password input"),
              (std::vector<std::string>{"[Sorvane] password input on → prediction=false",
                                        "[Sorvane] password input off → prediction=true"}));
}

TEST_F(InputControllerTest, ActivationInAPasswordFieldTurnsPredictionOff) {
    Field field;
    field.client.secureInput = true;
    auto& c = controller(field);
    play(c, field, "{activate}");
    EXPECT_FALSE(c.english().predictionEnabled());
    EXPECT_EQ(
        messagesContaining("[Sorvane] activate").back(),
        "[Sorvane] activate host=com.example.editor mode=chinese ascii=false prediction=false ghost=false");
}

TEST_F(InputControllerTest, AShiftTapInAPasswordFieldSwitchesNothingAndCommitsTheComposition) {
    Field field;
    auto& c = controller(field);
    play(c, field, "{activate}nihao");
    const std::string standing = panel_.lastChinese()->candidates().front().text;
    play(c, field, "{secure on}{shift}");
    EXPECT_EQ(c.currentMode(), InputMode::chinese);
    EXPECT_FALSE(c.english().predictionEnabled());
    EXPECT_EQ(c.english().buffer(), "");
    EXPECT_EQ(field.text, standing);
    EXPECT_EQ(field.client.markedText(), "");
    EXPECT_TRUE(messagesContaining("[Sorvane] mode").empty());
}

TEST_F(InputControllerTest, SettingsChangeToToggleKeyOffReleasesTheLock) {
    Field field;
    auto& c = controller(field);
    play(c, field, "{activate}{shift}{shift}");
    ASSERT_TRUE(c.asciiLocked());
    ASSERT_TRUE(environment().observesSettings());
    const AppSettingsFile file{home_.path() / "Library" / "SorvaneIME" / "settings.json", center_};
    AppSettings settings;
    settings.toggleKey = ToggleKey::off;
    file.save(settings, true);
    EXPECT_FALSE(c.asciiLocked());
    EXPECT_EQ(c.currentMode(), InputMode::chinese);
    EXPECT_EQ(c.lastKnownMode(), InputMode::chinese);
    EXPECT_EQ(environment().modeMemory().mode(std::string("com.example.editor")), InputMode::chinese);
    EXPECT_EQ(
        messagesContaining("[Sorvane] settings:"),
        (std::vector<std::string>{"[Sorvane] settings: toggle key off, ascii lock released → chinese"}));
    // Released quietly, and no Shift switches any more.
    const auto shown = indicator_.size();
    play(c, field, "{wait 500}{shift}");
    EXPECT_EQ(c.currentMode(), InputMode::chinese);
    EXPECT_EQ(indicator_.size(), shown);
    EXPECT_EQ(messagesContaining("not a toggle key (off)").size(), 2u);
}

TEST_F(InputControllerTest, SettingsChangeWithAToggleKeyKeepsTheLockButDropsTaps) {
    Field field;
    auto& c = controller(field);
    play(c, field, "{activate}{shift}{shift}");
    ASSERT_TRUE(c.asciiLocked());
    // The first half of a tap, then the settings change under it.
    KeyEvent press{KeyEventType::flagsChanged, 56, "", "", ModifierFlag::shift, seconds_};
    c.handleEvent(press, &field.client);
    EXPECT_FALSE(c.shiftTaps().isClear());
    AppSettings settings;
    settings.toggleKey = ToggleKey::rightShift;
    AppSettingsFile{home_.path() / "Library" / "SorvaneIME" / "settings.json", center_}.save(settings, true);
    EXPECT_TRUE(c.asciiLocked());
    EXPECT_TRUE(c.shiftTaps().isClear());
}

TEST_F(InputControllerTest, ModeIsRememberedPerApplication) {
    Field notes, mail;
    notes.client.bundleId = "com.example.notes";
    mail.client.bundleId = "com.example.mail";
    auto& a = controller(notes);
    auto& b = controller(mail);
    play(a, notes, "{activate}{shift}{deactivate}");
    EXPECT_EQ(environment().modeMemory().mode(std::string("com.example.notes")), InputMode::english);
    play(b, mail, "{activate}");
    EXPECT_EQ(b.currentMode(), InputMode::chinese);
    play(b, mail, "{shift}{shift}{deactivate}");
    EXPECT_EQ(environment().modeMemory().mode(std::string("com.example.mail")), InputMode::ascii);
    play(a, notes, "{activate}");
    EXPECT_EQ(a.currentMode(), InputMode::english);
    EXPECT_EQ(
        messagesContaining("[Sorvane] activate host=com.example.notes").back(),
        "[Sorvane] activate host=com.example.notes mode=english ascii=true prediction=true ghost=false");
    play(a, notes, "{deactivate}");
    play(b, mail, "{activate}");
    EXPECT_TRUE(b.asciiLocked());
    play(b, mail, "{deactivate}");

    // A remembered lock is not restored once no Shift could leave it.
    AppSettings settings;
    settings.toggleKey = ToggleKey::off;
    AppSettingsFile{home_.path() / "Library" / "SorvaneIME" / "settings.json", center_}.save(settings, true);
    play(b, mail, "{activate}");
    EXPECT_FALSE(b.asciiLocked());
    EXPECT_EQ(b.currentMode(), InputMode::chinese);
}

TEST_F(InputControllerTest, DeactivationCommitsAndHidesEverything) {
    Field field;
    auto& c = controller(field);
    play(c, field, "{activate}nihao");
    ASSERT_TRUE(panel_.visible);
    play(c, field, "{deactivate}");
    EXPECT_EQ(field.text, "你好");
    EXPECT_FALSE(panel_.visible);
    EXPECT_GE(panel_.indicatorDismissals, 1);
    EXPECT_EQ(c.client(), nullptr);
    EXPECT_EQ(environment().activeController(), nullptr);

    Field english;
    auto& e = controller(english);
    play(e, english, "{activate}{shift}{wait 500}see{space}you{deactivate}");
    EXPECT_EQ(english.text, "see you");
}

TEST_F(InputControllerTest, CommitRequestCommitsButKeepsTheIndicator) {
    Field field;
    auto& c = controller(field);
    play(c, field, "{activate}ni");
    const int dismissals = panel_.indicatorDismissals;
    play(c, field, "{commit}");
    EXPECT_EQ(field.text, "你");
    EXPECT_FALSE(panel_.visible);
    EXPECT_EQ(panel_.indicatorDismissals, dismissals);
    play(c, field, "{hide}");
    EXPECT_EQ(panel_.indicatorDismissals, dismissals + 1);
}

TEST_F(InputControllerTest, MenuAndItsActionsOpenSettingsPages) {
    Field field;
    auto& c = controller(field);
    const auto menu = c.menu();
    ASSERT_EQ(menu.size(), 1u);
    EXPECT_EQ(menu[0], (MenuItem{"设置…", "openSettings:", ""}));
    EXPECT_TRUE(c.performMenuAction("openSettings:", &field.client));
    EXPECT_TRUE(c.performMenuAction("openAccount:", &field.client));
    EXPECT_TRUE(c.performMenuAction("openWelcome:", &field.client));
    EXPECT_TRUE(c.performMenuAction("openUpdate:", &field.client));
    EXPECT_FALSE(c.performMenuAction("openNothing:", &field.client));
    EXPECT_EQ(opened_, (std::vector<SettingsPage>{SettingsPage::welcome, SettingsPage::account,
                                                  SettingsPage::welcome, SettingsPage::about}));
    EXPECT_EQ(c.recognizedEvents(&field.client), 0x1400u);
}

TEST_F(InputControllerTest, GhostTestMarksEveryMarkedText) {
    ghost_ = true;
    Field field;
    auto& c = controller(field);
    play(c, field, "{activate}ni");
    EXPECT_TRUE(c.ghostEnabled());
    const auto& marked = field.client.lastMarked();
    EXPECT_EQ(marked.text, "ni …ghost");
    ASSERT_FALSE(marked.styleRuns.empty());
    EXPECT_EQ(marked.styleRuns.back(), (StyleRun{{2, 7}, MarkedTextStyle::ghost}));
    EXPECT_EQ(marked.selection, (TextRange{2, 0}));
    // An empty marked text stays empty.
    play(c, field, "{escape}");
    EXPECT_EQ(field.client.markedText(), "");
    EXPECT_NE(messagesContaining("[Sorvane] activate").back().find("ghost=true"), std::string::npos);
}

TEST_F(InputControllerTest, EnglishBufferIsSelectedRawText) {
    Field field;
    auto& c = controller(field);
    play(c, field, "{activate}{shift}{wait 500}hello{left}{left}");
    const auto& marked = field.client.lastMarked();
    EXPECT_EQ(marked.text, "hello");
    ASSERT_EQ(marked.styleRuns.size(), 1u);
    EXPECT_EQ(marked.styleRuns[0], (StyleRun{{0, 5}, MarkedTextStyle::selectedRawText}));
    EXPECT_EQ(marked.selection, (TextRange{3, 0}));
}

TEST_F(InputControllerTest, EnglishKeysThatAreNotTextGoToTheApplication) {
    Field field;
    auto& c = controller(field);
    play(c, field, "{activate}{shift}{wait 500}ab");
    const auto answers = play(c, field, "{up}{down}{pageup}");
    for (bool consumed : answers) EXPECT_FALSE(consumed);
    EXPECT_EQ(c.english().buffer(), "ab");
    // A character of the function-key range is not typed.
    KeyEvent f5{KeyEventType::keyDown, 96, "\xEF\x9C\x88", "\xEF\x9C\x88", 0, seconds_};
    EXPECT_FALSE(c.handleEvent(f5, &field.client));
    EXPECT_EQ(c.english().buffer(), "ab");
}

TEST_F(InputControllerTest, WithoutAnEngineEveryKeyGoesToTheApplication) {
    environment_ = std::make_unique<InputControllerEnvironment>(services(false));
    Field field;
    auto& c = controller(field);
    const auto answers = play(c, field, "{activate}ni{shift}{return}");
    for (bool consumed : answers) EXPECT_FALSE(consumed);
    EXPECT_EQ(field.text, "ni\n");
    EXPECT_EQ(c.chinese(), nullptr);
    EXPECT_EQ(messagesContaining("[Sorvane] controller init").back(),
              "[Sorvane] controller init client=com.example.editor engine=false");
    EXPECT_EQ(
        messagesContaining("[Sorvane] activate").back(),
        "[Sorvane] activate host=com.example.editor mode=english ascii=true prediction=true ghost=false");
    EXPECT_EQ(messagesContaining("[Sorvane] flagsChanged ignored keyCode=56").size(), 2u);
    EXPECT_EQ(
        messagesContaining("[Sorvane] flagsChanged ignored keyCode=56 flags=131072 engine=false").size(), 1u);
}

TEST_F(InputControllerTest, TabTakesTheRewriteAndShiftTabAddsTheContinuationWhateverTheFileSays) {
    AppSettings settings;
    settings.acceptKeys = AcceptKeys::tabFull;
    AppSettingsFile{home_.path() / "Library" / "SorvaneIME" / "settings.json", center_}.save(settings, false);
    provider_->reply = Suggestion{"I went home.", " And slept."};
    Field field;
    auto& c = controller(field);
    play(c, field, "{activate}{shift}{wait 500}i go home{wait 1500}");
    ASSERT_TRUE(c.english().hasSuggestion());
    ASSERT_FALSE(panel_.shown.empty());
    const auto* english = panel_.shown.back().content.englishModel();
    ASSERT_NE(english, nullptr);
    EXPECT_EQ(english->acceptKeys(), AcceptKeys::tabNormalized);
    EXPECT_EQ(play(c, field, "{tab}"), (std::vector<bool>{true}));
    EXPECT_EQ(field.text, "I went home.");

    play(c, field, "{space}we go out{wait 1500}");
    ASSERT_TRUE(c.english().hasSuggestion());
    play(c, field, "{shift+tab}");
    EXPECT_EQ(field.text, "I went home. I went home. And slept.");
}

TEST_F(InputControllerTest, FirstActivationInAFreshHomeOpensTheWelcomePageOnce) {
    std::filesystem::remove(stateFile().url);
    Field field, other;
    auto& c = controller(field);
    auto& d = controller(other);
    play(c, field, "{activate}", 0);
    EXPECT_TRUE(stateFile().welcomeWasShown());
    advance(1400);
    EXPECT_TRUE(opened_.empty());
    play(c, field, "{deactivate}", 0);
    play(d, other, "{activate}{deactivate}", 0);
    play(c, field, "{activate}", 0);
    advance(100);
    EXPECT_EQ(opened_, (std::vector<SettingsPage>{SettingsPage::welcome}));
    advance(5000);
    EXPECT_EQ(opened_.size(), 1u);
    EXPECT_EQ(messagesContaining("[Sorvane] first run"),
              (std::vector<std::string>{"[Sorvane] first run: welcome page in 1.5s"}));
    // The trigger runs after the activation line.
    const auto all = log_->messages();
    EXPECT_LT(
        std::find(all.begin(), all.end(), messagesContaining("[Sorvane] activate").front()) - all.begin(),
        std::find(all.begin(), all.end(), "[Sorvane] first run: welcome page in 1.5s") - all.begin());
}

TEST_F(InputControllerTest, WithoutAClientNothingIsDrawn) {
    Field field;
    auto& c = controller(field);
    play(c, field, "{activate}{deactivate}");
    ASSERT_EQ(c.client(), nullptr);
    c.insertText("x");
    c.englishCompositionChanged("abc", 3);
    c.englishCompositionCleared();
    c.showEnglishPanel(
        EnglishPanelModel("", "", false, "ab", EnglishPanelPhase::typing(), AcceptKeys::tabNormalized));
    EXPECT_TRUE(panel_.shown.empty());
    EXPECT_EQ(field.client.insertedText(), "");
}

}  // namespace
}  // namespace sorvane
