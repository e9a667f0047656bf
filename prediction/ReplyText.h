#pragma once
// A streamed reply's text as the partial reader compares it: in NFC, with
// its Character (grapheme cluster) boundaries. Both grow with each delta;
// only the short tail that a new delta can still change is normalized and
// segmented again, so a reply costs time in proportion to its length, not
// to its length squared.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sorvane {

class ReplyText {
public:
    void append(std::string_view delta);

    // The whole text so far, in NFC.
    const std::string& text() const { return text_; }
    // Byte offsets of every Character boundary of text(), 0 and the end included.
    const std::vector<std::size_t>& boundaries() const { return bounds_; }
    // Text before this byte offset, and the Character boundaries in it, stay
    // as they are whatever is appended; it is a Character boundary.
    std::size_t finalSize() const;
    // Every byte is a Character of its own (ASCII without CR LF): the
    // boundaries are then not kept, and boundaries() is empty.
    bool isSimple() const { return simple_; }

private:
    void leaveSimple();

    // Raw text after the last point where normalization may still join
    // what comes next; text_ is NFC(raw before it) + NFC(pendingRaw_).
    std::string pendingRaw_;
    std::size_t stableSize_ = 0;  // bytes of text_ that the next delta cannot change
    std::string text_;
    std::vector<std::size_t> bounds_;
    bool simple_ = true;
};

}  // namespace sorvane
