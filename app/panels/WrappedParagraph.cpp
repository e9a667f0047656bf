#include "app/panels/WrappedParagraph.h"

#include <algorithm>

namespace sorvane {

namespace {

// Right-to-left text is reordered over the whole paragraph, so a line laid
// out on its own could come out differently: such text is laid out whole.
bool hasRightToLeft(const QString& text) {
    const QChar* chars = text.constData();
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        char32_t c = chars[i].unicode();
        if (c < 0x0590) continue;
        if (QChar::isHighSurrogate(c) && i + 1 < size && chars[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(chars[i], chars[i + 1]);
            ++i;
        }
        switch (QChar::direction(c)) {
            case QChar::DirR:
            case QChar::DirAL:
            case QChar::DirAN:
            case QChar::DirRLE:
            case QChar::DirRLO:
            case QChar::DirRLI:
                return true;
            default:
                break;
        }
    }
    return false;
}

// The first UTF-16 offset at which the two paragraphs differ in text or in
// style; the shorter one's length when one starts the other.
int firstDifference(const StyledParagraph& a, const StyledParagraph& b) {
    const qsizetype shorter = std::min(a.text.size(), b.text.size());
    const QChar* pa = a.text.constData();
    const QChar* pb = b.text.constData();
    int changed = static_cast<int>(std::mismatch(pa, pa + shorter, pb).first - pa);
    if (!(a.base == b.base)) return 0;
    const std::size_t ranges = std::min(a.styles.size(), b.styles.size());
    for (std::size_t i = 0; i < ranges; ++i) {
        const auto& ra = a.formats[static_cast<qsizetype>(i)];
        const auto& rb = b.formats[static_cast<qsizetype>(i)];
        if (ra.start != rb.start || !(a.styles[i] == b.styles[i])) return std::min(changed, ra.start);
        if (ra.length != rb.length) return std::min(changed, ra.start + std::min(ra.length, rb.length));
    }
    if (a.styles.size() != b.styles.size()) {
        const auto& longer = a.styles.size() > b.styles.size() ? a : b;
        changed = std::min(changed, longer.formats[static_cast<qsizetype>(ranges)].start);
    }
    return changed;
}

}  // namespace

std::size_t WrappedParagraph::firstLineToRedo(int changed) const {
    // The line that holds the change, or the last one when text was added.
    std::size_t holding = lines_.size() - 1;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].end > changed) {
            holding = i;
            break;
        }
    }
    // The line before it ended where the next word did not fit, and that
    // word may run into the change; the one before that is settled, unless
    // its next word is cut by width alone across both lines, which then
    // still does not fit wherever the change puts its end.
    return holding >= 2 ? holding - 2 : 0;
}

std::optional<double> WrappedParagraph::set(const std::vector<StyledRun>& runs, double width,
                                            const PanelPalette* palette) {
    StyledParagraph next = styledParagraph(runs, palette);
    const bool rightToLeft = hasRightToLeft(next.text);
    std::size_t keep = 0;
    if (set_ && width == width_ && palette == palette_ && !rightToLeft && !hasRightToLeft_ &&
        !lines_.empty()) {
        const int changed = firstDifference(paragraph_, next);
        if (changed == paragraph_.text.size() && changed == next.text.size() &&
            paragraph_.styles.size() == next.styles.size()) {
            runs_ = runs;
            return std::nullopt;
        }
        keep = firstLineToRedo(changed);
    }

    const int from = keep > 0 ? lines_[keep].start : 0;
    const double top = keep > 0 ? lines_[keep].top : 0;
    lines_.resize(keep);
    std::shared_ptr<const QTextLayout> layout =
        layoutParagraph(next, from, width, top, keep > 0 ? Qt::LeftToRight : Qt::LayoutDirectionAuto);
    const QString& text = next.text;
    for (int i = 0; i < layout->lineCount(); ++i) {
        const QTextLine line = layout->lineAt(i);
        Line kept{layout,
                  i,
                  from + line.textStart(),
                  from + line.textStart() + line.textLength(),
                  line.y(),
                  line.height(),
                  line.naturalTextWidth(),
                  false};
        if (kept.end > 0 && kept.end <= text.size()) {
            const QChar last = text.at(kept.end - 1);
            kept.endsAtBreak = last == QLatin1Char('\n') || last == QChar::LineSeparator ||
                               last == QChar::ParagraphSeparator;
        }
        lines_.push_back(std::move(kept));
    }

    set_ = true;
    runs_ = runs;
    paragraph_ = std::move(next);
    hasRightToLeft_ = rightToLeft;
    width_ = width;
    palette_ = palette;
    summarize();
    return top;
}

void WrappedParagraph::summarize() {
    summary_ = {};
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        summary_.size.width = std::max(summary_.size.width, line.naturalWidth);
        summary_.size.height += line.height;
        if (i + 1 < lines_.size() && line.end > 0 && !line.endsAtBreak) summary_.wrapped = true;
    }
}

void WrappedParagraph::draw(QPainter& painter, QPointF origin, const QRectF& clip) const {
    for (const Line& line : lines_) {
        const double top = origin.y() + line.top;
        if (top + line.height < clip.top() || top > clip.bottom()) continue;
        line.layout->lineAt(line.index).draw(&painter, origin);
    }
}

}  // namespace sorvane
