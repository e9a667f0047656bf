#include "kit/panel/ChineseCandidateLayout.h"

#include <algorithm>
#include <cmath>

namespace sorvane {

namespace ChineseCandidateStyle {
TextStyle preedit() {
    return {{12, FontWeight::regular}, {ColorRole::secondaryLabel}};
}
TextStyle label(bool highlighted) {
    return {{12, FontWeight::regular},
            {highlighted ? ColorRole::alternateSelectedText : ColorRole::secondaryLabel}};
}
TextStyle text(bool highlighted) {
    return {{15, FontWeight::regular}, {highlighted ? ColorRole::alternateSelectedText : ColorRole::label}};
}
TextStyle comment(bool highlighted) {
    return {
        {10, FontWeight::regular},
        highlighted ? ColorSpec{ColorRole::alternateSelectedText, 0.8} : ColorSpec{ColorRole::tertiaryLabel}};
}
TextStyle pageMark() {
    return {{11, FontWeight::regular}, {ColorRole::tertiaryLabel}};
}
}  // namespace ChineseCandidateStyle

namespace {

namespace S = ChineseCandidateStyle;

constexpr Size kEmptySize{60, 21};
constexpr double kMinimumEmptyWidth = 60;
constexpr double kPreeditGap = 3;
constexpr double kLabelGap = 3;
constexpr double kCommentGap = 3;
constexpr double kRowStartX = 5;
constexpr double kRowItemPadding = 10;  // highlight margin, 5 either side
constexpr double kRowItemSpacing = 12;
constexpr double kMarkGap = 6;
constexpr double kRowTopGap = 2;
constexpr double kGridMinimumColumnWidth = 52;
constexpr double kGridCellPaddingX = 10;
constexpr double kGridCellPaddingY = 4;
constexpr double kGridColumnSpacing = 14;
constexpr double kGridRowSpacing = 6;
constexpr double kGridMarksGap = 4;
constexpr double kMarksRightInset = 5;

// Every measurement is rounded up to a whole point, so that sums of widths
// land on pixel boundaries and the panel never clips a glyph.
LayoutPiece measured(std::string text, TextStyle style, const TextMetrics& metrics) {
    const Size size = metrics.measure(text, style.font);
    return {std::move(text), style, {0, 0, std::ceil(size.width), std::ceil(size.height)}};
}

// Halves go away from zero, the usual rounding of the drawing code.
double centred(double outer, double inner) {
    return std::round((outer - inner) * 0.5);
}

void moveBy(std::vector<LayoutPiece>& pieces, double dx, double dy) {
    for (LayoutPiece& piece : pieces) piece.rect = piece.rect.offsetBy(dx, dy);
}

double tallest(const std::vector<LayoutPiece>& pieces) {
    double height = 0;
    for (const LayoutPiece& piece : pieces) height = std::max(height, piece.rect.height);
    return height;
}

void centreVertically(std::vector<LayoutPiece>& pieces, double height) {
    for (LayoutPiece& piece : pieces) piece.rect.y += centred(height, piece.rect.height);
}

bool hasComment(const ChineseCandidate& candidate) {
    return candidate.comment && !candidate.comment->empty();
}

void layoutRow(const ChinesePanelModel& model, double top, double preeditWidth, const TextMetrics& metrics,
               ChineseCandidateLayout& layout) {
    double x = kRowStartX;
    double rowHeight = 0;
    if (model.pageNo() >= 1) {
        layout.previous = measured(std::string(S::previousMark), S::pageMark(), metrics);
        x = layout.previous->rect.width + kMarkGap + kRowStartX;
        rowHeight = layout.previous->rect.height;
    }

    const int count = std::min<int>(static_cast<int>(model.candidates().size()), S::rowCandidateLimit);
    for (int i = 0; i < count; ++i) {
        const ChineseCandidate& candidate = model.candidates()[i];
        const bool highlighted = i == model.highlightedIndex();
        LayoutItem item;
        item.isHighlighted = highlighted;

        LayoutPiece label = measured(candidate.label + ".", S::label(highlighted), metrics);
        label.rect.x = x;
        LayoutPiece text = measured(candidate.text, S::text(highlighted), metrics);
        text.rect.x = x + label.rect.width + kLabelGap;
        double width = label.rect.width + kLabelGap + text.rect.width;
        item.pieces = {std::move(label), std::move(text)};
        if (hasComment(candidate)) {
            LayoutPiece comment = measured(*candidate.comment, S::comment(highlighted), metrics);
            comment.rect.x = x + width + kCommentGap;
            width += kCommentGap + comment.rect.width;
            item.pieces.push_back(std::move(comment));
        }

        const double height = tallest(item.pieces);
        centreVertically(item.pieces, height);
        item.highlightRect = {x - kRowItemPadding / 2, -2, width + kRowItemPadding, height + 4};
        rowHeight = std::max(rowHeight, height);
        x += width + kRowItemPadding + kRowItemSpacing;
        layout.items.push_back(std::move(item));
    }

    double rowEnd = x - kRowItemSpacing;
    if (!model.isLastPage()) {
        layout.next = measured(std::string(S::nextMark), S::pageMark(), metrics);
        layout.next->rect.x = rowEnd + kMarkGap;
        rowEnd = layout.next->rect.maxX();
        rowHeight = std::max(rowHeight, layout.next->rect.height);
    }

    const double rowTop = top + kRowTopGap;
    for (LayoutItem& item : layout.items) {
        moveBy(item.pieces, 0, rowTop);
        item.highlightRect = item.highlightRect.offsetBy(0, rowTop);
    }
    for (auto* mark : {&layout.previous, &layout.next}) {
        if (*mark) (*mark)->rect.y = rowTop + centred(rowHeight, (*mark)->rect.height);
    }
    layout.size = {std::ceil(std::max(preeditWidth, rowEnd)), rowTop + rowHeight + kRowTopGap};
}

struct Cell {
    std::vector<LayoutPiece> pieces;
    double width = 0;
    double height = 0;
    bool isHighlighted = false;
};

// Every cell's text starts after the widest label, so the texts of a
// column stay aligned whether or not their row shows its labels.
double widestLabel(const std::vector<ChineseCandidate>& candidates, const TextMetrics& metrics) {
    double labelWidth = 0;
    for (const ChineseCandidate& candidate : candidates) {
        labelWidth =
            std::max(labelWidth, std::ceil(metrics.measure(candidate.label, S::label(false).font).width));
    }
    return labelWidth;
}

std::vector<Cell> measureCells(const ChinesePanelModel& model, double textX, const TextMetrics& metrics) {
    const auto& candidates = model.candidates();
    const int count = static_cast<int>(candidates.size());
    const int highlightedRow = model.highlightedIndex() / S::gridColumns;

    std::vector<Cell> cells;
    cells.reserve(candidates.size());
    for (int i = 0; i < count; ++i) {
        const ChineseCandidate& candidate = candidates[i];
        Cell cell;
        cell.isHighlighted = i == model.highlightedIndex();
        if (model.highlightedIndex() >= 0 && i / S::gridColumns == highlightedRow) {
            cell.pieces.push_back(measured(candidate.label, S::label(cell.isHighlighted), metrics));
        }
        LayoutPiece text = measured(candidate.text, S::text(cell.isHighlighted), metrics);
        text.rect.x = textX;
        cell.width = text.rect.maxX();
        cell.pieces.push_back(std::move(text));
        if (hasComment(candidate)) {
            LayoutPiece comment = measured(*candidate.comment, S::comment(cell.isHighlighted), metrics);
            comment.rect.x = cell.width + kCommentGap;
            cell.width = comment.rect.maxX();
            cell.pieces.push_back(std::move(comment));
        }
        cell.height = tallest(cell.pieces);
        centreVertically(cell.pieces, cell.height);
        cells.push_back(std::move(cell));
    }
    return cells;
}

// The page marks sit right-aligned below the grid.
void placeGridMarks(const ChinesePanelModel& model, double contentWidth, double gridBottom,
                    const TextMetrics& metrics, ChineseCandidateLayout& layout) {
    if (model.pageNo() >= 1) layout.previous = measured(std::string(S::previousMark), S::pageMark(), metrics);
    if (!model.isLastPage()) layout.next = measured(std::string(S::nextMark), S::pageMark(), metrics);
    if (!layout.previous && !layout.next) {
        layout.size = {contentWidth, gridBottom};
        return;
    }

    const double marksY = gridBottom + kGridMarksGap;
    double marksWidth = 0;
    double marksHeight = 0;
    if (layout.previous && layout.next) {
        marksWidth = layout.previous->rect.width + layout.next->rect.width + kMarkGap;
    } else {
        marksWidth = (layout.previous ? layout.previous : layout.next)->rect.width;
    }
    double x = std::max(0.0, contentWidth - kMarksRightInset - marksWidth);
    for (auto* mark : {&layout.previous, &layout.next}) {
        if (!*mark) continue;
        (*mark)->rect.x = x;
        (*mark)->rect.y = marksY;
        x += (*mark)->rect.width + kMarkGap;
        marksHeight = std::max(marksHeight, (*mark)->rect.height);
    }
    layout.size = {contentWidth, marksY + marksHeight};
}

void layoutGrid(const ChinesePanelModel& model, double top, double preeditWidth, const TextMetrics& metrics,
                ChineseCandidateLayout& layout) {
    const int count = static_cast<int>(model.candidates().size());
    const double textX = widestLabel(model.candidates(), metrics) + kLabelGap;
    std::vector<Cell> cells = measureCells(model, textX, metrics);

    const int columns = std::max(1, std::min(S::gridColumns, count));
    const int rows = (count + columns - 1) / columns;
    std::vector<double> columnWidths(columns, kGridMinimumColumnWidth);
    std::vector<double> rowHeights(rows, 0);
    for (int i = 0; i < count; ++i) {
        columnWidths[i % columns] = std::max(columnWidths[i % columns], cells[i].width + kGridCellPaddingX);
        rowHeights[i / columns] = std::max(rowHeights[i / columns], cells[i].height + kGridCellPaddingY);
    }

    double gridWidth = kGridColumnSpacing * (columns - 1);
    for (double width : columnWidths) gridWidth += width;
    const double contentWidth = std::max(preeditWidth, gridWidth);

    std::vector<double> columnX(columns, 0);
    for (int c = 1; c < columns; ++c) columnX[c] = columnX[c - 1] + columnWidths[c - 1] + kGridColumnSpacing;
    std::vector<double> rowY(rows, top);
    for (int r = 1; r < rows; ++r) rowY[r] = rowY[r - 1] + rowHeights[r - 1] + kGridRowSpacing;

    for (int i = 0; i < count; ++i) {
        const int row = i / columns;
        const int column = i % columns;
        Cell& cell = cells[i];
        LayoutItem item;
        item.pieces = std::move(cell.pieces);
        moveBy(item.pieces, columnX[column] + kGridCellPaddingX / 2,
               rowY[row] + centred(rowHeights[row], cell.height));
        item.highlightRect = {columnX[column], rowY[row], columnWidths[column], rowHeights[row]};
        item.isHighlighted = cell.isHighlighted;
        layout.items.push_back(std::move(item));
    }

    if (model.highlightedIndex() >= 0 && model.highlightedIndex() < count) {
        const int row = model.highlightedIndex() / columns;
        layout.focusedRowRect = Rect{0, rowY[row], gridWidth, rowHeights[row]};
    }

    placeGridMarks(model, contentWidth, rowY.back() + rowHeights.back(), metrics, layout);
}

}  // namespace

ChineseCandidateLayout layoutChineseCandidates(const std::optional<ChinesePanelModel>& model,
                                               const TextMetrics& metrics) {
    ChineseCandidateLayout layout;
    if (!model) {
        layout.size = kEmptySize;
        return layout;
    }

    double top = 0;
    if (!model->preedit().empty()) {
        layout.preedit = measured(model->preedit(), S::preedit(), metrics);
        top = layout.preedit->rect.height + kPreeditGap;
    }
    const double preeditWidth = layout.preedit ? layout.preedit->rect.width : 0;

    if (model->candidates().empty()) {
        layout.size = layout.preedit
                          ? Size{std::max(kMinimumEmptyWidth, preeditWidth), layout.preedit->rect.height}
                          : kEmptySize;
        return layout;
    }

    if (model->layout() == ChinesePanelLayout::horizontal) {
        layoutRow(*model, top, preeditWidth, metrics, layout);
    } else {
        layoutGrid(*model, top, preeditWidth, metrics, layout);
    }
    return layout;
}

}  // namespace sorvane
