#pragma once
// The English composer's state as the candidate panel draws it.
#include <string>
#include <utility>

#include "kit/input/AcceptKeys.h"

namespace sorvane {

class EnglishPanelPhase {
public:
    enum class Kind {
        failed,      // the last request failed; reason() is the short text shown
        typing,      // no suggestion and no waiting indicator (the initial phase)
        requesting,  // a request has outlasted the waiting delay
        suggestion,  // a suggestion is shown, complete or still streaming
    };

    static EnglishPanelPhase failed(std::string reason) {
        return EnglishPanelPhase(Kind::failed, std::move(reason));
    }
    static EnglishPanelPhase typing() { return EnglishPanelPhase(Kind::typing); }
    static EnglishPanelPhase requesting() { return EnglishPanelPhase(Kind::requesting); }
    static EnglishPanelPhase suggestion() { return EnglishPanelPhase(Kind::suggestion); }

    Kind kind() const { return kind_; }
    // The failure text of a `failed` phase; empty for every other kind.
    const std::string& reason() const { return reason_; }

    friend bool operator==(const EnglishPanelPhase& a, const EnglishPanelPhase& b);

private:
    explicit EnglishPanelPhase(Kind kind, std::string reason = {})
        : kind_(kind), reason_(std::move(reason)) {}

    Kind kind_;
    std::string reason_;
};

// The suggestion parts and the waiting flag are fixed when the model is made;
// buffer, phase and accept keys may be replaced afterwards.
class EnglishPanelModel {
public:
    EnglishPanelModel(std::string normalized, std::string continuation, bool isWaiting, std::string buffer,
                      EnglishPanelPhase phase, AcceptKeys acceptKeys)
        : normalized_(std::move(normalized)),
          continuation_(std::move(continuation)),
          isWaiting_(isWaiting),
          buffer_(std::move(buffer)),
          phase_(std::move(phase)),
          acceptKeys_(acceptKeys) {}

    // The rewrite of what was typed; empty unless the phase is `suggestion`.
    const std::string& normalized() const { return normalized_; }
    // The further words as the suggestion holds them, leading space included.
    const std::string& continuation() const { return continuation_; }
    // True exactly when the phase is `requesting`.
    bool isWaiting() const { return isWaiting_; }
    // The raw buffer, exactly as typed.
    const std::string& buffer() const { return buffer_; }
    const EnglishPanelPhase& phase() const { return phase_; }
    AcceptKeys acceptKeys() const { return acceptKeys_; }

    void setBuffer(std::string buffer) { buffer_ = std::move(buffer); }
    void setPhase(EnglishPanelPhase phase) { phase_ = std::move(phase); }
    void setAcceptKeys(AcceptKeys keys) { acceptKeys_ = keys; }

    // The panel compares models to decide whether anything changed.
    friend bool operator==(const EnglishPanelModel& a, const EnglishPanelModel& b);

private:
    std::string normalized_;
    std::string continuation_;
    bool isWaiting_;
    std::string buffer_;
    EnglishPanelPhase phase_;
    AcceptKeys acceptKeys_;
};

}  // namespace sorvane
