#include "kit/panel/UpdateToastTimeline.h"

#include <algorithm>

#include "platform/Text.h"

namespace sorvane {
namespace {

// Line breaks: newline, carriage return and the other line-break class
// characters (NEL, LS, PS, VT, FF).
bool isLineBreak(char32_t c) {
    return c == U'\n' || c == U'\r' || c == 0x0B || c == 0x0C || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// Horizontal white space: tabs and every space separator, not line breaks.
bool isHorizontalSpace(char32_t c) {
    return Text::isWhitespace(c) && !isLineBreak(c);
}

std::u32string trimHorizontal(std::u32string_view line) {
    std::size_t begin = 0, end = line.size();
    while (begin < end && isHorizontalSpace(line[begin])) ++begin;
    while (end > begin && isHorizontalSpace(line[end - 1])) --end;
    return std::u32string(line.substr(begin, end - begin));
}

std::string toUtf8(const std::u32string& text) {
    std::string out;
    for (char32_t c : text) out += Text::fromCodePoint(c);
    return out;
}

}  // namespace

UpdateToastTimeline::UpdateToastTimeline(MainQueue& queue, const Clock& clock, UpdateToastSurface& surface)
    : queue_(queue), clock_(clock), surface_(surface) {}

UpdateToastTimeline::~UpdateToastTimeline() {
    cancelDismissWork();
}

void UpdateToastTimeline::cancelDismissWork() {
    if (dismissWork_ != 0) queue_.cancel(dismissWork_);
    dismissWork_ = 0;
}

void UpdateToastTimeline::show() {
    ++generation_;
    cancelDismissWork();
    surface_.present();
    remaining_ = showTime;
    startCountdown();
}

void UpdateToastTimeline::startCountdown() {
    cancelDismissWork();
    countdownStartedAt_ = clock_.steadyNow();
    const std::uint64_t g = generation_;
    std::weak_ptr<int> alive = alive_;
    const auto delay = std::chrono::ceil<std::chrono::milliseconds>(remaining_);
    dismissWork_ = queue_.postAfter(delay, [this, alive, g] {
        if (alive.expired()) return;
        dismissWork_ = 0;
        if (g == generation_) dismiss();
    });
}

void UpdateToastTimeline::pointerEntered() {
    if (!surface_.isVisible() || !countdownStartedAt_) return;
    cancelDismissWork();
    const std::chrono::duration<double> elapsed = clock_.steadyNow() - *countdownStartedAt_;
    countdownStartedAt_.reset();
    remaining_ = std::max(remaining_ - elapsed, std::chrono::duration<double>(0));
}

void UpdateToastTimeline::pointerExited() {
    if (!surface_.isVisible() || countdownStartedAt_ || surface_.alpha() <= 0) return;
    remaining_ = std::max(remaining_, std::chrono::duration<double>(resumeAtLeast));
    startCountdown();
}

void UpdateToastTimeline::dismiss() {
    cancelDismissWork();
    countdownStartedAt_.reset();
    ++generation_;
    if (!surface_.isVisible()) return;
    const std::uint64_t g = generation_;
    std::weak_ptr<int> alive = alive_;
    surface_.fadeOut(fadeTime, [this, alive, g] {
        // A show during the fade raised the generation: leave that toast be.
        if (alive.expired() || g != generation_) return;
        surface_.orderOut();
    });
}

std::string UpdateToastTimeline::detail(const std::optional<std::string>& notes) {
    const std::string fallback(UpdateToastCopy::verified);
    if (!notes) return fallback;
    const std::u32string text = Text::codePoints(*notes);
    std::u32string line;
    for (std::size_t start = 0; start <= text.size();) {
        std::size_t end = start;
        while (end < text.size() && !isLineBreak(text[end])) ++end;
        line = trimHorizontal(std::u32string_view(text).substr(start, end - start));
        if (!line.empty()) break;
        start = end + 1;
    }
    if (line.empty()) return fallback;
    if (line.front() == U'·' || line.front() == U'•' || line.front() == U'・') {
        line.erase(0, 1);
    } else if (line.starts_with(U"- ") || line.starts_with(U"* ")) {
        line.erase(0, 2);
    }
    line = trimHorizontal(line);
    if (line.empty()) return fallback;
    return Text::prefixCharacters(toUtf8(line), 200);
}

}  // namespace sorvane
