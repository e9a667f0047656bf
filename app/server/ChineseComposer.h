#pragma once
// Drives the process's one RIME session for one input controller: keys go to
// the engine, and after each key the commit and the context come back as
// inserted text, marked text and the Chinese candidate panel. It also owns the
// two candidate layouts (one row, or a grid of six columns entered with Down),
// the confirmation of a pending punctuation menu, the raw-letters switch, and
// the hand-over of a composition to the English mode and back.
//
// All composers share the one engine and its one session. Main thread only.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "app/panels/CandidatePanelPresenting.h"
#include "app/server/ComposerHost.h"
#include "engine/RimeEngine.h"
#include "kit/panel/ChinesePanelModel.h"

namespace sorvane {

class ChineseComposer final {
public:
    // Columns of the candidate grid.
    static constexpr int gridWidth = 6;
    // Control, Alt, Super and Release; Shift and Caps Lock do not count.
    static constexpr std::uint32_t modifierBits =
        RimeModifier::control | RimeModifier::alt | RimeModifier::superKey | RimeModifier::release;

    // The engine outlives every controller; the host owns this composer.
    ChineseComposer(RimeEngine& engine, ComposerHost& host,
                    CandidatePanelPresenting& panel = CandidatePanelPresenting::shared());
    ChineseComposer(const ChineseComposer&) = delete;
    ChineseComposer& operator=(const ChineseComposer&) = delete;

    // Whether handleKey still has to look for a pending punctuation menu, or
    // its caller did that for this key already.
    enum class MenuCheck { confirm, alreadyDone };

    // One key of the Chinese road; true when it was taken.
    bool handleKey(std::uint32_t keysym, std::uint32_t mask, MenuCheck menu = MenuCheck::confirm);
    // A modifier press or release for the engine's own mode switching.
    void forwardModifier(RimeKeyEvent event);
    // The engine's ASCII mode; false without a session or status.
    bool isAsciiMode();
    void setAsciiMode(bool on);
    // Takes the highlighted entry of a pending punctuation menu when the user
    // types on with another printable, non-digit key. True when it did.
    bool confirmPunctuationMenu(std::uint32_t before, std::uint32_t mask);
    // Mid-composition, switches the engine to ASCII inside the composition so
    // that letters go on raw. True when that is now the case.
    bool beginRawLetters();
    void commitComposition();
    // Drops the composition without inserting anything.
    void clearComposition();
    // For a switch to English: inserts the converted head of the composition
    // and returns the rest as raw letters.
    std::string takeComposition();
    // Types the text into the engine as pinyin (leaving its ASCII mode).
    void compose(std::string_view text);
    // Every scalar is "a" to "z".
    static bool canCompose(std::string_view text);

    bool hasMarkedText() const { return hasMarkedText_; }
    bool panelShown() const { return panelShown_; }
    bool isComposing() const { return hasMarkedText_ || panelShown_; }
    ChinesePanelLayout layout() const { return layout_; }

    // The preedit with its converted part (before the selection start) in the
    // converted-text style and the rest in the selected-raw-text style.
    MarkedText markedText(const RimeContextSnapshot& context) const;
    // UTF-16 offset of a UTF-8 byte offset; one inside a character, at or past
    // the end maps to the end.
    static int utf16Offset(int utf8Offset, std::string_view text);
    // Splits a composition at a byte offset moved back to a code-point
    // boundary, so neither half ever holds a broken character.
    static std::pair<std::string, std::string> splitComposition(std::string_view text, int utf8Offset);
    // The shortest tail of the raw input that spells the shown text (ignoring
    // blanks and apostrophes, "ü" as "v"); the shown text's letters when none
    // does.
    static std::string rawRemainder(std::string_view raw, std::string_view shown);

private:
    bool ensureSession();
    // True when the key was one of the layout's own keys (always taken).
    bool handleLayoutKey(std::uint32_t keysym, std::uint32_t mask);
    void moveGridSelection(int horizontal, int vertical, std::uint32_t mask);
    void selectInFocusedRow(int column);
    std::optional<char32_t> pendingPunctuationKey();
    void sync();
    void refreshPanel();
    ChinesePanelModel panelModel(const RimeContextSnapshot& context) const;
    void present(const ChinesePanelModel& model);
    void clearMarkedText();
    void hidePanel();

    RimeEngine& engine_;
    ComposerHost& host_;
    CandidatePanelPresenting& panel_;
    bool hasMarkedText_ = false;
    bool panelShown_ = false;
    ChinesePanelLayout layout_ = ChinesePanelLayout::horizontal;
    bool loggedSessionFailure_ = false;
};

}  // namespace sorvane
