#pragma once
// Text as the panels lay it out: a font size and weight plus a semantic colour
// role, measured through TextMetrics so layout is computed (and tested)
// without a toolkit. Sizes are logical pixels.
#include <string>
#include <string_view>
#include <vector>

#include "platform/Geometry.h"

namespace sorvane {

enum class FontWeight { regular, medium, semibold };

struct FontSpec {
    double size = 13;
    FontWeight weight = FontWeight::regular;
    bool operator==(const FontSpec&) const = default;
};

// Semantic colours; the window code maps them onto its light or dark palette.
enum class ColorRole {
    label,
    secondaryLabel,
    tertiaryLabel,
    quaternaryLabel,
    alternateSelectedText,  // text on the selection colour
    controlAccent,
    systemOrange,
    selectedContentBackground,
    windowBackground,
    separator,
};

struct ColorSpec {
    ColorRole role = ColorRole::label;
    double alpha = 1.0;
    bool operator==(const ColorSpec&) const = default;
};

struct TextStyle {
    FontSpec font;
    ColorSpec color;
    bool operator==(const TextStyle&) const = default;
};

struct StyledRun {
    std::string text;
    TextStyle style;
    bool operator==(const StyledRun&) const = default;
};

class TextMetrics {
public:
    virtual ~TextMetrics() = default;
    // One line, unrounded: the advance width and the line height.
    virtual Size measure(std::string_view text, const FontSpec& font) const = 0;
    // Runs laid out as one paragraph with word wrapping at `width`: the width
    // of the widest line and the total height, unrounded.
    virtual Size measureWrapped(const std::vector<StyledRun>& runs, double width) const = 0;
};

}  // namespace sorvane
