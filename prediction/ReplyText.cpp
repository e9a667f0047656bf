#include "prediction/ReplyText.h"

#include <unicode/normalizer2.h>
#include <unicode/utf8.h>

#include <algorithm>

#include "platform/Text.h"

namespace sorvane {

namespace {

constexpr std::size_t kMaxPendingBytes = 4096;

const icu::Normalizer2* nfc() {
    static const icu::Normalizer2* instance = [] {
        UErrorCode status = U_ZERO_ERROR;
        const icu::Normalizer2* n = icu::Normalizer2::getNFCInstance(status);
        return U_SUCCESS(status) ? n : nullptr;
    }();
    return instance;
}

bool isAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The byte offset of the last code point in s, after its first, before which
// NFC has a boundary: what stands before it normalizes the same whatever
// follows. 0 when there is none.
std::size_t lastNormalizationBoundary(std::string_view s) {
    const icu::Normalizer2* n = nfc();
    if (!n) return s.size();
    int32_t end = static_cast<int32_t>(s.size());
    const auto* p = reinterpret_cast<const uint8_t*>(s.data());
    while (end > 0) {
        int32_t start = end;
        UChar32 c;
        U8_PREV(p, 0, start, c);
        if (start == 0) return 0;
        if (c >= 0 && n->hasBoundaryBefore(c)) return static_cast<std::size_t>(start);
        end = start;
    }
    return 0;
}

// NFC of a text, without a round trip through UTF-16 when it is in NFC
// already, as nearly every token of a reply is.
std::string normalized(std::string_view s) {
    if (const icu::Normalizer2* n = nfc()) {
        UErrorCode status = U_ZERO_ERROR;
        const bool already =
            n->isNormalizedUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())), status);
        if (U_SUCCESS(status) && already) return std::string(s);
    }
    return Text::canonicalForm(s);
}

}  // namespace

void ReplyText::append(std::string_view delta) {
    if (delta.empty()) return;
    if (simple_ && isAscii(delta) && !(delta.front() == '\n' && !text_.empty() && text_.back() == '\r')) {
        // ASCII is its own NFC, and without CR LF every byte is a Character.
        const bool crlf = delta.find("\r\n") != std::string_view::npos;
        if (!crlf) {
            text_.append(delta);
            // The last letter may still take a combining mark that follows.
            stableSize_ = text_.size() - 1;
            return;
        }
    }
    if (simple_) leaveSimple();

    pendingRaw_.append(Text::isValidUtf8(delta) ? std::string(delta) : Text::sanitizedUtf8(delta));
    const std::size_t changedFrom = stableSize_;
    text_.resize(stableSize_);
    // Whatever stands before the last normalization boundary is final.
    const std::size_t cut = lastNormalizationBoundary(pendingRaw_);
    if (cut > 0) {
        text_.append(normalized(std::string_view(pendingRaw_).substr(0, cut)));
        pendingRaw_.erase(0, cut);
        stableSize_ = text_.size();
    }
    text_.append(normalized(pendingRaw_));
    // Without a boundary every delta would normalize the whole run again.
    // Real text has none longer than a few dozen code points (combining
    // marks on one letter); a longer run is taken as final as it stands, so
    // a later mark no longer reorders with those before it.
    if (pendingRaw_.size() > kMaxPendingBytes) {
        pendingRaw_.clear();
        stableSize_ = text_.size();
    }

    // Character boundaries before the changed bytes stay; the one Character
    // that reaches up to them may now go on, so segmentation starts again at
    // its beginning. A boundary found from the start of the text is a true
    // one, so the segmenter needs nothing of what lies before it.
    auto keep = std::lower_bound(bounds_.begin(), bounds_.end(), changedFrom);
    if (keep != bounds_.begin()) --keep;
    const std::size_t restart = keep == bounds_.end() ? 0 : *keep;
    bounds_.erase(keep, bounds_.end());
    for (std::size_t b : Text::characterBoundaries(std::string_view(text_).substr(restart)))
        bounds_.push_back(restart + b);
}

std::size_t ReplyText::finalSize() const {
    if (simple_) return stableSize_;  // every byte before it is a Character and final
    // The Character that reaches into the changeable tail may still grow.
    auto last = std::lower_bound(bounds_.begin(), bounds_.end(), stableSize_);
    if (last == bounds_.begin()) return 0;
    return *(last - 1);
}

void ReplyText::leaveSimple() {
    simple_ = false;
    // Up to here every byte was a Character and ASCII is its own NFC; only
    // the last letter may still join what follows.
    bounds_.resize(text_.size() + 1);
    for (std::size_t i = 0; i < bounds_.size(); ++i) bounds_[i] = i;
    stableSize_ = text_.empty() ? 0 : text_.size() - 1;
    pendingRaw_ = text_.substr(stableSize_);
}

}  // namespace sorvane
