#include "tests/support/RecordingInputClient.h"

namespace sorvane::testing {

std::optional<Rect> RecordingInputClient::caretRect(int characterIndex) const {
    caretQueries_.push_back(characterIndex);
    return caret;
}

void RecordingInputClient::setMarkedText(const std::string& text, TextRange selection,
                                         const std::vector<StyleRun>& styleRuns) {
    marked_ = {text, selection, styleRuns};
    calls_.emplace_back(marked_);
}

void RecordingInputClient::insertText(const std::string& text) {
    // Inserting replaces the marked text, as in a real text field.
    marked_ = {};
    calls_.emplace_back(InsertTextCall{text});
}

std::string RecordingInputClient::insertedText() const {
    std::string out;
    for (const auto& call : calls_)
        if (const auto* insert = std::get_if<InsertTextCall>(&call)) out += insert->text;
    return out;
}

void RecordingInputClient::clear() {
    calls_.clear();
    marked_ = {};
    caretQueries_.clear();
}

}  // namespace sorvane::testing
