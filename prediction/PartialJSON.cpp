#include "prediction/PartialJSON.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/Text.h"

namespace sorvane::PartialJSON {
namespace {

// The Characters of a text as byte ranges. In ASCII text without CR LF (the
// one two-byte Character ASCII has) every byte is a Character and no table is
// built; anything else goes to ICU.
class Characters {
public:
    explicit Characters(std::string_view text) : text_(text) {
        for (std::size_t i = 0; i < text.size() && simple_; ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            simple_ = c < 0x80 && !(c == '\r' && i + 1 < text.size() && text[i + 1] == '\n');
        }
        if (!simple_) {
            owned_ = Text::characterBoundaries(text);
            bounds_ = &owned_;
        }
    }
    // A streamed reply's text, segmented as it arrived.
    explicit Characters(const ReplyText& reply)
        : text_(reply.text()), simple_(reply.isSimple()), bounds_(&reply.boundaries()) {}

    std::size_t size() const { return simple_ ? text_.size() : bounds_->size() - 1; }
    // Byte offset of Character i (i == size() gives the end).
    std::size_t offset(std::size_t i) const { return simple_ ? i : (*bounds_)[i]; }
    std::string_view operator[](std::size_t i) const {
        return text_.substr(offset(i), offset(i + 1) - offset(i));
    }
    std::string_view text() const { return text_; }
    // True when Character i is exactly the one-byte Character c.
    bool is(std::size_t i, char c) const { return offset(i + 1) - offset(i) == 1 && text_[offset(i)] == c; }
    // The first Character position where the needle's Characters occur.
    std::optional<std::size_t> find(const Characters& needle) const {
        if (needle.size() > size()) return std::nullopt;
        if (simple_ && needle.simple_) {
            const std::size_t at = text_.find(needle.text_);
            return at == std::string_view::npos ? std::nullopt : std::optional<std::size_t>(at);
        }
        if (needle.simple_) return findBytes(needle.text_);
        for (std::size_t i = 0; i + needle.size() <= size(); ++i) {
            std::size_t j = 0;
            while (j < needle.size() && (*this)[i + j] == needle[j]) ++j;
            if (j == needle.size()) return i;
        }
        return std::nullopt;
    }

private:
    // A needle whose every byte is a Character matches where its bytes occur
    // and each of them is a Character of the text too.
    std::optional<std::size_t> findBytes(std::string_view needle) const {
        const std::vector<std::size_t>& b = *bounds_;
        for (std::size_t at = text_.find(needle); at != std::string_view::npos;
             at = text_.find(needle, at + 1)) {
            const auto first = std::lower_bound(b.begin(), b.end(), at);
            if (first == b.end() || *first != at) continue;
            const auto i = static_cast<std::size_t>(first - b.begin());
            if (i + needle.size() < b.size() && b[i + needle.size()] == at + needle.size()) return i;
        }
        return std::nullopt;
    }

