#pragma once
// Text helpers over ICU. Strings are UTF-8 throughout the code base; a
// "Character" is an extended grapheme cluster, as users perceive one.
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvane::Text {

// Grapheme clusters of a UTF-8 text, each as its own UTF-8 string.
std::vector<std::string> characters(std::string_view utf8);
std::size_t characterCount(std::string_view utf8);
// The Character count of a text whose first `appendedAt` bytes held
// `countBefore` Characters before the rest was appended to them: walks only
// from the join on.
std::size_t characterCountAfterAppend(std::string_view utf8, std::size_t appendedAt, std::size_t countBefore);
// The byte offset at which the last Character starts; 0 for an empty text.
std::size_t lastCharacterStart(std::string_view utf8);
// Calls `visit` with each Character in order until it returns false.
void forEachCharacter(std::string_view utf8, const std::function<bool(std::string_view)>& visit);
// The first `count` Characters (the whole text when it has fewer).
std::string prefixCharacters(std::string_view utf8, std::size_t count);
// The text without its first `count` Characters.
std::string dropCharacters(std::string_view utf8, std::size_t count);

std::u16string toUtf16(std::string_view utf8);
std::string toUtf8(std::u16string_view utf16);
std::size_t utf16Length(std::string_view utf8);
// UTF-16 offset of a UTF-8 byte offset; an offset inside a sequence counts
// from the start of that sequence, one past the end is clamped to the end.
std::size_t utf16Offset(std::string_view utf8, std::size_t byteOffset);
// UTF-8 byte offset of a UTF-16 offset (clamped, never inside a sequence).
std::size_t utf8Offset(std::string_view utf8, std::size_t utf16Offset);
// The largest code-point boundary at or before byteOffset, so a split there
// never cuts a multi-byte sequence.
std::size_t codePointBoundaryAtOrBefore(std::string_view utf8, std::size_t byteOffset);
bool isValidUtf8(std::string_view bytes);
// Replaces invalid sequences with U+FFFD.
std::string sanitizedUtf8(std::string_view bytes);

// Unicode White_Space (Character.isWhitespace for a one-scalar Character).
bool isWhitespace(char32_t c);
// Unicode letters (L*), marks (M*) and decimal digits (Nd).
bool isLetterMarkOrDigit(char32_t c);
// Whitespace and newlines: general category Z*, U+0009...U+000D and U+0085.
bool isWhitespaceOrNewline(char32_t c);
// Whether every scalar of a Character is whitespace (Character.isWhitespace).
bool isWhitespaceCharacter(std::string_view character);
// Trims whitespace and newlines from both ends.
std::string trimmed(std::string_view utf8);
// Whether nothing is left of the text once trimmed.
bool isBlank(std::string_view utf8);
// The text between the whitespace and newlines at its ends, as a view into
// it, found without reading the middle; an invalid sequence at an edge ends
// the trimming there.
std::string_view trimmedEnds(std::string_view utf8);
// The same for horizontal whitespace only.
std::string_view trimmedEndsHorizontally(std::string_view utf8);
// Tab and the space separators (general category Zs); no line breaks.
bool isHorizontalWhitespace(char32_t c);
// U+000A...U+000D, U+0085, U+2028 and U+2029.
bool isNewline(char32_t c);
// Trims horizontal whitespace only from both ends.
std::string trimmedHorizontally(std::string_view utf8);
// The lines of a text split at every newline character (CR LF gives an
// empty line between), each as written.
std::vector<std::string> lines(std::string_view utf8);
// Code points of a UTF-8 text (invalid bytes become U+FFFD).
std::u32string codePoints(std::string_view utf8);
std::string fromCodePoint(char32_t c);

// Byte offsets of the Character boundaries of a text, 0 and its size included.
std::vector<std::size_t> characterBoundaries(std::string_view utf8);
// Canonical equivalence, which is what equality means for user text: a
// precomposed "é" equals "e" followed by U+0301.
bool canonicallyEqual(std::string_view a, std::string_view b);
// Canonical equivalence after full case folding ("ß" equals "SS").
bool caseInsensitiveEqual(std::string_view a, std::string_view b);
// The NFC form, so that canonically equal texts hash alike.
std::string canonicalForm(std::string_view utf8);
// A-Z as a-z and every other byte as it is, whatever the locale: for
// protocol texts (hex digests, schemes), never for what users write.
std::string asciiLowercased(std::string_view text);

}  // namespace sorvane::Text
