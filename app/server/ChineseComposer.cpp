#include "app/server/ChineseComposer.h"

#include <algorithm>
#include <cstdlib>

#include "platform/SorvaneLog.h"
#include "platform/Text.h"

namespace sorvane {
namespace {

bool isPrintableAscii(std::uint32_t c) {
    return c >= 0x21 && c <= 0x7E;
}
bool isAsciiDigit(std::uint32_t c) {
    return c >= '0' && c <= '9';
}
bool isAsciiLetter(std::uint32_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The digit of a main-row or keypad digit key.
std::optional<int> digitValue(std::uint32_t keysym) {
    if (isAsciiDigit(keysym)) return static_cast<int>(keysym - '0');
    if (keysym >= KeySym::keypadDigit(0) && keysym <= KeySym::keypadDigit(9))
        return static_cast<int>(keysym - KeySym::keypadDigit(0));
    return std::nullopt;
}

std::size_t clampedOffset(int offset, std::string_view text) {
    if (offset <= 0) return 0;
    return std::min(static_cast<std::size_t>(offset), text.size());
}

// The highlight as an index of the page (librime may report one past it).
int currentIndex(const RimeContextSnapshot& context) {
    const int count = static_cast<int>(context.candidates.size());
    return std::clamp(context.highlightedIndex, 0, count - 1);
}

// Letters as the engine spells them: no blanks, no syllable apostrophes, and
// "ü" typed as "v".
std::string spelling(std::string_view text) {
    std::string out;
    for (const auto& character : Text::characters(text)) {
        if (character == "'" || Text::isWhitespaceCharacter(character)) continue;
        out += Text::canonicallyEqual(character, "\u00FC") ? std::string("v") : character;
    }
    return out;
}

}  // namespace

ChineseComposer::ChineseComposer(RimeEngine& engine, ComposerHost& host, CandidatePanelPresenting& panel)
    : engine_(engine), host_(host), panel_(panel) {}

bool ChineseComposer::ensureSession() {
    if (engine_.hasSession()) return true;
    auto created = engine_.createSession();
    if (created) return true;
    if (!loggedSessionFailure_) {
        SorvaneLog::log("[Sorvane] rime create_session failed: " + created.error().description());
        loggedSessionFailure_ = true;
    }
    return false;
}

bool ChineseComposer::handleKey(std::uint32_t keysym, std::uint32_t mask, MenuCheck menu) {
    if (!ensureSession()) return false;
    const bool plain = (mask & modifierBits) == 0;
    if (plain && panelShown_ && handleLayoutKey(keysym, mask)) return true;
    // A preedit without candidates (raw letters) has nothing for Space to
    // pick; Return makes the engine commit it as typed.
    if (keysym == KeySym::space && plain && hasMarkedText_ && !panelShown_) {
        bool taken = engine_.processKey(KeySym::returnKey, 0);
        sync();
        return taken;
    }
    if (menu == MenuCheck::confirm) confirmPunctuationMenu(keysym, mask);
    bool taken = engine_.processKey(keysym, mask);
    sync();
    return taken;
}

bool ChineseComposer::handleLayoutKey(std::uint32_t keysym, std::uint32_t mask) {
    if (layout_ == ChinesePanelLayout::horizontal) {
        // The row shows the first six of a page that may hold more; the
        // number keys of the others would pick what the user cannot see.
        if (auto digit = digitValue(keysym)) return *digit == 0 || *digit > gridWidth;
        if (keysym != KeySym::down) return false;
        layout_ = ChinesePanelLayout::vertical;
        refreshPanel();
        return true;
    }
    switch (keysym) {
        case KeySym::left:
            moveGridSelection(-1, 0, mask);
            return true;
        case KeySym::right:
            moveGridSelection(1, 0, mask);
            return true;
        case KeySym::up:
            moveGridSelection(0, -1, mask);
            return true;
        case KeySym::down:
            moveGridSelection(0, 1, mask);
            return true;
        default:
            break;
    }
    if (auto digit = digitValue(keysym)) {
        selectInFocusedRow(*digit - 1);
        return true;
    }
    return false;
}

void ChineseComposer::moveGridSelection(int horizontal, int vertical, std::uint32_t mask) {
    auto context = engine_.context();
    if (!context || context->candidates.empty()) return;
    const int count = static_cast<int>(context->candidates.size());
    const int current = currentIndex(*context);
    const int column = current % gridWidth;
    std::optional<int> target;
    if (horizontal < 0 && column != 0) target = current - 1;
    if (horizontal > 0 && column < gridWidth - 1 && current + 1 < count) target = current + 1;
    if (vertical < 0 && current >= gridWidth) target = current - gridWidth;
    if (vertical > 0 && current + gridWidth < count) target = current + gridWidth;
    if (!target) return;
    // The engine's highlight is linear: a row up or down is six single steps.
    const std::uint32_t key = *target > current ? KeySym::down : KeySym::up;
    for (int step = std::abs(*target - current); step > 0; --step) engine_.processKey(key, mask);
    sync();
}

void ChineseComposer::selectInFocusedRow(int column) {
    if (column < 0 || column >= gridWidth) return;
    auto context = engine_.context();
    if (!context || context->candidates.empty()) return;
    const int index = currentIndex(*context) / gridWidth * gridWidth + column;
    if (index >= static_cast<int>(context->candidates.size())) return;
    engine_.selectCandidateOnPage(index);
    sync();
}

void ChineseComposer::forwardModifier(RimeKeyEvent event) {
    if (!ensureSession()) return;
    engine_.processKey(event);
    sync();
}

bool ChineseComposer::isAsciiMode() {
    if (!ensureSession()) return false;
    auto status = engine_.status();
    return status && status->isAsciiMode;
}

void ChineseComposer::setAsciiMode(bool on) {
    if (!ensureSession()) return;
    engine_.setOption("ascii_mode", on);
    sync();
}

std::optional<char32_t> ChineseComposer::pendingPunctuationKey() {
    if (!panelShown_) return std::nullopt;
    // The raw input is one string; the context is a snapshot of the whole
    // menu. Most keys end here, after letters.
    auto raw = engine_.rawInput();
    if (!raw || raw->empty()) return std::nullopt;
    const auto last = static_cast<unsigned char>(raw->back());
    if (!isPrintableAscii(last) || isAsciiLetter(last) || isAsciiDigit(last) || last == '\'')
        return std::nullopt;
    auto context = engine_.context();
    if (!context || context->candidates.empty()) return std::nullopt;
    const std::string& preedit = context->preedit;
    const std::size_t start = clampedOffset(context->selStart, preedit);
    const std::size_t end = clampedOffset(context->selEnd, preedit);
    if (start >= end) return std::nullopt;
    // Letters in the selection mean the menu is pinyin, not punctuation.
    for (std::size_t i = start; i < end; ++i)
        if (preedit[i] >= 'a' && preedit[i] <= 'z') return std::nullopt;
    return static_cast<char32_t>(last);
}

bool ChineseComposer::confirmPunctuationMenu(std::uint32_t before, std::uint32_t mask) {
    if ((mask & modifierBits) != 0) return false;
    // Digits pick from the menu and the same key again cycles it: both go to
    // the engine as they are.
    if (!isPrintableAscii(before) || isAsciiDigit(before)) return false;
    auto pending = pendingPunctuationKey();
    if (!pending || *pending == before) return false;
    engine_.processKey(KeySym::space, 0);
    sync();
    return true;
}

bool ChineseComposer::beginRawLetters() {
    if (!ensureSession()) return false;
    if (!isComposing() || isAsciiMode()) return false;
    // A lone Shift_L tap is the engine's inline-ASCII switch: the composition
    // stays and takes the next letters as typed.
    engine_.processKey(KeySym::shiftL, RimeModifier::shift);
    engine_.processKey(KeySym::shiftL, RimeModifier::release);
    sync();
    return isComposing() && isAsciiMode();
}

void ChineseComposer::commitComposition() {
    if (!ensureSession()) return;
    engine_.commitComposition();
    sync();
}

void ChineseComposer::clearComposition() {
    if (!ensureSession()) return;
    engine_.clearComposition();
    engine_.commit();  // dropped: clearing inserts nothing
    layout_ = ChinesePanelLayout::horizontal;
    if (hasMarkedText_) clearMarkedText();
    hidePanel();
}

std::string ChineseComposer::takeComposition() {
    if (!ensureSession()) return {};
    if (pendingPunctuationKey()) {
        engine_.processKey(KeySym::space, 0);
        sync();
    }
    if (!isComposing()) return {};
    auto context = engine_.context();
    if (!context) return {};
    // In the engine's ASCII mode (raw letters) nothing counts as converted.
    const int converted = isAsciiMode() ? 0 : context->selStart;
    auto [head, tail] = splitComposition(context->preedit, converted);
    const std::string raw = engine_.rawInput().value_or(std::string());
    if (!head.empty())
        tail = rawRemainder(raw, tail);
    else
        tail = raw.empty() ? Text::sanitizedUtf8(context->preedit) : raw;
    clearComposition();
    if (!head.empty())
        if (auto* client = host_.client()) client->insertText(head);
    return tail;
}

void ChineseComposer::compose(std::string_view text) {
    if (!ensureSession()) return;
    if (auto status = engine_.status(); status && status->isAsciiMode) engine_.setOption("ascii_mode", false);
    for (char32_t scalar : Text::codePoints(text)) engine_.processKey(static_cast<std::uint32_t>(scalar), 0);
    sync();
}

bool ChineseComposer::canCompose(std::string_view text) {
    for (char32_t scalar : Text::codePoints(text))
        if (scalar < U'a' || scalar > U'z') return false;
    return true;
}

void ChineseComposer::sync() {
    if (auto text = engine_.commit(); text && !text->empty()) {
        if (hasMarkedText_) clearMarkedText();
        if (auto* client = host_.client()) client->insertText(*text);
        layout_ = ChinesePanelLayout::horizontal;
    }
    auto context = engine_.context();
    if (context && !context->isEmpty()) {
        host_.setMarkedText(markedText(*context), utf16Offset(context->cursorPos, context->preedit));
        hasMarkedText_ = true;
        if (context->candidates.empty())
            hidePanel();
        else
            present(panelModel(*context));
        return;
    }
    layout_ = ChinesePanelLayout::horizontal;
    if (hasMarkedText_) clearMarkedText();
    hidePanel();
}

void ChineseComposer::refreshPanel() {
    auto context = engine_.context();
    if (!context || context->candidates.empty()) return;
    present(panelModel(*context));
}

ChinesePanelModel ChineseComposer::panelModel(const RimeContextSnapshot& context) const {
    std::vector<ChineseCandidate> candidates;
    candidates.reserve(context.candidates.size());
    for (std::size_t i = 0; i < context.candidates.size(); ++i) {
        const int index = static_cast<int>(i);
        std::string label = layout_ == ChinesePanelLayout::vertical ? std::to_string(index % gridWidth + 1)
                                                                    : context.label(index);
        candidates.push_back({std::move(label), context.candidates[i].text, context.candidates[i].comment});
    }
    return ChinesePanelModel(context.preedit, std::move(candidates), context.highlightedIndex, context.pageNo,
                             context.isLastPage, layout_);
}

void ChineseComposer::present(const ChinesePanelModel& model) {
    // Without a client there is no caret to stand by; panelShown_ is still
    // set so that the next clear orders the panel out.
    if (auto* client = host_.client()) {
        panel_.dismissModeIndicator();
        panel_.show(PanelContent::chinese(model), client->caretRect(0).value_or(Rect{}));
    }
    panelShown_ = true;
}

void ChineseComposer::clearMarkedText() {
    if (auto* client = host_.client()) client->setMarkedText({}, {0, 0}, {});
    hasMarkedText_ = false;
}

void ChineseComposer::hidePanel() {
    if (!panelShown_) return;
    if (panel_.isVisible()) panel_.hide();
    panelShown_ = false;
}

MarkedText ChineseComposer::markedText(const RimeContextSnapshot& context) const {
    MarkedText marked{context.preedit, {}};
    const std::string& preedit = context.preedit;
    if (preedit.empty()) return marked;
    const int total = static_cast<int>(Text::utf16Length(preedit));
    const std::size_t splitByte =
        Text::codePointBoundaryAtOrBefore(preedit, clampedOffset(context.selStart, preedit));
    const int split = std::min(total, static_cast<int>(Text::utf16Offset(preedit, splitByte)));
    if (split > 0)
        if (auto run = host_.markForStyle(MarkedTextStyle::convertedText, {0, split}))
            marked.styleRuns.push_back(*run);
    if (split < total)
        if (auto run = host_.markForStyle(MarkedTextStyle::selectedRawText, {split, total - split}))
            marked.styleRuns.push_back(*run);
    return marked;
}

int ChineseComposer::utf16Offset(int utf8Offset, std::string_view text) {
    if (utf8Offset <= 0) return 0;
    const auto offset = static_cast<std::size_t>(utf8Offset);
    const int whole = static_cast<int>(Text::utf16Length(text));
    if (offset >= text.size() || Text::codePointBoundaryAtOrBefore(text, offset) != offset) return whole;
    return static_cast<int>(Text::utf16Offset(text, offset));
}

std::pair<std::string, std::string> ChineseComposer::splitComposition(std::string_view text, int utf8Offset) {
    const std::size_t split = Text::codePointBoundaryAtOrBefore(text, clampedOffset(utf8Offset, text));
    return {Text::sanitizedUtf8(text.substr(0, split)), Text::sanitizedUtf8(text.substr(split))};
}

std::string ChineseComposer::rawRemainder(std::string_view raw, std::string_view shown) {
    const std::string target = spelling(shown);
    if (target.empty()) return {};
    const auto rawCharacters = Text::characters(raw);
    const std::size_t targetCount = Text::characterCount(target);
    for (std::size_t k = targetCount; k <= rawCharacters.size(); ++k) {
        std::string tail;
        for (std::size_t i = rawCharacters.size() - k; i < rawCharacters.size(); ++i)
            tail += rawCharacters[i];
        if (spelling(tail) == target) return tail;
    }
    return target;
}

}  // namespace sorvane
