#include "app/panels/EnglishSuggestionLine.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/Text.h"
#include "prediction/PredictionText.h"

namespace sorvane::EnglishSuggestionLine {

namespace Style {
TextStyle typed() {
    return {{14, FontWeight::regular}, {ColorRole::secondaryLabel}};
}
TextStyle normalized() {
    return {{14, FontWeight::regular}, {ColorRole::label}};
}
TextStyle continuation() {
    return {{14, FontWeight::regular}, {ColorRole::controlAccent}};
}
TextStyle hint() {
    return {{11, FontWeight::medium}, {ColorRole::secondaryLabel}};
}
TextStyle ellipsis() {
    return {{14, FontWeight::regular}, {ColorRole::secondaryLabel}};
}
TextStyle wordCountHint() {
    return {{11, FontWeight::medium}, {ColorRole::tertiaryLabel}};
}
TextStyle dot(bool lit) {
    return {{11, FontWeight::medium}, {lit ? ColorRole::controlAccent : ColorRole::quaternaryLabel}};
}
TextStyle failure() {
    return {{11, FontWeight::medium}, {ColorRole::systemOrange}};
}
}  // namespace Style

namespace {

constexpr const char* kNoBreakSpace = "\u00A0";
constexpr const char* kThinSpace = "\u2009";
const std::string kTabHint = std::string("⇥") + kNoBreakSpace;
const std::string kShiftTabHint = std::string("⇧⇥") + kNoBreakSpace;

void append(std::vector<StyledRun>& runs, std::string text, const TextStyle& style) {
    if (!text.empty()) runs.push_back({std::move(text), style});
}

std::vector<StyledRun> waitingLine() {
    std::vector<StyledRun> runs;
    append(runs, kTabHint, Style::hint());
    append(runs, "…", Style::ellipsis());
    return runs;
}

std::vector<StyledRun> typingLine(const std::string& buffer) {
    std::vector<StyledRun> runs;
    append(runs, buffer, Style::typed());
    if (PredictionText::hasAtLeastWords(buffer, 2)) return runs;
    const std::string lead = buffer.empty() ? "" : "   ";
    append(runs, lead + "继续输入，" + std::to_string(predictionMinimumWords) + " 个词后开始预测",
           Style::wordCountHint());
    return runs;
}

std::vector<StyledRun> requestingLine(const std::string& buffer, int animationStep) {
    std::vector<StyledRun> runs;
    for (int i = 0; i < 3; ++i) append(runs, std::string("●") + kThinSpace, Style::dot(i == animationStep));
    if (!buffer.empty()) {
        append(runs, "  ", Style::hint());
        append(runs, buffer, Style::typed());
    }
    return runs;
}

std::string withoutLeadingWhitespace(const std::string& text) {
    std::size_t start = 0;
    for (const std::string& character : Text::characters(text)) {
        if (!Text::isWhitespaceCharacter(character)) break;
        start += character.size();
    }
    return text.substr(start);
}

std::vector<StyledRun> suggestionLine(const EnglishPanelModel& model) {
    const std::string& normalized = model.normalized();
    const std::string& continuation = model.continuation();
    if (normalized.empty() && continuation.empty()) {
        if (model.buffer().empty()) return waitingLine();
        std::vector<StyledRun> runs;
        append(runs, model.buffer(), Style::typed());
        return runs;
    }

    const bool tabTakesRewrite = model.acceptKeys() == AcceptKeys::tabNormalized;
    const std::string& rewriteHint = tabTakesRewrite ? kTabHint : kShiftTabHint;
    const std::string& continuationHint = tabTakesRewrite ? kShiftTabHint : kTabHint;

    std::vector<StyledRun> runs;
    if (!normalized.empty()) {
        append(runs, rewriteHint, Style::hint());
        append(runs, normalized, Style::normalized());
    }
    const std::string further = withoutLeadingWhitespace(continuation);
    if (!further.empty()) {
        append(runs, (normalized.empty() ? "" : " ") + continuationHint, Style::hint());
        append(runs, further, Style::continuation());
    }
    return runs;
}

std::vector<StyledRun> failedLine(const std::string& buffer, const std::string& reason) {
    std::vector<StyledRun> runs;
    if (!buffer.empty()) {
        append(runs, buffer, Style::typed());
        append(runs, "   ", Style::hint());
    }
    append(runs, std::string("⚠") + kNoBreakSpace + reason, Style::failure());
    return runs;
}

}  // namespace

std::vector<StyledRun> build(const std::optional<EnglishPanelModel>& model, int animationStep) {
    if (!model) return waitingLine();
    switch (model->phase().kind()) {
        case EnglishPanelPhase::Kind::typing:
            return typingLine(model->buffer());
        case EnglishPanelPhase::Kind::requesting:
            return requestingLine(model->buffer(), animationStep);
        case EnglishPanelPhase::Kind::suggestion:
            return suggestionLine(*model);
        case EnglishPanelPhase::Kind::failed:
            return failedLine(model->buffer(), model->phase().reason());
    }
    return waitingLine();
}

Size desiredSize(const std::vector<StyledRun>& runs, const TextMetrics& metrics) {
    Size measured = metrics.measureWrapped(runs, unlimitedWidth);
    double width = std::ceil(measured.width) + 1;
    if (width > maximumWidth) {
        width = maximumWidth;
        measured = metrics.measureWrapped(runs, maximumWidth);
    }
    return {width, std::ceil(measured.height)};
}

Size desiredSize(Size atMaximumWidth, bool wrapped) {
    const double width = wrapped ? maximumWidth : std::min(maximumWidth, std::ceil(atMaximumWidth.width) + 1);
    return {width, std::ceil(atMaximumWidth.height)};
}

}  // namespace sorvane::EnglishSuggestionLine
