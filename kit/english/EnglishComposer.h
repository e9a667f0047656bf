#pragma once
// The English mode's sentence: the typed buffer shown as marked text, the
// rewrite asked of a suggestion provider after a pause, and the panel state
// that shows it. Knows nothing of key codes, windows or the network: the
// controller turns key presses into EnglishKey values and is the host.
//
// Main thread only. Results of the provider arrive on other threads and are
// handed back through the main queue; a result is applied only while its
// generation is current and the buffer still equals the text it was asked for.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "kit/english/EnglishKey.h"
#include "kit/english/Suggestion.h"
#include "kit/english/SuggestionProvider.h"
#include "kit/english/TypingRhythm.h"
#include "kit/input/AcceptKeys.h"
#include "kit/panel/EnglishPanelModel.h"
#include "platform/MainQueue.h"

namespace sorvane {

// What the composer needs of its controller. Called on the main thread.
class EnglishComposerHost {
public:
    virtual ~EnglishComposerHost() = default;
    // Show `text` as marked text with the caret at a UTF-16 offset into it.
    virtual void englishCompositionChanged(const std::string& text, int caret) = 0;
    // Remove the marked text without inserting anything.
    virtual void englishCompositionCleared() = 0;
    virtual void insertText(const std::string& text) = 0;
    // Show the candidate panel with this model, or update it.
    virtual void showEnglishPanel(const EnglishPanelModel& model) = 0;
    virtual void hideEnglishPanel() = 0;
};

class EnglishComposer {
public:
    // The longest sentence kept, in Characters: the key that would pass it
    // commits the sentence as typed first, so what any client sends keeps
    // the panel, its layout and each request bounded.
    static constexpr std::size_t maximumBufferCharacters = 4000;

    // The host is not owned and must outlive the composer (or be detached
    // with setHost(nullptr); host calls are then skipped). The main queue
    // must outlive every task the composer posts to it.
    EnglishComposer(EnglishComposerHost* host, std::shared_ptr<SuggestionProvider> provider,
                    MainQueue& mainQueue);
    ~EnglishComposer();
    EnglishComposer(const EnglishComposer&) = delete;
    EnglishComposer& operator=(const EnglishComposer&) = delete;

    void setHost(EnglishComposerHost* host) { host_ = host; }

    // True when the key was taken (the client must not see it). Always false
    // while prediction is off.
    bool handle(const EnglishKey& key);
    // Starts the buffer with text carried over from the Chinese side; text
    // past the bound is inserted as it stands.
    void begin(std::string_view text);
    // Saves the rhythm, then commits the buffer as typed.
    void commitBuffer();
    // Drops everything; nothing is inserted.
    void reset();

    // The panel text for a failed request, or none when nothing is shown.
    static std::optional<std::string> reason(const SuggestionFailure& failure,
                                             const std::function<std::string()>& noRoute);

    bool predictionEnabled() const { return predictionEnabled_; }
    // Turning it off resets the composer.
    void setPredictionEnabled(bool enabled);

    // Seconds before the waiting indicator when no resolver is set.
    double waitingDelay() const { return waitingDelay_; }
    void setWaitingDelay(double seconds) { waitingDelay_ = seconds; }
    // Asked at each request; wins over waitingDelay.
    void setWaitingDelayResolver(std::function<double()> resolver) {
        waitingDelayResolver_ = std::move(resolver);
    }
    const std::function<double()>& waitingDelayResolver() const { return waitingDelayResolver_; }

    // Receives key gaps; saved on commitBuffer().
    void setRhythm(std::shared_ptr<TypingRhythm> rhythm) { rhythm_ = std::move(rhythm); }
    const std::shared_ptr<TypingRhythm>& rhythm() const { return rhythm_; }

    // Monotonic seconds, for key gaps.
    void setClock(std::function<double()> clock) { clock_ = std::move(clock); }

    // The accept-key choice copied into every panel model.
    void setAcceptKeys(std::function<AcceptKeys()> provider) { acceptKeys_ = std::move(provider); }
    AcceptKeys acceptKeys() const { return acceptKeys_ ? acceptKeys_() : AcceptKeys::tabNormalized; }

    // The panel text when there is no route to the service.
    void setNoRouteReason(std::function<std::string()> reason) { noRouteReason_ = std::move(reason); }
    std::string noRouteReason() const;

    const std::string& buffer() const { return buffer_; }
    // In Characters (grapheme clusters) from the start of the buffer.
    int caret() const { return caret_; }
    const std::optional<Suggestion>& suggestion() const { return suggestion_; }
    const EnglishPanelPhase& phase() const { return phase_; }
    bool hasBuffer() const { return !buffer_.empty(); }
    bool hasSuggestion() const { return suggestion_ && !suggestion_->full().empty(); }

private:
    struct PendingRequest;
    struct WaitingTimer;

    bool typeText(const std::string& text);
    bool accept(bool full);
    bool escape();
    bool backspace();
    bool moveCaret(int target);

    void insert(const std::string& text);
    void updateMarkedText();
    void clearMarkedText();
    void refresh();
    void request(const std::string& text);
    void runRequest(const std::shared_ptr<PendingRequest>& pending);
    void applySuggestion(const Suggestion& suggestion, const std::string& text, long generation, bool final);
    void finishRequest(long generation);
    void fail(const SuggestionFailure& failure, const std::string& text, long generation);
    void armWaitingTimer(long generation);
    void cancelWaitingTimer();
    void invalidate(bool hidePanel, bool cancelRemotely);
    void showPhase(EnglishPanelPhase phase);
    void commit(const std::string& text);
    void clearBuffer();

    // Posts work that runs only while this composer still exists.
    std::function<void()> guarded(std::function<void()> work) const;

    EnglishComposerHost* host_;
    std::shared_ptr<SuggestionProvider> provider_;
    MainQueue& mainQueue_;

    bool predictionEnabled_ = true;
    double waitingDelay_ = 0.3;
    std::function<double()> waitingDelayResolver_;
    std::shared_ptr<TypingRhythm> rhythm_;
    std::function<double()> clock_;
    std::optional<double> lastKeyAt_;
    std::function<AcceptKeys()> acceptKeys_;
    std::function<std::string()> noRouteReason_;
    std::string buffer_;
    std::size_t characterCount_ = 0;  // Characters in the buffer, kept as it changes
    int caret_ = 0;
    std::optional<Suggestion> suggestion_;
    EnglishPanelPhase phase_ = EnglishPanelPhase::typing();
    long generation_ = 0;
    bool pending_ = false;
    std::shared_ptr<PendingRequest> requestTask_;
    std::shared_ptr<WaitingTimer> waitingTask_;
    bool panelShown_ = false;
    bool markedShown_ = false;
    bool didLogFailure_ = false;

    // Tasks posted to the main queue hold it weakly; once the composer is
    // gone they find it expired and do nothing.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace sorvane
