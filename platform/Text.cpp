#include "platform/Text.h"

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/unorm2.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <functional>
#include <memory>

namespace sorvane::Text {
namespace {

// The Character break iterator of this thread: creating one costs far more
// than using it. None when ICU has no data for it.
icu::BreakIterator* characterIterator() {
    thread_local std::unique_ptr<icu::BreakIterator> iterator;
    thread_local bool tried = false;
    if (!tried) {
        tried = true;
        UErrorCode status = U_ZERO_ERROR;
        iterator.reset(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) iterator.reset();
    }
    return iterator.get();
}

// A UTF-8 text as ICU reads it, without a copy.
class Utf8Text {
public:
    explicit Utf8Text(std::string_view utf8) {
        UErrorCode status = U_ZERO_ERROR;
        text_ = utext_openUTF8(nullptr, utf8.data(), static_cast<int64_t>(utf8.size()), &status);
        if (U_FAILURE(status) && text_) {
            utext_close(text_);
            text_ = nullptr;
        }
    }
    ~Utf8Text() {
        if (text_) utext_close(text_);
    }
    Utf8Text(const Utf8Text&) = delete;
    Utf8Text& operator=(const Utf8Text&) = delete;
    UText* get() const { return text_; }

private:
    UText* text_ = nullptr;
};

// The character iterator set on the text; none when ICU cannot read it.
icu::BreakIterator* iteratorOn(const Utf8Text& text) {
    icu::BreakIterator* iterator = characterIterator();
    if (!iterator || !text.get()) return nullptr;
    UErrorCode status = U_ZERO_ERROR;
    iterator->setText(text.get(), status);
    return U_SUCCESS(status) ? iterator : nullptr;
}

// Byte offsets of grapheme boundaries (including 0 and size).
std::vector<std::size_t> graphemeBoundaries(std::string_view utf8) {
    std::vector<std::size_t> bounds{0};
    if (utf8.empty()) return bounds;
    const Utf8Text text(utf8);
    icu::BreakIterator* iterator = iteratorOn(text);
    if (!iterator) {
        // Fall back to code points.
        std::size_t i = 0;
        while (i < utf8.size()) {
            int32_t j = static_cast<int32_t>(i);
            UChar32 c;
            U8_NEXT(utf8.data(), j, static_cast<int32_t>(utf8.size()), c);
            (void)c;
            i = static_cast<std::size_t>(j);
            bounds.push_back(i);
        }
        return bounds;
    }
    for (int32_t b = iterator->next(); b != icu::BreakIterator::DONE; b = iterator->next()) {
        bounds.push_back(static_cast<std::size_t>(b));
    }
    if (bounds.back() != utf8.size()) bounds.push_back(utf8.size());
    return bounds;
}

}  // namespace

std::vector<std::string> characters(std::string_view utf8) {
    auto bounds = graphemeBoundaries(utf8);
    std::vector<std::string> out;
    out.reserve(bounds.size());
    for (std::size_t i = 1; i < bounds.size(); ++i) {
        out.emplace_back(utf8.substr(bounds[i - 1], bounds[i] - bounds[i - 1]));
    }
    return out;
}

std::size_t characterCount(std::string_view utf8) {
    return graphemeBoundaries(utf8).size() - 1;
}

// Whether a Character boundary falls at an offset depends only on the text
// before it and the code point at it, so appending keeps every boundary
// before the join; only the last Character before it may grow.
std::size_t characterCountAfterAppend(std::string_view utf8, std::size_t appendedAt,
                                      std::size_t countBefore) {
    if (appendedAt == utf8.size()) return countBefore;
    if (appendedAt == 0 || countBefore == 0 || appendedAt > utf8.size() ||
        codePointBoundaryAtOrBefore(utf8, appendedAt) != appendedAt)
        return characterCount(utf8);
    const Utf8Text text(utf8);
    icu::BreakIterator* iterator = iteratorOn(text);
    if (!iterator) return characterCount(utf8);
    const auto at = static_cast<int32_t>(appendedAt);
    std::size_t count = countBefore - 1;
    if (iterator->isBoundary(at)) ++count;
    for (int32_t b = iterator->following(at); b != icu::BreakIterator::DONE; b = iterator->next()) ++count;
    return count;
}

std::size_t lastCharacterStart(std::string_view utf8) {
    if (utf8.empty()) return 0;
    const Utf8Text text(utf8);
    icu::BreakIterator* iterator = iteratorOn(text);
    if (!iterator) {
        const auto bounds = graphemeBoundaries(utf8);
        return bounds[bounds.size() - 2];
    }
    const int32_t start = iterator->preceding(static_cast<int32_t>(utf8.size()));
    return start == icu::BreakIterator::DONE ? 0 : static_cast<std::size_t>(start);
}

void forEachCharacter(std::string_view utf8, const std::function<bool(std::string_view)>& visit) {
    if (utf8.empty()) return;
    // A walk of its own, since the visitor may use the other Character
    // helpers of this thread, or walk another text itself.
    icu::BreakIterator* shared = characterIterator();
    std::unique_ptr<icu::BreakIterator> own(shared ? shared->clone() : nullptr);
    const Utf8Text text(utf8);
    UErrorCode status = U_ZERO_ERROR;
    if (own && text.get()) own->setText(text.get(), status);
    if (!own || !text.get() || U_FAILURE(status)) {
        const auto bounds = graphemeBoundaries(utf8);
        for (std::size_t i = 1; i < bounds.size(); ++i) {
            if (!visit(utf8.substr(bounds[i - 1], bounds[i] - bounds[i - 1]))) return;
        }
        return;
    }
    std::size_t start = 0;
    for (int32_t b = own->next(); b != icu::BreakIterator::DONE; b = own->next()) {
        const auto end = static_cast<std::size_t>(b);
        if (!visit(utf8.substr(start, end - start))) return;
        start = end;
    }
}

std::string prefixCharacters(std::string_view utf8, std::size_t count) {
    auto bounds = graphemeBoundaries(utf8);
    if (count + 1 >= bounds.size()) return std::string(utf8);
    return std::string(utf8.substr(0, bounds[count]));
}

std::string dropCharacters(std::string_view utf8, std::size_t count) {
    auto bounds = graphemeBoundaries(utf8);
    if (count + 1 >= bounds.size()) return {};
    return std::string(utf8.substr(bounds[count]));
}

std::u16string toUtf16(std::string_view utf8) {
    icu::UnicodeString u =
        icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
    return std::u16string(reinterpret_cast<const char16_t*>(u.getBuffer()),
                          static_cast<std::size_t>(u.length()));
}

std::string toUtf8(std::u16string_view utf16) {
    icu::UnicodeString u(false, reinterpret_cast<const UChar*>(utf16.data()),
                         static_cast<int32_t>(utf16.size()));
    std::string out;
    u.toUTF8String(out);
    return out;
}

std::size_t utf16Length(std::string_view utf8) {
    return utf16Offset(utf8, utf8.size());
}

std::size_t utf16Offset(std::string_view utf8, std::size_t byteOffset) {
    if (byteOffset > utf8.size()) byteOffset = utf8.size();
    byteOffset = codePointBoundaryAtOrBefore(utf8, byteOffset);
    std::size_t units = 0;
    int32_t i = 0;
    const int32_t end = static_cast<int32_t>(byteOffset);
    while (i < end) {
        UChar32 c;
        U8_NEXT(utf8.data(), i, end, c);
        units += (c >= 0x10000) ? 2 : 1;
    }
    return units;
}

std::size_t utf8Offset(std::string_view utf8, std::size_t utf16Off) {
    std::size_t units = 0;
    int32_t i = 0;
    const int32_t end = static_cast<int32_t>(utf8.size());
    while (i < end && units < utf16Off) {
        int32_t before = i;
        UChar32 c;
        U8_NEXT(utf8.data(), i, end, c);
        std::size_t w = (c >= 0x10000) ? 2 : 1;
        if (units + w > utf16Off) return static_cast<std::size_t>(before);
        units += w;
    }
    return static_cast<std::size_t>(i);
}

std::size_t codePointBoundaryAtOrBefore(std::string_view utf8, std::size_t byteOffset) {
    if (byteOffset >= utf8.size()) return utf8.size();
    // Walk back over continuation bytes (at most three).
    std::size_t i = byteOffset;
    int steps = 0;
    while (i > 0 && steps < 3 && (static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80) {
        --i;
        ++steps;
    }
    if ((static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80) return byteOffset;  // not UTF-8 here
    // Make sure the lead byte's sequence really covers byteOffset.
    int32_t j = static_cast<int32_t>(i);
    UChar32 c;
    U8_NEXT(utf8.data(), j, static_cast<int32_t>(utf8.size()), c);
    if (c < 0 || static_cast<std::size_t>(j) <= byteOffset) return byteOffset;
    return i;
}

namespace {

// Whether every code point of the bytes is valid and passes `test`.
template <class Test>
bool allCodePoints(std::string_view bytes, Test test) {
    int32_t i = 0;
    const auto end = static_cast<int32_t>(bytes.size());
    while (i < end) {
        UChar32 c;
        U8_NEXT(bytes.data(), i, end, c);
        if (c < 0 || !test(static_cast<char32_t>(c))) return false;
    }
    return true;
}

}  // namespace

bool isValidUtf8(std::string_view bytes) {
    return allCodePoints(bytes, [](char32_t) { return true; });
}

std::string sanitizedUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    int32_t i = 0;
    const int32_t end = static_cast<int32_t>(bytes.size());
    while (i < end) {
        int32_t start = i;
        UChar32 c;
        U8_NEXT(bytes.data(), i, end, c);
        if (c < 0)
            out += "\xEF\xBF\xBD";
        else
            out.append(bytes.data() + start, static_cast<std::size_t>(i - start));
    }
    return out;
}

bool isWhitespace(char32_t c) {
    return u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_WHITE_SPACE);
}

bool isLetterMarkOrDigit(char32_t c) {
    return (U_GET_GC_MASK(static_cast<UChar32>(c)) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_ND_MASK)) != 0;
}

