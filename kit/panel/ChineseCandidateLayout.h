#pragma once
// Where each string of a Chinese candidate page goes, in the view's y-down
// coordinates, computed from text measurement alone. The view keeps it from
// the panel's sizing to its drawing.
#include <optional>
#include <vector>

#include "kit/panel/PanelContent.h"
#include "kit/panel/PanelText.h"
#include "platform/Geometry.h"

namespace sorvane {

struct LayoutPiece {
    std::string text;
    TextStyle style;
    Rect rect;  // the origin is where the text is drawn
    bool operator==(const LayoutPiece&) const = default;
};

struct LayoutItem {
    std::vector<LayoutPiece> pieces;  // label, text, comment; only the text always
    Rect highlightRect;
    bool isHighlighted = false;
};

struct ChineseCandidateLayout {
    Size size;
    std::optional<LayoutPiece> preedit;
    std::vector<LayoutItem> items;
    std::optional<Rect> focusedRowRect;  // grid only
    std::optional<LayoutPiece> previous;
    std::optional<LayoutPiece> next;
};

namespace ChineseCandidateStyle {
TextStyle preedit();
TextStyle label(bool highlighted);
TextStyle text(bool highlighted);
TextStyle comment(bool highlighted);
TextStyle pageMark();
inline constexpr std::string_view previousMark = "‹";
inline constexpr std::string_view nextMark = "›";
inline constexpr int rowCandidateLimit = 6;
inline constexpr int gridColumns = 6;
}  // namespace ChineseCandidateStyle

ChineseCandidateLayout layoutChineseCandidates(const std::optional<ChinesePanelModel>& model,
                                               const TextMetrics& metrics);

}  // namespace sorvane
