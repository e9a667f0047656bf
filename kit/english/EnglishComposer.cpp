#include "kit/english/EnglishComposer.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <optional>
#include <variant>
#include <vector>

#include "platform/SorvaneLog.h"
#include "platform/Text.h"

namespace sorvane {

namespace {

constexpr std::string_view defaultNoRouteReason = "请先登录微信 · 见设置";
constexpr std::string_view textRequestFailed = "请求失败";
constexpr std::string_view textTimedOut = "超时";
constexpr std::string_view textOffline = "离线";

// URL-loading codes that mean the machine is offline or cannot reach the
// service at all. Some of them are never produced by our transport but are
// part of the same family.
constexpr int dnsLookupFailed = -1006;
constexpr int internationalRoamingOff = -1018;
constexpr int dataNotAllowed = -1020;

bool isOffline(int code) {
    switch (code) {
        case URLError::notConnectedToInternet:
        case URLError::networkConnectionLost:
        case URLError::cannotFindHost:
        case URLError::cannotConnectToHost:
        case dnsLookupFailed:
        case dataNotAllowed:
        case internationalRoamingOff:
            return true;
        default:
            return false;
    }
}

// Letters (marks included) and decimal digits: what may start a sentence.
bool hasLetterOrDigit(std::string_view text) {
    for (char32_t c : Text::codePoints(text)) {
        if (U_GET_GC_MASK(static_cast<UChar32>(c)) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_ND_MASK)) return true;
    }
    return false;
}

std::string joined(const std::vector<std::string>& characters, std::size_t from, std::size_t to) {
    std::string out;
    for (std::size_t i = from; i < to; ++i) out += characters[i];
    return out;
}

double uptimeSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string failureName(const SuggestionFailure& failure) {
    if (const auto* error = std::get_if<PredictionError>(&failure)) {
        if (error->kind() == PredictionError::Kind::httpStatus)
            return "httpStatus(" + std::to_string(error->code()) + ")";
        return std::string(error->caseName());
    }
    if (std::holds_alternative<URLError>(failure)) return "URLError";
    return "CancellationError";
}

}  // namespace

// The running request of one generation. Cancelling it only stops a request
// that has not been handed to the provider yet; results of a started one are
// dropped by the generation check.
struct EnglishComposer::PendingRequest {
    long generation;
    std::string text;
    bool cancelled = false;
};

struct EnglishComposer::WaitingTimer {
    QueueTaskId id = 0;
    bool cancelled = false;
};

EnglishComposer::EnglishComposer(EnglishComposerHost* host, std::shared_ptr<SuggestionProvider> provider,
                                 MainQueue& mainQueue)
    : host_(host), provider_(std::move(provider)), mainQueue_(mainQueue), clock_(uptimeSeconds) {}

EnglishComposer::~EnglishComposer() {
    if (waitingTask_) mainQueue_.cancel(waitingTask_->id);
}

std::function<void()> EnglishComposer::guarded(std::function<void()> work) const {
    return [alive = std::weak_ptr<int>(alive_), work = std::move(work)] {
        if (alive.lock()) work();
    };
}

std::string EnglishComposer::noRouteReason() const {
    return noRouteReason_ ? noRouteReason_() : std::string(defaultNoRouteReason);
}

void EnglishComposer::setPredictionEnabled(bool enabled) {
    const bool was = predictionEnabled_;
    predictionEnabled_ = enabled;
    if (was && !enabled) reset();
}

// MARK: Keys

bool EnglishComposer::handle(const EnglishKey& key) {
    if (!predictionEnabled_) return false;
    const int count = static_cast<int>(characterCount_);
    switch (key.kind()) {
        case EnglishKey::Kind::text:
            return typeText(key.characters());
        case EnglishKey::Kind::acceptNormalized:
            return accept(false);
        case EnglishKey::Kind::acceptFull:
            return accept(true);
        case EnglishKey::Kind::commitRaw:
            if (buffer_.empty()) return false;
            commit(std::string(buffer_));
            return true;
        case EnglishKey::Kind::escape:
            return escape();
        case EnglishKey::Kind::backspace:
            return backspace();
        case EnglishKey::Kind::caretLeft:
            return moveCaret(caret_ - 1);
        case EnglishKey::Kind::caretRight:
            return moveCaret(caret_ + 1);
        case EnglishKey::Kind::caretHome:
            return moveCaret(0);
        case EnglishKey::Kind::caretEnd:
            return moveCaret(count);
    }
    return false;
}