bool isWhitespaceOrNewline(char32_t c) {
    if ((c >= 0x09 && c <= 0x0D) || c == 0x85) return true;
    const int8_t type = u_charType(static_cast<UChar32>(c));
    return type == U_SPACE_SEPARATOR || type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR;
}

bool isWhitespaceCharacter(std::string_view character) {
    auto cps = codePoints(character);
    if (cps.empty()) return false;
    // Swift looks at the first scalar; "\r\n" is one whitespace Character.
    return isWhitespace(cps.front());
}

namespace {

template <class Trims>
std::string trimmedBy(std::string_view utf8, Trims trims) {
    auto cps = codePoints(utf8);
    std::size_t b = 0, e = cps.size();
    while (b < e && trims(cps[b])) ++b;
    while (e > b && trims(cps[e - 1])) --e;
    std::string out;
    for (std::size_t i = b; i < e; ++i) out += fromCodePoint(cps[i]);
    return out;
}

}  // namespace

std::string trimmed(std::string_view utf8) {
    return trimmedBy(utf8, isWhitespaceOrNewline);
}

bool isBlank(std::string_view utf8) {
    return allCodePoints(utf8, isWhitespaceOrNewline);
}

namespace {

std::string_view trimmedEndsBy(std::string_view utf8, bool (*trims)(char32_t)) {
    const auto* p = reinterpret_cast<const uint8_t*>(utf8.data());
    int32_t begin = 0;
    auto end = static_cast<int32_t>(utf8.size());
    while (begin < end) {
        int32_t next = begin;
        UChar32 c;
        U8_NEXT(p, next, end, c);
        if (c < 0 || !trims(static_cast<char32_t>(c))) break;
        begin = next;
    }
    while (end > begin) {
        int32_t previous = end;
        UChar32 c;
        U8_PREV(p, begin, previous, c);
        if (c < 0 || !trims(static_cast<char32_t>(c))) break;
        end = previous;
    }
    return utf8.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin));
}

}  // namespace

