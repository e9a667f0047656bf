#include "app/server/SorvaneInputController.h"

#include <cstdio>

#include "app/panels/ModeHUD.h"
#include "app/server/EngineBootstrap.h"
#include "app/server/EnglishKeyMap.h"
#include "app/server/GhostTest.h"
#include "app/settings/SettingsLauncher.h"
#include "app/settings/SettingsMenu.h"
#include "app/settings/WelcomeTrigger.h"
#include "app/update/UpdateCenter.h"
#include "engine/KeySyms.h"
#include "kit/route/LastKnownRouteReason.h"
#include "kit/route/MacRouting.h"
#include "platform/SorvaneLog.h"
#include "platform/Text.h"
#include "platform/files/UserDefaults.h"
#include "platform/qt/QtMainQueue.h"
#include "prediction/PredictionService.h"

namespace sorvane {
namespace {

const char* boolText(bool value) {
    return value ? "true" : "false";
}

std::string hex(std::uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%x", value);
    return buffer;
}

// Whether live() has been made; main thread only.
bool liveMade = false;

// The first character the key produced, as the key tables take it.
std::optional<std::string> firstCharacter(const std::string& characters) {
    if (characters.empty() || !Text::isValidUtf8(characters)) return std::nullopt;
    const auto points = Text::codePoints(characters);
    if (points.empty()) return std::nullopt;
    return Text::fromCodePoint(points.front());
}

}  // namespace

InputControllerEnvironment::InputControllerEnvironment(Services services) : services_(std::move(services)) {
    // What a caller leaves out is the process's own.
    if (!services_.panel) services_.panel = &CandidatePanelPresenting::shared();
    if (!services_.queue) services_.queue = &QtMainQueue::shared();
    if (!services_.settings) services_.settings = [] { return LiveSettings::current(); };
}

InputControllerEnvironment::~InputControllerEnvironment() {
    if (settingsObserver_ != 0 && services_.notifications)
        services_.notifications->removeObserver(settingsObserver_);
}

void InputControllerEnvironment::installSettingsObserver() {
    if (settingsObserver_ != 0 || !services_.notifications) return;
    settingsObserver_ = services_.notifications->observe(
        AppSettingsFile::changedNotification,
        [this](const std::string&, const NotificationUserInfo&) { settingsChanged(); });
}

void InputControllerEnvironment::settingsChanged() {
    if (services_.invalidateSettings) services_.invalidateSettings();
    if (active_) active_->applySettings();
}

InputControllerEnvironment& InputControllerEnvironment::live() {
    static InputControllerEnvironment environment([] {
        Services s;
        s.engine = [] { return EngineBootstrap::engine(); };
        s.panel = &CandidatePanelPresenting::shared();
        s.showModeIndicator = [](InputMode mode, Rect caret) { ModeHUD::shared().show(mode, caret); };
        s.queue = &QtMainQueue::shared();
        s.rhythm = std::make_shared<TypingRhythm>(
            UserDefaults::standard(), [] { return std::chrono::system_clock::now(); },
            TypingRhythm::Writes::onWriterThread);
        // Lives as long as the process, like the service that calls it.
        static LastKnownRouteReason routeReason([] { return MacRouting::noRouteReason(); });
        auto prediction = std::make_shared<PredictionService>(
            routeReason.refreshingOnNoRoute([] { return MacRouting::resolveRoute(); }),
            [](const PredictionError& error) { MacRouting::rejected(error); },
            PredictionService::UsageHandler{}, [rhythm = s.rhythm] { return rhythm->pause(); });
        s.prediction = prediction;
        s.windDown = [prediction, rhythm = s.rhythm](std::chrono::milliseconds within) {
            const bool ended = prediction->shutdown(within);
            // On disk even when the process ends without destructors.
            rhythm->flush();
            return ended;
        };
        s.noRouteReason = [] { return routeReason.current(); };
        s.settings = [] { return LiveSettings::current(); };
        s.invalidateSettings = [] { LiveSettings::invalidate(); };
        s.ghostTest = [] { return GhostTest::isEnabled(); };
        s.openSettings = [](SettingsPage page) { SettingsLauncher::open(page); };
        s.noteActivation = [] {
            WelcomeTrigger::shared().noteActivation();
            UpdateCenter::noteActivation();
        };
        s.notifications = NotificationCenter::shared();
        return s;
    }());
    liveMade = true;
    return environment;
}

bool InputControllerEnvironment::windDownLive(std::chrono::milliseconds within) {
    if (!liveMade) return true;
    const auto& windDown = live().services_.windDown;
    return !windDown || windDown(within);
}

SorvaneInputController::SorvaneInputController(IMKServer* server, InputClient* client,
                                               InputControllerEnvironment& environment)
    : IMKInputController(server, client),
      environment_(environment),
      services_(environment.services()),
      client_(client) {
    environment_.installSettingsObserver();
    if (RimeEngine* engine = services_.engine ? services_.engine() : nullptr) {
        chinese_ = std::make_unique<ChineseComposer>(*engine, *this, *services_.panel);
    }
    english_ = std::make_unique<EnglishComposer>(this, services_.prediction, *services_.queue);
    // Tab always takes the rewrite alone here; Shift+Tab adds the
    // continuation, whatever the settings file says.
    english_->setAcceptKeys([] { return AcceptKeys::tabNormalized; });
    if (services_.noRouteReason) english_->setNoRouteReason(services_.noRouteReason);
    if (services_.rhythm) {
        english_->setRhythm(services_.rhythm);
        english_->setWaitingDelayResolver([rhythm = services_.rhythm] { return rhythm->pause(); });
    }
    SorvaneLog::log("[Sorvane] controller init client=" + host() +
                    " engine=" + boolText(chinese_ != nullptr));
}

SorvaneInputController::~SorvaneInputController() {
    if (environment_.active_ == this) environment_.active_ = nullptr;
    english_->setHost(nullptr);
}

std::uint64_t SorvaneInputController::recognizedEvents(InputClient*) const {
    return EventMask::keyDown | EventMask::flagsChanged;
}

void SorvaneInputController::adoptSender(InputClient* sender) {
    if (sender) client_ = sender;
}

std::string SorvaneInputController::host() const {
    if (!client_) return "nil";
    const auto bundleId = client_->bundleIdentifier();
    return bundleId ? SorvaneLog::clientText(*bundleId) : "nil";
}

bool SorvaneInputController::secureInputOn() const {
    return client_ && client_->isSecureInputOn();
}

Rect SorvaneInputController::caretRect() const {
    if (!client_) return {};
    return client_->caretRect(0).value_or(Rect{});
}

void SorvaneInputController::hidePanel() {
    if (services_.panel->isVisible()) services_.panel->hide();
}

void SorvaneInputController::activateServer(InputClient* sender) {
    adoptSender(sender);
    ghostEnabled_ = services_.ghostTest ? services_.ghostTest() : false;
    heldModifiers_ = (client_ ? client_->currentModifierFlags() : 0) & ModifierFlag::deviceIndependentMask;
    capsLockOn_ = (heldModifiers_ & ModifierFlag::capsLock) != 0;
    shiftTaps_.clear();

    environment_.active_ = this;
    const std::optional<std::string> bundleId = client_ ? client_->bundleIdentifier() : std::nullopt;
    InputMode mode = environment_.modeMemory().mode(bundleId);
    // With no toggle key no Shift could leave a remembered lock.
    if (mode == InputMode::ascii && services_.settings().toggleKey == ToggleKey::off)
        mode = InputMode::chinese;
    if (chinese_) {
        chinese_->clearComposition();
        chinese_->setAsciiMode(mode != InputMode::chinese);
    }
    asciiLocked_ = mode == InputMode::ascii;
    shiftWithheld_ = false;
    rawLetters_ = false;
    if (asciiLocked_)
        lastKnownMode_ = InputMode::ascii;
    else if (!chinese_ || chinese_->isAsciiMode())
        lastKnownMode_ = InputMode::english;
    else
        lastKnownMode_ = InputMode::chinese;
    english_->reset();
    english_->setPredictionEnabled(!secureInputOn());

    SorvaneLog::log(
        "[Sorvane] activate host=" + host() + " mode=" + std::string(inputModeName(lastKnownMode_)) +
        " ascii=" + boolText(lastKnownMode_ != InputMode::chinese) +
        " prediction=" + boolText(english_->predictionEnabled()) + " ghost=" + boolText(ghostEnabled_));

    if (services_.noteActivation) services_.noteActivation();
}

void SorvaneInputController::deactivateServer(InputClient* sender) {
    adoptSender(sender);
    SorvaneLog::log("[Sorvane] deactivate host=" + host());
    shiftTaps_.clear();
    shiftWithheld_ = false;
    if (chinese_) chinese_->commitComposition();
    endRawLettersIfDone();
    english_->commitBuffer();
    hidePanel();
    services_.panel->dismissModeIndicator();
    if (environment_.active_ == this) environment_.active_ = nullptr;
    client_ = nullptr;
}

void SorvaneInputController::commitComposition(InputClient* sender) {
    adoptSender(sender);
    if (chinese_) chinese_->commitComposition();
    endRawLettersIfDone();
    english_->commitBuffer();
    hidePanel();
}

void SorvaneInputController::hidePalettes() {
    hidePanel();
    services_.panel->dismissModeIndicator();
    IMKInputController::hidePalettes();
}

std::vector<MenuItem> SorvaneInputController::menu() {
    return SettingsMenu::make();
}

bool SorvaneInputController::performMenuAction(const std::string& action, InputClient* sender) {
    adoptSender(sender);
    if (action == "openSettings:") {
        openSettings();
    } else if (action == "openWelcome:") {
        openWelcome();
    } else if (action == "openAccount:") {
        openAccount();
    } else if (action == "openUpdate:") {
        openUpdate();
    } else {
        return IMKInputController::performMenuAction(action, sender);
    }
    return true;
}

void SorvaneInputController::openAccount() {
    if (services_.openSettings) services_.openSettings(SettingsPage::account);
}
void SorvaneInputController::openSettings() {
    if (services_.openSettings) services_.openSettings(SettingsPage::welcome);
}
void SorvaneInputController::openWelcome() {
    if (services_.openSettings) services_.openSettings(SettingsPage::welcome);
}
void SorvaneInputController::openUpdate() {
    if (services_.openSettings) services_.openSettings(SettingsPage::about);
}

// The host operations, through which both composers reach the client.

void SorvaneInputController::setMarkedText(const MarkedText& text, int caret) {
    if (!client_) return;
    if (ghostEnabled_ && !text.text.empty()) {
        MarkedText ghost = text;
        const int start = static_cast<int>(Text::utf16Length(text.text));
        ghost.text += ghostSuffix;
        ghost.styleRuns.push_back(
            {{start, static_cast<int>(Text::utf16Length(ghostSuffix))}, MarkedTextStyle::ghost});
        client_->setMarkedText(ghost.text, {caret, 0}, ghost.styleRuns);
        return;
    }
    client_->setMarkedText(text.text, {caret, 0}, text.styleRuns);
}

std::optional<StyleRun> SorvaneInputController::markForStyle(MarkedTextStyle style, TextRange range) const {
    return StyleRun{range, style};
}

void SorvaneInputController::englishCompositionChanged(const std::string& text, int caret) {
    const int length = static_cast<int>(Text::utf16Length(text));
    MarkedText marked{text, {}};
    if (auto run = markForStyle(MarkedTextStyle::selectedRawText, {0, length}))
        marked.styleRuns.push_back(*run);
    setMarkedText(marked, caret);
}

void SorvaneInputController::englishCompositionCleared() {
    if (client_) client_->setMarkedText({}, {0, 0}, {});
}

void SorvaneInputController::insertText(const std::string& text) {
    if (client_) client_->insertText(text);
}

void SorvaneInputController::showEnglishPanel(const EnglishPanelModel& model) {
    if (!client_) return;
    services_.panel->dismissModeIndicator();
    services_.panel->show(PanelContent::english(model), caretRect());
}

void SorvaneInputController::hideEnglishPanel() {
    hidePanel();
}

bool SorvaneInputController::isComposingAnything() const {
    return (chinese_ && chinese_->isComposing()) || english_->hasBuffer();
}

InputMode SorvaneInputController::currentMode() const {
    if (asciiLocked_) return InputMode::ascii;
    if (!chinese_ || chinese_->isAsciiMode()) return InputMode::english;
    return InputMode::chinese;
}

// Key events.

bool SorvaneInputController::handleEvent(const KeyEvent& event, InputClient* sender) {
    adoptSender(sender);
    bool result = false;
    switch (event.type) {
        case KeyEventType::keyDown:
            result = handleKeyDown(event);
            break;
        case KeyEventType::flagsChanged:
            result = handleFlagsChanged(event);
            break;
    }
    endRawLettersIfDone();
    noteModeChange();
    return result;
}

bool SorvaneInputController::handleKeyDown(const KeyEvent& event) {
    // Any key breaks a Shift tap series (Shift+letter is typing, not a tap).
    shiftTaps_.clear();
    // A password field gets every key as typed, in every mode: nothing of it
    // is composed, shown, learned by the engine or sent out. What was being
    // composed before goes in as it stands.
    refreshPasswordInput();
    if (secureInputOn()) {
        if (chinese_ && chinese_->isComposing()) chinese_->commitComposition();
        return false;
    }
    if (asciiLocked_) return false;
    if (event.modifierFlags & commandFlags) return false;
    if (!chinese_) return false;

    const bool shift = (event.modifierFlags & ModifierFlag::shift) != 0;
    const bool capsLock = (event.modifierFlags & ModifierFlag::capsLock) != 0;
    const auto character = firstCharacter(event.characters);
    const std::uint32_t keysym =
        KeySyms::keysym(event.keyCode, character ? std::optional<std::string_view>(*character) : std::nullopt,
                        shift, capsLock);
    const std::uint32_t mask = RimeModifier::mask(shift, false, false, false, capsLock);

    if (SorvaneLog::debugEnabled()) {
        SorvaneLog::debug("[Sorvane] keyDown code=" + std::to_string(event.keyCode) +
                          " chars=" + SorvaneLog::clientText(event.characters) + " keysym=0x" + hex(keysym) +
                          " mask=" + std::to_string(mask) + " ascii=" + boolText(chinese_->isAsciiMode()) +
                          " composing=" + boolText(chinese_->isComposing()));
    }

    if (chinese_->isComposing()) {
        if (chinese_->confirmPunctuationMenu(keysym, mask))
            SorvaneLog::log("[Sorvane] typing on after a punctuation menu → first candidate");
        if (chinese_->isComposing()) {
            if (!rawLetters_ && keysym >= 'A' && keysym <= 'Z' && !chinese_->isAsciiMode() &&
                chinese_->beginRawLetters()) {
                rawLetters_ = true;
                SorvaneLog::log("[Sorvane] uppercase mid-composition → raw letters");
            }
            return chinese_->handleKey(keysym, mask, ChineseComposer::MenuCheck::alreadyDone);
        }
        // The confirmation ended the composition: the key goes on as if
        // nothing had been composing.
    }

    if (chinese_->isAsciiMode()) {
        if (keysym != KeySym::voidSymbol) {
            // The engine sees English keys first so its own switches work.
            chinese_->handleKey(keysym, mask);
            if (!chinese_->isAsciiMode()) {
                english_->commitBuffer();
                return true;
            }
        }
        return EnglishKeyMap::handleKeyDown(*english_, event);
    }

    if (keysym == KeySym::voidSymbol) return false;
    return chinese_->handleKey(keysym, mask);
}

void SorvaneInputController::refreshPasswordInput() {
    const bool secure = secureInputOn();
    if (!secure == english_->predictionEnabled()) return;
    // Whatever was typed before the password field took focus goes in as
    // typed; nothing typed into the field is composed or sent anywhere.
    if (secure) english_->commitBuffer();
    english_->setPredictionEnabled(!secure);
    SorvaneLog::log(std::string("[Sorvane] password input ") + (secure ? "on" : "off") +
                    " → prediction=" + boolText(!secure));
}

void SorvaneInputController::endRawLettersIfDone() {
    if (!rawLetters_ || !chinese_ || chinese_->isComposing()) return;
    rawLetters_ = false;
    if (chinese_->isAsciiMode()) chinese_->setAsciiMode(false);
    SorvaneLog::log("[Sorvane] raw letters done, back to 中");
}

}  // namespace sorvane