bool EnglishComposer::typeText(const std::string& text) {
    if (text.empty()) return false;
    // A sentence at the bound goes into the field as typed, and this key
    // starts the next one (or goes to the application, as a first key may).
    if (!buffer_.empty() && characterCount_ + Text::characterCount(text) > maximumBufferCharacters)
        commit(std::string(buffer_));
    // A sentence starts with a letter or digit; a leading space or comma
    // belongs to the application.
    if (buffer_.empty() && !hasLetterOrDigit(text)) return false;
    const double now = clock_ ? clock_() : uptimeSeconds();
    if (!buffer_.empty() && lastKeyAt_ && rhythm_) rhythm_->record(now - *lastKeyAt_);
    lastKeyAt_ = now;
    insert(text);
    return true;
}

bool EnglishComposer::accept(bool full) {
    if (!hasSuggestion()) return false;
    std::string text = full ? suggestion_->full() : suggestion_->normalized;
    if (text.empty()) return false;
    commit(text);
    return true;
}

bool EnglishComposer::escape() {
    if (hasSuggestion()) {
        invalidate(true, true);
        return true;
    }
    if (buffer_.empty()) return false;
    reset();
    return true;
}

bool EnglishComposer::backspace() {
    if (buffer_.empty()) return false;
    if (caret_ <= 0) return true;
    if (static_cast<std::size_t>(caret_) == characterCount_) {
        // At the end, the common case: the Characters before the last keep
        // their boundaries.
        buffer_.resize(Text::lastCharacterStart(buffer_));
        characterCount_ = characterCount_ - 1;
        caret_ = static_cast<int>(characterCount_);
    } else {
        auto characters = Text::characters(buffer_);
        const std::size_t at = std::min(static_cast<std::size_t>(caret_), characters.size());
        characters.erase(characters.begin() + static_cast<std::ptrdiff_t>(at - 1));
        buffer_ = joined(characters, 0, characters.size());
        characterCount_ = Text::characterCount(buffer_);
        caret_ = std::min(static_cast<int>(at - 1), static_cast<int>(characterCount_));
    }
    if (!buffer_.empty()) {
        updateMarkedText();
        // Always a fresh request: a shorter text is not "typing along".
        request(std::string(buffer_));
    } else {
        reset();
    }
    if (!buffer_.empty()) {
        lastKeyAt_ = clock_ ? clock_() : uptimeSeconds();
    } else {
        lastKeyAt_.reset();
    }
    return true;
}

bool EnglishComposer::moveCaret(int target) {
    if (buffer_.empty()) return false;
    target = std::clamp(target, 0, static_cast<int>(characterCount_));
    if (target == caret_) return true;
    caret_ = target;
    updateMarkedText();
    return true;
}

// MARK: Buffer and marked text

void EnglishComposer::insert(const std::string& text) {
    // Counted over the joined text: a combining mark typed after a letter
    // merges with it, and the caret must stay inside the buffer.
    if (static_cast<std::size_t>(std::max(caret_, 0)) >= characterCount_) {
        // Typing at the end, so a key costs the same in a long sentence.
        const std::size_t join = buffer_.size();
        buffer_ += text;
        characterCount_ = Text::characterCountAfterAppend(buffer_, join, characterCount_);
        caret_ = static_cast<int>(characterCount_);
    } else {
        const auto characters = Text::characters(buffer_);
        const std::size_t at = static_cast<std::size_t>(std::max(caret_, 0));
        const std::string head = joined(characters, 0, at) + text;
        buffer_ = head + joined(characters, at, characters.size());
        characterCount_ = Text::characterCount(buffer_);
        caret_ = static_cast<int>(std::min(Text::characterCount(head), characterCount_));
    }
    updateMarkedText();
    refresh();
}

void EnglishComposer::updateMarkedText() {
    if (buffer_.empty()) {
        clearMarkedText();
        return;
    }
    const auto utf16Caret =
        static_cast<std::size_t>(caret_) >= characterCount_
            ? Text::utf16Length(buffer_)
            : Text::utf16Length(Text::prefixCharacters(buffer_, static_cast<std::size_t>(caret_)));
    if (host_) host_->englishCompositionChanged(buffer_, static_cast<int>(utf16Caret));
    markedShown_ = true;
}

void EnglishComposer::clearMarkedText() {
    if (!markedShown_) return;
    markedShown_ = false;
    if (host_) host_->englishCompositionCleared();
}

void EnglishComposer::clearBuffer() {
    buffer_.clear();
    characterCount_ = 0;
    caret_ = 0;
    lastKeyAt_.reset();
}

// MARK: Requests