std::string_view trimmedEnds(std::string_view utf8) {
    return trimmedEndsBy(utf8, isWhitespaceOrNewline);
}

std::string_view trimmedEndsHorizontally(std::string_view utf8) {
    return trimmedEndsBy(utf8, isHorizontalWhitespace);
}

bool isHorizontalWhitespace(char32_t c) {
    return c == U'\t' || u_charType(static_cast<UChar32>(c)) == U_SPACE_SEPARATOR;
}

bool isNewline(char32_t c) {
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

std::string trimmedHorizontally(std::string_view utf8) {
    return trimmedBy(utf8, isHorizontalWhitespace);
}

std::vector<std::string> lines(std::string_view utf8) {
    std::vector<std::string> out(1);
    for (char32_t c : codePoints(utf8)) {
        if (isNewline(c))
            out.emplace_back();
        else
            out.back() += fromCodePoint(c);
    }
    return out;
}

std::u32string codePoints(std::string_view utf8) {
    std::u32string out;
    out.reserve(utf8.size());
    int32_t i = 0;
    const int32_t end = static_cast<int32_t>(utf8.size());
    while (i < end) {
        UChar32 c;
        U8_NEXT(utf8.data(), i, end, c);
        out.push_back(c < 0 ? U'\uFFFD' : static_cast<char32_t>(c));
    }
    return out;
}

std::string fromCodePoint(char32_t c) {
    char buf[4];
    int32_t len = 0;
    UBool error = false;
    U8_APPEND(reinterpret_cast<uint8_t*>(buf), len, 4, static_cast<UChar32>(c), error);
    if (error) return "\xEF\xBF\xBD";
    return std::string(buf, static_cast<std::size_t>(len));
}

std::vector<std::size_t> characterBoundaries(std::string_view utf8) {
    return graphemeBoundaries(utf8);
}

namespace {

bool isAscii(std::string_view s) {
    for (unsigned char c : s) {
        if (c >= 0x80) return false;
    }
    return true;
}

bool normalizedCompareEqual(std::string_view a, std::string_view b, uint32_t options) {
    const std::u16string ua = toUtf16(sanitizedUtf8(a));
    const std::u16string ub = toUtf16(sanitizedUtf8(b));
    UErrorCode status = U_ZERO_ERROR;
    const int32_t r = unorm_compare(ua.data(), static_cast<int32_t>(ua.size()), ub.data(),
                                    static_cast<int32_t>(ub.size()), options, &status);
    return U_SUCCESS(status) && r == 0;
}

}  // namespace

bool canonicallyEqual(std::string_view a, std::string_view b) {
    if (a == b) return true;
    // No ASCII character has a decomposition, so two different ASCII texts
    // are never equivalent; this keeps the common case free of ICU.
    if (isAscii(a) && isAscii(b)) return false;
    return normalizedCompareEqual(a, b, 0);
}

bool caseInsensitiveEqual(std::string_view a, std::string_view b) {
    if (a == b) return true;
    return normalizedCompareEqual(a, b, U_COMPARE_IGNORE_CASE);
}

std::string canonicalForm(std::string_view utf8) {
    if (isAscii(utf8)) return std::string(utf8);
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return std::string(utf8);
    const icu::UnicodeString source =
        icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
    const icu::UnicodeString normalized = nfc->normalize(source, status);
    if (U_FAILURE(status)) return std::string(utf8);
    std::string out;
    normalized.toUTF8String(out);
    return out;
}

std::string asciiLowercased(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace sorvane::Text
