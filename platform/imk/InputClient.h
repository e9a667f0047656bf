#pragma once
// What a controller can see of and do to the text field it serves. Controller
// code talks to this interface only, so tests drive a controller in-process
// with a recording client instead of a D-Bus session.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Geometry.h"

namespace sorvane {

// A range in UTF-16 code units.
struct TextRange {
    int location = 0;
    int length = 0;
    bool operator==(const TextRange&) const = default;
};

// How a stretch of marked text is drawn. The numbered values are the text
// services' highlight styles; `ghost` is a dim, tertiary-label-coloured run.
enum class MarkedTextStyle : int {
    plain = 0,
    rawText = 2,
    selectedRawText = 3,
    convertedText = 4,
    selectedConvertedText = 5,
    ghost = 100,
};

struct StyleRun {
    TextRange range;  // UTF-16 units into the marked text
    MarkedTextStyle style = MarkedTextStyle::plain;
    bool operator==(const StyleRun&) const = default;
};

class InputClient {
public:
    virtual ~InputClient() = default;

    // The application's bundle id; none when it did not say.
    virtual std::optional<std::string> bundleIdentifier() const = 0;
    // Where the character at `index` of the marked text is drawn, as a screen
    // rectangle in points; none when the application cannot tell.
    virtual std::optional<Rect> caretRect(int characterIndex) const = 0;
    // Replaces the marked text; `selection` is the caret (length 0) or the
    // selected part, in UTF-16 units. An empty text removes the marked text.
    virtual void setMarkedText(const std::string& text, TextRange selection,
                               const std::vector<StyleRun>& styleRuns) = 0;
    // Inserts text at the caret, replacing any marked text.
    virtual void insertText(const std::string& text) = 0;
    // Secure event input (a password field has focus).
    virtual bool isSecureInputOn() const = 0;
    // The keyboard's modifier flags as the application last saw them.
    virtual std::uint64_t currentModifierFlags() const = 0;
};

}  // namespace sorvane