    std::string_view text_;
    bool simple_ = true;
    std::vector<std::size_t> owned_;
    const std::vector<std::size_t>* bounds_ = nullptr;
};

bool isWhitespace(std::string_view character) {
    if (character.size() == 1) {
        const char c = character[0];
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    }
    return Text::isWhitespaceCharacter(character);
}

int hexValue(std::string_view character) {
    if (character.size() != 1) return -1;
    const char c = character[0];
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The Character index just after the opening quote of the first
// occurrence's value; none when the text holds no value for the key yet.
std::optional<std::size_t> valueStart(std::string_view key, const Characters& h) {
    std::string quoted;
    quoted.reserve(key.size() + 2);
    quoted.append(1, '"').append(key).append(1, '"');
    const Characters n(quoted);

    // The first occurrence wins, even one inside another value.
    const std::optional<std::size_t> pos = h.find(n);
    if (!pos) return std::nullopt;

    std::size_t i = *pos + n.size();
    while (i < h.size() && isWhitespace(h[i])) ++i;
    if (i >= h.size() || !h.is(i, ':')) return std::nullopt;
    ++i;
    while (i < h.size() && isWhitespace(h[i])) ++i;
    if (i >= h.size() || !h.is(i, '"')) return std::nullopt;
    return i + 1;
}

// A value read from Character `i` on, after `value` already read before it.
struct ValueRead {
    std::string value;
    std::size_t run = 0;        // Characters from here to `end` are plain, copied as they stand
    std::size_t beforeRun = 0;  // bytes of `value` read before `run`
    std::size_t end = 0;        // where reading stopped
    bool closed = false;        // at the closing quote, Character `end`
};

ValueRead readValue(const Characters& h, std::size_t i, std::string value) {
    ValueRead r;
    // Ordinary Characters are copied in runs rather than one by one.
    std::size_t run = i;
    const auto flush = [&] { value.append(h.text().substr(h.offset(run), h.offset(i) - h.offset(run))); };
    const auto ended = [&](bool closed) {
        r.beforeRun = value.size();
        r.run = run;
        r.end = i;
        r.closed = closed;
        if (run < i) flush();
        r.value = std::move(value);
        return r;
    };
    while (i < h.size()) {
        if (!h.is(i, '\\')) {
            if (h.is(i, '"')) return ended(true);
            ++i;
            continue;
        }
        flush();
        run = i;  // an escape cut off here leaves the value ending before it
        if (i + 1 >= h.size()) return ended(false);  // a lone backslash at the end is dropped
        const std::string_view escaped = h[i + 1];
        std::size_t consumed = 2;
        if (escaped.size() == 1) {
            const char e = escaped[0];
            const char* simple = nullptr;
            switch (e) {
                case 'n':
                    simple = "\n";
                    break;
                case 't':
                    simple = "\t";
                    break;
                case 'r':
                    simple = "\r";
                    break;
                case '"':
                    simple = "\"";
                    break;
                case '\\':
                    simple = "\\";
                    break;
                case '/':
                    simple = "/";
                    break;
                default:
                    break;
            }
            if (simple) {
                value.append(simple);
            } else if (e == 'u') {
                if (i + 6 > h.size()) return ended(false);  // the escape is still arriving
                char32_t scalar = 0;
                for (std::size_t k = i + 2; k < i + 6; ++k) {
                    const int d = hexValue(h[k]);
                    if (d < 0) return ended(false);
                    scalar = scalar * 16 + static_cast<char32_t>(d);
                }
                // Surrogate pairs are never joined: the value ends before them.
                if (scalar >= 0xD800 && scalar <= 0xDFFF) return ended(false);
                value.append(Text::fromCodePoint(scalar));
                consumed = 6;
            } else {
                value.append(escaped);
            }
        } else {
            value.append(escaped);
        }
        i += consumed;
        run = i;
    }
    return ended(false);
}

std::optional<std::string> read(std::string_view key, const Characters& h) {
    const auto start = valueStart(key, h);
    if (!start) return std::nullopt;
    return readValue(h, *start, {}).value;
}

bool isAscii(std::string_view s) {
    for (unsigned char c : s) {
        if (c >= 0x80) return false;
    }
    return true;
}

// Characters compare by canonical equivalence. Bringing the text into NFC once
// lets them compare as bytes; the values read are the same text in NFC, which
// equals what was sent. ASCII is already in NFC.
std::string comparable(std::string_view text) {
    if (isAscii(text)) return std::string(text);
    return Text::canonicalForm(Text::isValidUtf8(text) ? std::string(text) : Text::sanitizedUtf8(text));
}

}  // namespace

std::optional<std::string> string(std::string_view key, std::string_view text) {
    const std::string t = comparable(text);
    return read(comparable(key), Characters(t));
}

Fields extract(std::string_view text) {
    const std::string t = comparable(text);
    // One pass over the Characters serves both keys.
    const Characters h(t);
    return Fields{read("normalized", h), read("continuation", h)};
}

Fields extract(const ReplyText& reply) {
    const Characters h(reply);
    return Fields{read("normalized", h), read("continuation", h)};
}

// What was read of a value in Characters that can no longer change is kept,
// and the next read goes on from there: a streamed value costs its length,
// not its length times the number of deltas.
std::optional<std::string> Reader::read(std::string_view key, Progress& progress, const ReplyText& reply) {
    if (progress.closed) return progress.value;
    const Characters h(reply);
    const std::size_t final = reply.finalSize();
    if (!progress.start) {
        const auto start = valueStart(key, h);
        if (!start) return std::nullopt;
        // The key, the colon and the quote are where they will stay.
        if (h.offset(*start) <= final) {
            progress.start = *start;
            progress.at = *start;
        } else {
            return readValue(h, *start, {}).value;
        }
    }
    ValueRead r = readValue(h, progress.at, progress.value);
    if (r.closed && h.offset(r.end + 1) <= final) {
        progress.closed = true;
        progress.value = r.value;
        return std::move(r.value);
    }
    // The last Character that ends in final text, within the plain run.
    std::size_t c = r.end;
    while (c > r.run && h.offset(c) > final) --c;
    if (c > progress.at && c >= r.run && h.offset(c) <= final) {
        progress.value = r.value.substr(0, r.beforeRun) +
                         std::string(h.text().substr(h.offset(r.run), h.offset(c) - h.offset(r.run)));
        progress.at = c;
    }
    return std::move(r.value);
}

Fields Reader::extract(const ReplyText& reply) {
    return Fields{read("normalized", normalized_, reply), read("continuation", continuation_, reply)};
}

}  // namespace sorvane::PartialJSON
