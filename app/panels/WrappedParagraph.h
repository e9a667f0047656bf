#pragma once
// A word-wrapped paragraph of styled runs that stays laid out from one update
// to the next. Typing changes a long line near its end, and a line's breaks
// depend only on the text up to the word after it, so the lines well before
// the first changed character are kept and only the rest is laid out again:
// a key costs about the same at 3,000 characters as at 100.
#include <QPainter>
#include <QTextLayout>
#include <memory>
#include <optional>
#include <vector>

#include "app/panels/PanelStyle.h"

namespace sorvane {

class WrappedParagraph {
public:
    // Lays out `runs` at `width` in the palette's colours, keeping what it
    // can of the last layout. The top of the first line laid out anew, or
    // none when nothing changed: lines above that top are drawn as before.
    std::optional<double> set(const std::vector<StyledRun>& runs, double width, const PanelPalette* palette);

    bool isSet() const { return set_; }
    const std::vector<StyledRun>& runs() const { return runs_; }
    double width() const { return width_; }
    const PanelPalette* palette() const { return palette_; }
    // The widest line, the total height, and whether a line was wrapped.
    const LaidOutLines& lines() const { return summary_; }
    int lineCount() const { return static_cast<int>(lines_.size()); }
    // The UTF-16 range [start, end) of line `i` in the whole text.
    std::pair<int, int> lineRange(int i) const { return {lines_[i].start, lines_[i].end}; }

    // Draws the lines that meet `clip`, the paragraph's top-left corner at
    // `origin`; both in the painter's coordinates.
    void draw(QPainter& painter, QPointF origin, const QRectF& clip) const;

private:
    struct Line {
        std::shared_ptr<const QTextLayout> layout;  // shared by the lines laid out together
        int index = 0;                              // within that layout
        int start = 0, end = 0;                     // UTF-16, in the whole text
        double top = 0, height = 0, naturalWidth = 0;
        bool endsAtBreak = false;  // at a line or paragraph separator, not wrapped
    };
    // The first line that has to be laid out again for a change at `changed`.
    std::size_t firstLineToRedo(int changed) const;
    void summarize();

    bool set_ = false;
    std::vector<StyledRun> runs_;
    StyledParagraph paragraph_;
    bool hasRightToLeft_ = false;
    double width_ = 0;
    const PanelPalette* palette_ = nullptr;
    std::vector<Line> lines_;
    LaidOutLines summary_;
};

}  // namespace sorvane
