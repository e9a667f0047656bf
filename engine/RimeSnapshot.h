#pragma once
// Plain copies of the engine's state after a key. They own their texts and
// never point into librime's memory.
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sorvane {

struct RimeCandidate {
    std::string text;
    std::optional<std::string> comment;

    bool operator==(const RimeCandidate&) const = default;
};

struct RimeContextSnapshot {
    std::string preedit;
    // Byte offsets into the UTF-8 preedit, as librime reports them.
    int selStart = 0;
    int selEnd = 0;
    int cursorPos = 0;
    std::vector<RimeCandidate> candidates;
    int pageNo = 0;
    int pageSize = 0;
    bool isLastPage = false;
    int highlightedIndex = 0;
    std::string selectKeys;
    std::vector<std::string> selectLabels;
    std::optional<std::string> commitTextPreview;

    bool operator==(const RimeContextSnapshot&) const = default;

    bool isEmpty() const { return preedit.empty() && candidates.empty(); }
    // The selection as a half-open range of Character (grapheme) positions in
    // the preedit; none when empty, out of range or not on Character
    // boundaries.
    std::optional<std::pair<std::size_t, std::size_t>> selectedRange() const;
    // Its explicit label, else its select key, else its 1-based number.
    std::string label(int candidateIndex) const;
};

struct RimeStatusSnapshot {
    std::string schemaId;
    std::string schemaName;
    bool isDisabled = false;
    bool isComposing = false;
    bool isAsciiMode = false;
    bool isFullShape = false;
    bool isSimplified = false;
    bool isTraditional = false;
    bool isAsciiPunct = false;

    bool operator==(const RimeStatusSnapshot&) const = default;
};

}  // namespace sorvane
