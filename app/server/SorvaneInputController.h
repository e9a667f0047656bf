#pragma once
// The input controller: one per client text field, created by the server.
// Every key-down and modifier change of the focused application comes here
// first; it decides whether the Chinese composer, the engine, the English
// composer or the application gets the key, runs the Shift switching between
// the Chinese, English and ASCII modes, and is the host through which both
// composers reach the client and the shared candidate panel.
//
// All controllers of a process share one environment: the engine with its
// one session, the prediction service, the typing-rhythm model, the
// candidate panel and the mode indicator. Main thread only.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/panels/CandidatePanelPresenting.h"
#include "app/server/ChineseComposer.h"
#include "app/server/ComposerHost.h"
#include "engine/RimeEngine.h"
#include "kit/english/EnglishComposer.h"
#include "kit/input/InputMode.h"
#include "kit/input/ModeMemory.h"
#include "kit/input/ShiftDoubleTap.h"
#include "kit/settings/AppSettings.h"
#include "kit/settings/SettingsPage.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "platform/imk/IMKInputController.h"

namespace sorvane {

class SorvaneInputController;

// What every controller of the process shares, and which controller is the
// active one (the one settings changes are applied to).
class InputControllerEnvironment {
public:
    // Left out, `panel`, `queue` and `settings` are the process's own
    // (CandidatePanelPresenting::shared(), the Qt main queue, LiveSettings);
    // every other service left out (but `prediction`) is simply not used.
    struct Services {
        // The process's engine; none when it did not start.
        std::function<RimeEngine*()> engine;
        CandidatePanelPresenting* panel = nullptr;
        std::function<void(InputMode, Rect)> showModeIndicator;
        MainQueue* queue = nullptr;
        // Required: where the English mode's rewrites come from.
        std::shared_ptr<SuggestionProvider> prediction;
        std::shared_ptr<TypingRhythm> rhythm;
        // The English panel's text when there is no rewrite route.
        std::function<std::string()> noRouteReason;
        // The user's settings as they stand now.
        std::function<AppSettings()> settings;
        // Drops the cached settings so the next read sees the file.
        std::function<void()> invalidateSettings;
        std::function<bool()> ghostTest;
        std::function<void(SettingsPage)> openSettings;
        // Run at the end of every activation (first-run welcome, updater).
        std::function<void()> noteActivation;
        // Where the settings-changed notification is observed; none: not.
        std::shared_ptr<NotificationCenter> notifications;
        // Ends the background work at quit: the rewrites within the bound
        // (false when one is still running and must be left behind), then
        // saves the rhythm samples, which waits for the user-defaults lock
        // (FileLock::maxWait at most) beyond the bound. None: there is none.
        std::function<bool(std::chrono::milliseconds within)> windDown;
    };

    explicit InputControllerEnvironment(Services services);
    ~InputControllerEnvironment();
    InputControllerEnvironment(const InputControllerEnvironment&) = delete;
    InputControllerEnvironment& operator=(const InputControllerEnvironment&) = delete;

    // The server's environment: EngineBootstrap's engine, the shared
    // candidate panel and mode indicator, one PredictionService over the
    // route choice with the rhythm's pause, one TypingRhythm on the standard
    // user defaults, the live settings, the welcome trigger and the updater.
    // Made on first use, after the application object and the process's
    // notification center exist.
    static InputControllerEnvironment& live();
    // At quit, once no client can reach the process: winds down the live
    // environment if one was made (true when there is none). False: a
    // rewrite is still inside an outside call, and the process must end
    // without destroying the environment, whose destructor would wait for it.
    static bool windDownLive(std::chrono::milliseconds within);

    const Services& services() const { return services_; }
    // The mode each application was left in, shared by its controllers.
    ModeMemory& modeMemory() { return modeMemory_; }
    SorvaneInputController* activeController() const { return active_; }
    bool observesSettings() const { return settingsObserver_ != 0; }

private:
    friend class SorvaneInputController;
    void installSettingsObserver();
    void settingsChanged();

