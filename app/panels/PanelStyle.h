#pragma once
// The panels' look on this platform: fonts for the logical sizes, our light and
// dark palettes for the semantic colour roles, and text measured and drawn
// with Qt for the layouts computed in kit/.
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QTextLayout>
#include <memory>
#include <optional>
#include <vector>

#include "kit/panel/PanelText.h"

namespace sorvane {

QFont panelFont(const FontSpec& spec);

class PanelPalette {
public:
    static const PanelPalette& light();
    static const PanelPalette& dark();
    // Follows the application palette: a dark window colour means dark.
    static const PanelPalette& current();

    QColor color(const ColorSpec& spec) const;
    QColor color(ColorRole role) const { return color(ColorSpec{role, 1.0}); }

private:
    explicit PanelPalette(std::vector<QColor> roles) : roles_(std::move(roles)) {}
    std::vector<QColor> roles_;
};

// Runs as one paragraph: its text, a format per non-empty run (colours from
// the palette when one is given) and the run's style beside it.
struct StyledParagraph {
    QString text;
    QList<QTextLayout::FormatRange> formats;
    std::vector<TextStyle> styles;
    FontSpec base;  // the first run's font: the height of an empty line
};
StyledParagraph styledParagraph(const std::vector<StyledRun>& runs, const PanelPalette* palette);

// The paragraph's text from UTF-16 offset `from` on, word-wrapped at `width`,
// its lines stacked from `top` down, leading included between them.
std::unique_ptr<QTextLayout> layoutParagraph(const StyledParagraph& paragraph, int from, double width,
                                             double top, Qt::LayoutDirection direction);

// Runs as one word-wrapped paragraph laid out at `width`, with leading
// included between lines. Colours come from the palette when one is given.
std::unique_ptr<QTextLayout> layoutRuns(const std::vector<StyledRun>& runs, double width,
                                        const PanelPalette* palette = nullptr);

// Lines of a laid-out paragraph: the widest natural line width, the total
// height, and whether any line was broken to fit the width (rather than
// ending at a line break or the end of the text).
struct LaidOutLines {
    Size size;
    bool wrapped = false;
};
LaidOutLines linesOf(const QTextLayout& layout);

class QtTextMetrics final : public TextMetrics {
public:
    static const QtTextMetrics& shared();
    Size measure(std::string_view text, const FontSpec& font) const override;
    Size measureWrapped(const std::vector<StyledRun>& runs, double width) const override;
};

// A monochrome drawing (an SVG resource such as ":/sorvane/sorvane-en-menu.svg")
// in white, as a template image is tinted: `side` pixels on its longer edge.
// None when the drawing is missing or broken.
std::optional<QImage> whiteTemplateIcon(const QString& resource, int side);

// Draws one string with its top-left corner at the point.
void drawText(QPainter& painter, std::string_view text, const TextStyle& style, const PanelPalette& palette,
              double x, double y);

}  // namespace sorvane
