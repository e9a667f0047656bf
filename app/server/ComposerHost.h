#pragma once
// What the Chinese composer needs of the input controller that owns it: the
// client text field, a way to show marked text with a caret, and the
// framework's look for each highlight style.
#include <optional>
#include <string>
#include <vector>

#include "platform/imk/InputClient.h"

namespace sorvane {

// Marked text as the client draws it: UTF-8 text with style runs in UTF-16
// units.
struct MarkedText {
    std::string text;
    std::vector<StyleRun> styleRuns;
    bool operator==(const MarkedText&) const = default;
};

class ComposerHost {
public:
    virtual ~ComposerHost() = default;

    // The client the controller serves now; null while it has none. The
    // composer inserts text, clears marked text and asks for the caret
    // rectangle on it directly.
    virtual InputClient* client() const = 0;
    // Shows the marked text with the caret at a UTF-16 offset (the controller
    // may decorate it; nothing happens without a client).
    virtual void setMarkedText(const MarkedText& text, int caret) = 0;
    // The framework's attributes for a highlight style over a range of the
    // marked text; none when it has none for that style.
    virtual std::optional<StyleRun> markForStyle(MarkedTextStyle style, TextRange range) const = 0;
};

}  // namespace sorvane