void EnglishComposer::refresh() {
    if (Text::isBlank(buffer_)) {
        invalidate(false, true);
        showPhase(EnglishPanelPhase::typing());
        return;
    }
    if (suggestion_) {
        // Typing along the suggestion on screen: keep it, ask for nothing.
        auto reused = provider_->prefixSuggestion(*suggestion_, buffer_);
        if (reused && !reused->continuation.empty()) {
            invalidate(false, true);
            suggestion_ = std::move(*reused);
            showPhase(EnglishPanelPhase::suggestion());
            return;
        }
    }
    request(std::string(buffer_));
}

void EnglishComposer::request(const std::string& text) {
    invalidate(false, false);
    const long generation = generation_;
    pending_ = true;
    auto pending = std::make_shared<PendingRequest>(PendingRequest{generation, text});
    mainQueue_.post(guarded([this, pending] { runRequest(pending); }));
    requestTask_ = pending;
    showPhase(EnglishPanelPhase::typing());
    armWaitingTimer(generation);
}

void EnglishComposer::runRequest(const std::shared_ptr<PendingRequest>& pending) {
    if (pending->cancelled) return;
    const long generation = pending->generation;
    const std::string text = pending->text;
    MainQueue* queue = &mainQueue_;
    const std::weak_ptr<int> alive = alive_;

    // Called on the provider's thread: capture values and hop to the main
    // thread, where the composer decides whether the result still counts.
    // Partials that come faster than the main thread takes them are merged:
    // only the newest is shown, so a long reply is not laid out once per token.
    struct Latest {
        std::mutex mutex;
        std::optional<Suggestion> partial;
    };
    auto latest = std::make_shared<Latest>();
    auto onPartial = [this, queue, alive, text, generation, latest](const Suggestion& partial) {
        {
            std::lock_guard guard(latest->mutex);
            const bool posted = latest->partial.has_value();
            latest->partial = partial;
            if (posted) return;
        }
        queue->post([this, alive, text, generation, latest] {
            std::optional<Suggestion> newest;
            {
                std::lock_guard guard(latest->mutex);
                newest.swap(latest->partial);
            }
            if (newest && alive.lock()) applySuggestion(*newest, text, generation, false);
        });
    };
    auto task = provider_->schedule(text, std::move(onPartial));
    if (!task) {
        finishRequest(generation);
        return;
    }
    task->onFinish([this, queue, alive, text, generation](const SuggestionResult& result) {
        queue->post([this, alive, text, generation, result] {
            if (!alive.lock()) return;
            if (result) {
                applySuggestion(*result, text, generation, true);
            } else if (!isCancellation(result.error())) {
                fail(result.error(), text, generation);
            }
            finishRequest(generation);
        });
    });
}

void EnglishComposer::applySuggestion(const Suggestion& suggestion, const std::string& text, long generation,
                                      bool final) {
    if (generation_ != generation || buffer_ != text || !predictionEnabled_ || suggestion.isEmpty()) return;
    cancelWaitingTimer();
    suggestion_ = suggestion.bounded();
    if (final) pending_ = false;
    showPhase(EnglishPanelPhase::suggestion());
}

void EnglishComposer::finishRequest(long generation) {
    if (generation_ != generation) return;
    pending_ = false;
    cancelWaitingTimer();
    if (suggestion_) return;
    if (phase_.kind() == EnglishPanelPhase::Kind::failed) return;
    if (buffer_.empty()) {
        if (panelShown_) {
            panelShown_ = false;
            if (host_) host_->hideEnglishPanel();
        }
        return;
    }
    if (phase_.kind() == EnglishPanelPhase::Kind::typing) return;
    showPhase(EnglishPanelPhase::typing());
}

void EnglishComposer::fail(const SuggestionFailure& failure, const std::string& text, long generation) {
    auto text_ = reason(failure, [this] { return noRouteReason(); });
    if (!text_) return;
    if (!didLogFailure_) {
        // Once per composer: a service that is down would otherwise log on
        // every pause in typing.
        didLogFailure_ = true;
        SorvaneLog::log("[Sorvane] prediction unavailable: " + failureName(failure));
    }
    if (generation_ != generation || buffer_ != text || suggestion_) return;
    cancelWaitingTimer();
    pending_ = false;
    showPhase(EnglishPanelPhase::failed(*text_));
}

