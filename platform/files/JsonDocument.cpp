#include "platform/files/JsonDocument.h"

#include <algorithm>

namespace sorvane::JsonDocument {
namespace {

using json = nlohmann::json;

// A number's value as its text writes it: the significant digits without
// leading or trailing zeros, and the power of ten of the last one. Equal for
// two texts exactly when they denote the same number. The text is one that
// parsed as a JSON number.
struct DecimalValue {
    bool negative = false;
    std::string digits;
    long long exponent = 0;

    bool operator==(const DecimalValue&) const = default;
};

DecimalValue decimalValue(std::string_view text) {
    DecimalValue value;
    std::size_t i = 0;
    if (i < text.size() && text[i] == '-') {
        value.negative = true;
        ++i;
    }
    bool fraction = false;
    for (; i < text.size() && text[i] != 'e' && text[i] != 'E'; ++i) {
        if (text[i] == '.') {
            fraction = true;
            continue;
        }
        value.digits += text[i];
        if (fraction) --value.exponent;
    }
    if (i < text.size()) {
        ++i;
        bool negativeExponent = false;
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) negativeExponent = text[i++] == '-';
        // Past a billion the exponent no longer matters: no double is left.
        long long written = 0;
        for (; i < text.size(); ++i) written = std::min(written * 10 + (text[i] - '0'), 1'000'000'000LL);
        value.exponent += negativeExponent ? -written : written;
    }
    const std::size_t first = value.digits.find_first_not_of('0');
    if (first == std::string::npos) return DecimalValue{value.negative, "", 0};
    const std::size_t last = value.digits.find_last_not_of('0');
    value.exponent += static_cast<long long>(value.digits.size() - 1 - last);
    value.digits = value.digits.substr(first, last + 1 - first);
    return value;
}

// Finds numbers whose written text the library would write as another
// number: a decimal may have more digits than a double keeps, and a tiny one
// may lose its digits to a subnormal double or to zero. An integer beyond 64
// bits arrives as a double too, and would come back as "1e+20" even when
// exact: a reader that wants an integer there would refuse it.
class InexactNumbers final : public nlohmann::json_sax<json> {
public:
    bool found = false;

    bool number_float(number_float_t value, const string_t& text) override {
        const bool integral = text.find_first_of(".eE") == string_t::npos;
        found = found || integral || decimalValue(text) != decimalValue(json(value).dump());
        return true;
    }
    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override { return true; }
    bool key(string_t&) override { return true; }
    bool end_object() override { return true; }
    bool start_array(std::size_t) override { return true; }
    bool end_array() override { return true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }
};

bool inexact(std::string_view value) {
    InexactNumbers numbers;
    json::sax_parse(value.begin(), value.end(), &numbers);
    return numbers.found;
}

// Scanning helpers over text that already parsed as JSON.
std::size_t skipSpace(std::string_view s, std::size_t i) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) ++i;
    return i;
}

std::size_t skipString(std::string_view s, std::size_t i) {
    for (++i; i < s.size() && s[i] != '"'; ++i) {
        if (s[i] == '\\') ++i;
    }
    return i + 1;
}

std::size_t skipValue(std::string_view s, std::size_t i) {
    if (i >= s.size()) return i;
    if (s[i] == '"') return skipString(s, i);
    if (s[i] != '{' && s[i] != '[') {
        while (i < s.size() && s[i] != ',' && s[i] != '}' && s[i] != ']' && s[i] != ' ' && s[i] != '\t' &&
               s[i] != '\n' && s[i] != '\r')
            ++i;
        return i;
    }
    int depth = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '"') {
            i = skipString(s, i);
            continue;
        }
        if (c == '{' || c == '[') ++depth;
        if (c == '}' || c == ']') --depth;
        ++i;
        if (depth == 0) break;
    }
    return i;
}

}  // namespace

std::optional<json> parse(std::string_view text) {
    bool tooDeep = false;
    // The depth handed to the callback is that of the value being opened, 0
    // for the top level; a refused value is skipped, not built.
    json::parser_callback_t limit = [&](int depth, json::parse_event_t event, json&) {
        if ((event == json::parse_event_t::object_start || event == json::parse_event_t::array_start) &&
            depth >= maxDepth)
            tooDeep = true;
        return !tooDeep;
    };
    json parsed = json::parse(text.begin(), text.end(), limit, false);
    if (tooDeep || parsed.is_discarded()) return std::nullopt;
    return parsed;
}

std::map<std::string, std::string> inexactMembers(std::string_view text) {
    std::map<std::string, std::string> members;
    auto parsed = parse(text);
    if (!parsed || !parsed->is_object()) return members;
    // The library passes over a byte-order mark at the very start.
    constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
    std::size_t i =
        skipSpace(text, text.starts_with(byteOrderMark) ? byteOrderMark.size() : 0) + 1;  // past "{"
    for (;;) {
        i = skipSpace(text, i);
        if (i >= text.size() || text[i] != '"') break;
        const std::size_t keyStart = i;
        i = skipString(text, i);
        const std::string key = json::parse(text.substr(keyStart, i - keyStart)).get<std::string>();
        i = skipSpace(text, skipSpace(text, i) + 1);  // past ":"
        const std::size_t valueStart = i;
        i = skipValue(text, i);
        const std::string_view value = text.substr(valueStart, i - valueStart);
        // A repeated key: the last one is the one the library keeps.
        members.erase(key);
        if (inexact(value)) members.emplace(key, std::string(value));
        i = skipSpace(text, i);
        if (i < text.size() && text[i] == ',') ++i;
    }
    return members;
}

std::string dumpKeeping(const json& object, const json& original,
                        const std::map<std::string, std::string>& originalText) {
    if (originalText.empty() || !object.is_object() || object.empty()) return object.dump(2);
    std::string out = "{";
    bool first = true;
    for (const auto& [key, value] : object.items()) {
        out += first ? "\n  " : ",\n  ";
        first = false;
        out += json(key).dump() + ": ";
        auto kept = originalText.find(key);
        if (kept != originalText.end() && original.is_object() && original.contains(key) &&
            original.at(key) == value) {
            out += kept->second;
            continue;
        }
        // Nested lines move in by the member's own indentation; a dumped
        // string never holds a raw line feed.
        std::string text = value.dump(2);
        for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 3))
            text.replace(at, 1, "\n  ");
        out += text;
    }
    return out + "\n}";
}

}  // namespace sorvane::JsonDocument