    Services services_;
    ModeMemory modeMemory_;
    SorvaneInputController* active_ = nullptr;
    NotificationObserverId settingsObserver_ = 0;
};

class SorvaneInputController final : public IMKInputController,
                                     public ComposerHost,
                                     public EnglishComposerHost {
public:
    // Modifier flags that make a key a command rather than typing.
    static constexpr std::uint64_t commandFlags = 0x1C0000;
    static constexpr const char* ghostSuffix = " …ghost";
    // The most letters of English that a Shift tap carries into the
    // Chinese composition.
    static constexpr std::size_t maxCarriedLetters = 64;

    SorvaneInputController(IMKServer* server, InputClient* client,
                           InputControllerEnvironment& environment = InputControllerEnvironment::live());
    ~SorvaneInputController() override;

    // Framework entry points.
    std::uint64_t recognizedEvents(InputClient* sender) const override;
    void activateServer(InputClient* sender) override;
    void deactivateServer(InputClient* sender) override;
    bool handleEvent(const KeyEvent& event, InputClient* sender) override;
    void commitComposition(InputClient* sender) override;
    void hidePalettes() override;
    std::vector<MenuItem> menu() override;
    bool performMenuAction(const std::string& action, InputClient* sender) override;

    void openAccount();
    void openSettings();
    void openWelcome();
    void openUpdate();

    // ComposerHost: the client this controller serves now (none after
    // deactivation until the next call brings one).
    InputClient* client() const override { return client_; }
    void setMarkedText(const MarkedText& text, int caret) override;
    std::optional<StyleRun> markForStyle(MarkedTextStyle style, TextRange range) const override;

    // EnglishComposerHost.
    void englishCompositionChanged(const std::string& text, int caret) override;
    void englishCompositionCleared() override;
    void insertText(const std::string& text) override;
    void showEnglishPanel(const EnglishPanelModel& model) override;
    void hideEnglishPanel() override;

    // The Chinese composer shows marked text or candidates, or the English
    // buffer is not empty.
    bool isComposingAnything() const;
    // ascii while locked, else english when the engine is in its ASCII mode
    // (or there is no engine), else chinese.
    InputMode currentMode() const;

    InputMode lastKnownMode() const { return lastKnownMode_; }
    bool asciiLocked() const { return asciiLocked_; }
    bool rawLetters() const { return rawLetters_; }
    bool shiftWithheld() const { return shiftWithheld_; }
    bool ghostEnabled() const { return ghostEnabled_; }
    const ShiftDoubleTap& shiftTaps() const { return shiftTaps_; }
    ChineseComposer* chinese() { return chinese_.get(); }
    EnglishComposer& english() { return *english_; }

private:
    friend class InputControllerEnvironment;

    bool handleKeyDown(const KeyEvent& event);
    bool handleFlagsChanged(const KeyEvent& event);
    // Whether a modifier event presses or releases its key; none for an
    // event that repeats the state already held.
    std::optional<bool> modifierPress(ModifierKey key, const KeyEvent& event, std::uint64_t flags,
                                      std::uint64_t previous);
    bool silencedBySecureInput();
    void shiftTapWhileAsciiLocked(ShiftTap tap);
    // A Shift kept from the engine while a composition is open; true when
    // the event ends here.
    bool withholdShift(const std::string& keyName, bool press, std::uint64_t flags, ShiftTap tap);
    void followEngineModeSwitch(bool wasAscii, bool nowAscii, std::size_t bufferLength);
    ShiftTap trackShiftTap(ModifierKey key, bool isPress, std::uint64_t flags, double at);
    void doubleShift();
    void enter(InputMode mode);
    void carryComposition();
    void noteModeChange();
    void applySettings();
    void refreshPasswordInput();
    void endRawLettersIfDone();
    bool secureInputOn() const;
    Rect caretRect() const;
    std::string host() const;
    void adoptSender(InputClient* sender);
    void hidePanel();

    InputControllerEnvironment& environment_;
    const InputControllerEnvironment::Services& services_;

    InputClient* client_;
    std::unique_ptr<ChineseComposer> chinese_;
    std::unique_ptr<EnglishComposer> english_;
    bool ghostEnabled_ = false;
    std::uint64_t heldModifiers_ = 0;
    bool capsLockOn_ = false;
    InputMode lastKnownMode_ = InputMode::chinese;
    bool asciiLocked_ = false;
    ShiftDoubleTap shiftTaps_;
    InputMode modeBeforeShiftTaps_ = InputMode::chinese;
    bool shiftWithheld_ = false;
    bool rawLetters_ = false;
};

}  // namespace sorvane
