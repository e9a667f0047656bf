#pragma once
// Predictable text measurement for layout tests: ASCII advances half the font
// size, anything else the full size, plus a quarter point so that rounding up
// is visible; a line is 1.2 × the size + 0.1 high. Wrapping splits the total
// width into as many lines of the given width as it needs.
#include <algorithm>
#include <cmath>

#include "kit/panel/PanelText.h"
#include "platform/Text.h"

namespace sorvane::testing {

class FakeTextMetrics final : public TextMetrics {
public:
    static double advance(std::string_view text, double size) {
        double width = 0;
        for (char32_t c : Text::codePoints(text)) width += c < 0x80 ? size * 0.5 : size;
        return width;
    }
    static double lineHeight(double size) { return size * 1.2 + 0.1; }

    Size measure(std::string_view text, const FontSpec& font) const override {
        return {advance(text, font.size) + 0.25, lineHeight(font.size)};
    }

    Size measureWrapped(const std::vector<StyledRun>& runs, double width) const override {
        double total = 0;
        double height = 0;
        for (const StyledRun& run : runs) {
            total += advance(run.text, run.style.font.size);
            height = std::max(height, lineHeight(run.style.font.size));
        }
        if (total <= width) return {total, height};
        return {width, height * std::ceil(total / width)};
    }
};

}  // namespace sorvane::testing