std::optional<std::string> EnglishComposer::reason(const SuggestionFailure& failure,
                                                   const std::function<std::string()>& noRoute) {
    if (std::holds_alternative<CancellationError>(failure)) return std::nullopt;
    if (const auto* error = std::get_if<PredictionError>(&failure)) {
        using Kind = PredictionError::Kind;
        switch (error->kind()) {
            case Kind::httpStatus:
            case Kind::decoding:
            case Kind::emptyResponse:
                return std::string(textRequestFailed);
            case Kind::missingAPIKey:
                return noRoute ? noRoute() : std::string(defaultNoRouteReason);
            case Kind::tooShort:
                return std::nullopt;
            case Kind::quotaExceeded:
                return "今日 AI 额度已用完";
            case Kind::rateLimited:
                return "请求太频繁，稍后再试";
            case Kind::loginRequired:
                return "请先登录微信 · 见设置";
            case Kind::ownKeyInvalid:
                return "DeepSeek Key 无效 · 见设置";
            case Kind::ownKeyBalanceEmpty:
                return "DeepSeek 余额不足 · 去 DeepSeek 充值";
        }
        return std::string(textRequestFailed);
    }
    if (const auto* error = std::get_if<URLError>(&failure)) {
        if (error->code == URLError::cancelled) return std::nullopt;
        if (error->code == URLError::timedOut) return std::string(textTimedOut);
        if (isOffline(error->code)) return std::string(textOffline);
        return std::string(textRequestFailed);
    }
    return std::string(textRequestFailed);
}

// MARK: Waiting indicator

void EnglishComposer::armWaitingTimer(long generation) {
    cancelWaitingTimer();
    const double delay = waitingDelayResolver_ ? waitingDelayResolver_() : waitingDelay_;
    // NaN, negative and zero delays show the indicator at the next turn; an
    // absurdly long one is held to a day rather than overflowing.
    std::chrono::milliseconds wait{0};
    if (std::isfinite(delay) && delay > 0)
        wait = std::chrono::milliseconds(std::llround(std::min(delay, 86400.0) * 1000));
    auto timer = std::make_shared<WaitingTimer>();
    timer->id = mainQueue_.postAfter(wait, guarded([this, timer, generation] {
                                         if (timer->cancelled) return;
                                         if (generation_ == generation && pending_ && !suggestion_)
                                             showPhase(EnglishPanelPhase::requesting());
                                     }));
    waitingTask_ = timer;
}

void EnglishComposer::cancelWaitingTimer() {
    if (!waitingTask_) return;
    waitingTask_->cancelled = true;
    mainQueue_.cancel(waitingTask_->id);
    waitingTask_.reset();
}

// MARK: State changes

void EnglishComposer::invalidate(bool hidePanel, bool cancelRemotely) {
    ++generation_;
    pending_ = false;
    suggestion_.reset();
    if (requestTask_) {
        requestTask_->cancelled = true;
        requestTask_.reset();
    }
    cancelWaitingTimer();
    if (cancelRemotely) {
        mainQueue_.post([provider = provider_] { provider->cancelInFlight(); });
    }
    if (hidePanel) {
        if (panelShown_) {
            panelShown_ = false;
            if (host_) host_->hideEnglishPanel();
        }
        phase_ = EnglishPanelPhase::typing();
    }
}

void EnglishComposer::showPhase(EnglishPanelPhase phase) {
    phase_ = std::move(phase);
    if (predictionEnabled_ && !buffer_.empty()) {
        const bool showsSuggestion = phase_.kind() == EnglishPanelPhase::Kind::suggestion && suggestion_;
        EnglishPanelModel model(showsSuggestion ? suggestion_->normalized : std::string(),
                                showsSuggestion ? suggestion_->continuation : std::string(),
                                phase_.kind() == EnglishPanelPhase::Kind::requesting, buffer_, phase_,
                                acceptKeys());
        panelShown_ = true;
        if (host_) host_->showEnglishPanel(model);
    } else if (panelShown_) {
        panelShown_ = false;
        if (host_) host_->hideEnglishPanel();
    }
}

void EnglishComposer::commit(const std::string& text) {
    invalidate(true, true);
    // The marked text goes first, so the client never shows both.
    clearMarkedText();
    clearBuffer();
    if (!text.empty() && host_) host_->insertText(text);
}

void EnglishComposer::commitBuffer() {
    if (rhythm_) rhythm_->save();
    if (!buffer_.empty()) {
        commit(std::string(buffer_));
    } else if (pending_ || panelShown_) {
        invalidate(true, true);
    }
}

void EnglishComposer::reset() {
    invalidate(true, true);
    clearMarkedText();
    clearBuffer();
}

void EnglishComposer::begin(std::string_view text) {
    if (text.empty()) return;
    if (!predictionEnabled_) {
        if (host_) host_->insertText(std::string(text));
        return;
    }
    reset();
    if (Text::characterCount(text) > maximumBufferCharacters) {
        if (host_) host_->insertText(std::string(text));
        return;
    }
    insert(std::string(text));
}

}  // namespace sorvane
