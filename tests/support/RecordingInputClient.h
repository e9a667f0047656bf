#pragma once
// An InputClient that keeps every text operation a controller sends, so a
// test reads as keys in, what the application received out.
#include <string>
#include <variant>
#include <vector>

#include "platform/imk/InputClient.h"

namespace sorvane::testing {

struct MarkedTextCall {
    std::string text;
    TextRange selection;
    std::vector<StyleRun> styleRuns;
    bool operator==(const MarkedTextCall&) const = default;
};

struct InsertTextCall {
    std::string text;
    bool operator==(const InsertTextCall&) const = default;
};

using ClientCall = std::variant<MarkedTextCall, InsertTextCall>;

class RecordingInputClient final : public InputClient {
public:
    // What the application reports; tests set these.
    std::optional<std::string> bundleId = std::string("com.example.editor");
    std::optional<Rect> caret = Rect{100, 500, 1, 18};
    bool secureInput = false;
    std::uint64_t modifierFlags = 0;

    std::optional<std::string> bundleIdentifier() const override { return bundleId; }
    std::optional<Rect> caretRect(int characterIndex) const override;
    void setMarkedText(const std::string& text, TextRange selection,
                       const std::vector<StyleRun>& styleRuns) override;
    void insertText(const std::string& text) override;
    bool isSecureInputOn() const override { return secureInput; }
    std::uint64_t currentModifierFlags() const override { return modifierFlags; }

    const std::vector<ClientCall>& calls() const { return calls_; }
    // Every inserted text joined, in order.
    std::string insertedText() const;
    // The marked text now shown (empty when none).
    const std::string& markedText() const { return marked_.text; }
    const MarkedTextCall& lastMarked() const { return marked_; }
    std::vector<int> caretQueries() const { return caretQueries_; }
    void clear();

private:
    std::vector<ClientCall> calls_;
    MarkedTextCall marked_;
    mutable std::vector<int> caretQueries_;
};

}  // namespace sorvane::testing
