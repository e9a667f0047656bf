#pragma once
// A SorvaneInputController on the real engine with everything around it
// recorded: the text field, the candidate panel, the mode indicator, the
// settings pages opened, and the log. Key scripts (platform/imk/KeyScript.h)
// are played with virtual time stamps: each event advances the virtual
// clock by the gap, each {wait N} by N ms, so the controller's Shift tap
// classification sees exactly the script's timing. librime's own Shift
// switch looks at real time instead; the whole script runs in well under its
// half second, so every tap the script makes is a tap for the engine too.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/server/EngineBootstrap.h"
#include "app/server/EnglishKeyMap.h"
#include "app/server/SorvaneInputController.h"
#include "app/settings/WelcomeTrigger.h"
#include "kit/input/ModeMemory.h"
#include "kit/panel/ModeIndicator.h"
#include "platform/imk/KeyScript.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/MemoryUserDefaults.h"
#include "tests/support/RecordingCandidatePanel.h"
#include "tests/support/RecordingInputClient.h"
#include "tests/support/RecordingNotificationCenter.h"
#include "tests/support/TempHome.h"
#include "tests/support/VirtualTime.h"

namespace sorvane::testing {

// Never reaches the network: makes no request, or answers every request at
// once with a fixed suggestion.
class SilentProvider final : public SuggestionProvider {
public:
    std::vector<std::string> scheduled;
    std::optional<Suggestion> reply;
    std::shared_ptr<SuggestionTask> schedule(const std::string& text, PartialHandler) override {
        scheduled.push_back(text);
        if (!reply) return nullptr;
        auto task = std::make_shared<SuggestionTask>();
        task->finish(*reply);
        return task;
    }
    void cancelInFlight() override {}
    std::optional<Suggestion> prefixSuggestion(const Suggestion&, const std::string&) const override {
        return std::nullopt;
    }
};

struct IndicatorShow {
    InputMode mode;
    Rect caret;
};

// One text field: what the controller sent it plus the keys it let through,
// in order, as a real field would end up showing them.
struct Field {
    RecordingInputClient client;
    std::string text;              // committed text and passed-through typing
    std::vector<KeyEvent> passed;  // key-downs the application received
    std::size_t seenCalls = 0;

    void absorbInserts() {
        const auto& calls = client.calls();
        for (; seenCalls < calls.size(); ++seenCalls)
            if (const auto* insert = std::get_if<InsertTextCall>(&calls[seenCalls])) text += insert->text;
    }
    void absorbPassed(const KeyEvent& event) {
        passed.push_back(event);
        if (event.modifierFlags & SorvaneInputController::commandFlags) return;
        if (event.keyCode == 36 || event.keyCode == 76) {
            text += "\n";
        } else if (event.keyCode == 51) {
            if (!text.empty()) text.pop_back();
        } else if (auto printable = EnglishKeyMap::printableText(event)) {
            text += *printable;
        }
    }
};

class ControllerHarness : public ::testing::Test {
protected:
    void SetUp() override {
        // Most cases are not about the first run: the welcome page counts as
        // shown, as it does after the first day.
        ASSERT_TRUE(stateFile().markWelcomeShown(std::chrono::system_clock::now()));
        startEngine();
    }

    AppStateFile stateFile() const {
        return AppStateFile{home_.path() / "Library" / "SorvaneIME" / "state.json"};
    }

    void TearDown() override {
        controllers_.clear();
        environment_.reset();
        EngineBootstrap::shutdown();
    }

    void startEngine() {
        engine_ = EngineBootstrap::start(EngineBootstrap::layout(SORVANE_BUNDLE_DIR, home_.path()), time_);
        ASSERT_NE(engine_, nullptr);
    }

    InputControllerEnvironment::Services services(bool withEngine = true) {
        InputControllerEnvironment::Services s;
        s.engine = [this, withEngine] { return withEngine ? engine_ : nullptr; };
        s.panel = &panel_;
        s.showModeIndicator = [this](InputMode mode, Rect caret) { indicator_.push_back({mode, caret}); };
        s.queue = &time_;
        s.prediction = provider_;
        s.rhythm = std::make_shared<TypingRhythm>(std::make_shared<MemoryUserDefaults>());
        s.noRouteReason = [] { return std::string("no route"); };
        // The process's cache would keep the first test's HOME: this one's own.
        s.settings = [this] { return settings_.current(); };
        s.invalidateSettings = [this] { settings_.invalidate(); };
        s.ghostTest = [this] { return ghost_; };
        s.openSettings = [this](SettingsPage page) { opened_.push_back(page); };
        s.noteActivation = [this] {
            ++activationNotes_;
            welcome_.noteActivation();
        };
        s.notifications = center_;
        return s;
    }

