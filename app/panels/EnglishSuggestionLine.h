#pragma once
// The one line of the English view, as styled runs: the typed text, the
// rewrite and its continuation with their accept-key hints, the waiting dots
// or the failure text. Plain logic: measured through TextMetrics.
#include <optional>
#include <vector>

#include "kit/panel/EnglishPanelModel.h"
#include "kit/panel/PanelText.h"

namespace sorvane::EnglishSuggestionLine {

inline constexpr double maximumWidth = 520;
inline constexpr double unlimitedWidth = 100000;
inline constexpr int predictionMinimumWords = 2;

std::vector<StyledRun> build(const std::optional<EnglishPanelModel>& model, int animationStep);

// The content size: the single-line width (plus one point so the last glyph
// is never clipped), capped at the maximum width, where the line wraps and
// grows in height instead.
Size desiredSize(const std::vector<StyledRun>& runs, const TextMetrics& metrics);

// The same size from one layout of the line at the maximum width: its widest
// line, its height, and whether a line was wrapped there. Unwrapped at the
// maximum width means unwrapped at any width, so one layout is enough.
Size desiredSize(Size atMaximumWidth, bool wrapped);

namespace Style {
TextStyle typed();
TextStyle normalized();
TextStyle continuation();
TextStyle hint();
TextStyle ellipsis();
TextStyle wordCountHint();
TextStyle dot(bool lit);
TextStyle failure();
}  // namespace Style

}  // namespace sorvane::EnglishSuggestionLine