    InputControllerEnvironment& environment() {
        if (!environment_) environment_ = std::make_unique<InputControllerEnvironment>(services());
        return *environment_;
    }

    SorvaneInputController& controller(Field& field) {
        controllers_.push_back(
            std::make_unique<SorvaneInputController>(nullptr, &field.client, environment()));
        return *controllers_.back();
    }

    // Plays a script into the controller; returns what each key event
    // answered (true: consumed).
    std::vector<bool> play(SorvaneInputController& c, Field& field, std::string_view script, int gapMs = 20) {
        auto steps = KeyScript::parse(script);
        EXPECT_TRUE(steps.hasValue()) << script;
        std::vector<bool> answers;
        if (!steps.hasValue()) return answers;
        for (const KeyScriptStep& step : steps.value()) {
            switch (step.kind) {
                case KeyScriptStep::Kind::wait:
                    advance(step.waitMs);
                    continue;
                case KeyScriptStep::Kind::command:
                    command(c, field, step);
                    break;
                case KeyScriptStep::Kind::key: {
                    KeyEvent e = step.event;
                    e.timestamp = seconds_;
                    field.client.modifierFlags = e.modifierFlags;
                    const bool consumed = c.handleEvent(e, &field.client);
                    answers.push_back(consumed);
                    field.absorbInserts();
                    if (!consumed && e.type == KeyEventType::keyDown) field.absorbPassed(e);
                    break;
                }
            }
            field.absorbInserts();
            advance(gapMs);
        }
        return answers;
    }

    void command(SorvaneInputController& c, Field& field, const KeyScriptStep& step) {
        if (step.command == "activate") {
            c.activateServer(&field.client);
        } else if (step.command == "deactivate") {
            c.deactivateServer(&field.client);
        } else if (step.command == "commit") {
            c.commitComposition(&field.client);
        } else if (step.command == "hide") {
            c.hidePalettes();
        } else if (step.command == "secure") {
            field.client.secureInput = step.argument == "on";
        } else if (step.command == "action") {
            c.performMenuAction(step.argument, &field.client);
        }
    }

    void advance(int ms) {
        seconds_ += ms / 1000.0;
        time_.advance(std::chrono::milliseconds(ms));
    }

    std::vector<InputMode> indicatorModes() const {
        std::vector<InputMode> modes;
        for (const auto& shown : indicator_) modes.push_back(shown.mode);
        return modes;
    }

    std::vector<std::string> messagesContaining(std::string_view fragment) {
        std::vector<std::string> out;
        for (const auto& m : log_->messages())
            if (m.find(fragment) != std::string::npos) out.push_back(m);
        return out;
    }

    TempHome home_;
    VirtualTime time_;
    ScopedLogCapture log_;
    RimeEngine* engine_ = nullptr;
    RecordingCandidatePanel panel_;
    std::shared_ptr<SilentProvider> provider_ = std::make_shared<SilentProvider>();
    std::shared_ptr<RecordingNotificationCenter> center_ = std::make_shared<RecordingNotificationCenter>();
    std::vector<IndicatorShow> indicator_;
    std::vector<SettingsPage> opened_;
    // This home's settings, not the process's cache of the first home seen.
    LiveSettings::Cache settings_{
        AppSettingsFile{home_.path() / "Library" / "SorvaneIME" / "settings.json", center_}};
    bool ghost_ = false;
    int activationNotes_ = 0;
    WelcomeTrigger welcome_{
        WelcomeTrigger::Services{AppStateFile{home_.path() / "Library" / "SorvaneIME" / "state.json"}, time_,
                                 [] { return std::chrono::system_clock::now(); },
                                 [this](SettingsPage page) { opened_.push_back(page); }}};
    std::unique_ptr<InputControllerEnvironment> environment_;
    std::vector<std::unique_ptr<SorvaneInputController>> controllers_;
    double seconds_ = 1000.0;
};

}  // namespace sorvane::testing
