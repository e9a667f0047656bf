// Collects a fuzz target's first corpus from the tests of what it reads:
// every string literal of a C++ source (adjacent literals joined), and any
// other file whole. Each seed is written once, named after its content.
//
//   fuzz_seed_collector <out folder> <file>...
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

namespace {

namespace fs = std::filesystem;

bool isIdentifier(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

void appendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 16;
}

// The value of the escape at s[i] (just past the backslash); i ends past it.
void unescape(std::string_view s, std::size_t& i, std::string& out) {
    auto number = [&](std::uint32_t base, std::size_t most) {
        std::uint32_t value = 0;
        for (std::size_t n = 0; n < most && i < s.size() && digitValue(s[i]) < int(base); ++n, ++i)
            value = value * base + static_cast<std::uint32_t>(digitValue(s[i]));
        return value;
    };
    const char c = s[i++];
    switch (c) {
        case 'n':
            out += '\n';
            return;
        case 't':
            out += '\t';
            return;
        case 'r':
            out += '\r';
            return;
        case 'a':
            out += '\a';
            return;
        case 'b':
            out += '\b';
            return;
        case 'f':
            out += '\f';
            return;
        case 'v':
            out += '\v';
            return;
        case 'x':
            out += static_cast<char>(number(16, SIZE_MAX));
            return;
        case 'u':
            appendUtf8(out, number(16, 4));
            return;
        case 'U':
            appendUtf8(out, number(16, 8));
            return;
        default:
            if (c >= '0' && c <= '7') {
                --i;
                out += static_cast<char>(number(8, 3));
            } else {
                out += c;  // \\ \" \' \?
            }
    }
}

// The literal starting at s[i] (its opening quote, or an R before it); i
// ends past it. Nothing, and i unchanged, when no whole literal starts there.
std::optional<std::string> literal(std::string_view s, std::size_t& i) {
    if (s.substr(i, 2) == "R\"") {
        const std::size_t open = s.find('(', i + 2);
        if (open == std::string_view::npos) return std::nullopt;
        const std::string close = ")" + std::string(s.substr(i + 2, open - i - 2)) + "\"";
        const std::size_t end = s.find(close, open + 1);
        if (end == std::string_view::npos) return std::nullopt;
        i = end + close.size();
        return std::string(s.substr(open + 1, end - open - 1));
    }
    std::string out;
    std::size_t at = i + 1;
    while (at < s.size() && s[at] != '"') {
        if (s[at] == '\\' && at + 1 < s.size()) {
            ++at;
            unescape(s, at, out);
        } else {
            out += s[at++];
        }
    }
    if (at >= s.size()) return std::nullopt;
    i = at + 1;
    return out;
}

// Past white space, comments and preprocessor lines.
std::size_t skipNonCode(std::string_view s, std::size_t i) {
    for (;;) {
        while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
        if (s.substr(i, 2) == "//" || (i < s.size() && s[i] == '#')) {
            i = s.find('\n', i);
        } else if (s.substr(i, 2) == "/*") {
            i = s.find("*/", i);
            if (i != std::string_view::npos) i += 2;
        } else {
            return i;
        }
        if (i == std::string_view::npos) return s.size();
    }
}

// The start of a literal at s[i], past an encoding prefix (u8, u, U, L).
std::optional<std::size_t> literalStart(std::string_view s, std::size_t i) {
    if (i > 0 && isIdentifier(s[i - 1])) return std::nullopt;
    for (std::string_view prefix : {"u8", "u", "U", "L", ""}) {
        if (s.substr(i, prefix.size()) != prefix) continue;
        const std::size_t at = i + prefix.size();
        if (s.substr(at, 1) == "\"" || s.substr(at, 2) == "R\"") return at;
    }
    return std::nullopt;
}

void write(const fs::path& folder, const std::string& seed) {
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (unsigned char c : seed) hash = (hash ^ c) * 1099511628211ull;
    char name[24];
    std::snprintf(name, sizeof name, "seed-%016llx", static_cast<unsigned long long>(hash));
    std::ofstream(folder / name, std::ios::binary) << seed;
}

// Past a character literal at s[i], or a digit separator (1'000).
std::size_t skipCharacter(std::string_view s, std::size_t i) {
    if (i > 0 && std::isxdigit(static_cast<unsigned char>(s[i - 1]))) return i + 1;
    for (++i; i < s.size() && s[i] != '\''; ++i)
        if (s[i] == '\\') ++i;
    return i + 1;
}

// Past an operand of "+" that is no literal (a name, a member, a call):
// where the test puts a value into a document it builds.
std::optional<std::size_t> skipOperand(std::string_view s, std::size_t i) {
    const std::size_t start = i;
    int depth = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '"') return std::nullopt;
        if (c == '\'') {
            i = skipCharacter(s, i);
            continue;
        }
        if (c == '(' || c == '[') {
            ++depth;
        } else if (c == ')' || c == ']') {
            if (depth == 0) break;
            --depth;
        } else if (depth == 0 && !isIdentifier(c) && c != '.' && c != ':' && c != '>' && c != '-') {
            break;
        }
        ++i;
    }
    if (i == start || depth != 0) return std::nullopt;
    return i;
}

// The start of the literal that continues the one ending at s[i]: the next
// adjacent literal, or the one after "+ operand +", whose value `gap` then
// gets in place of the operand.
std::optional<std::size_t> continuation(std::string_view s, std::size_t i, std::string& gap) {
    gap.clear();
    i = skipNonCode(s, i);
    if (i < s.size() && s[i] != '+') return literalStart(s, i);
    i = skipNonCode(s, i + 1);
    if (i >= s.size()) return std::nullopt;
    if (const auto start = literalStart(s, i)) return start;
    const auto end = skipOperand(s, i);
    if (!end) return std::nullopt;
    i = skipNonCode(s, *end);
    if (i >= s.size() || s[i] != '+') return std::nullopt;
    gap = "1";
    i = skipNonCode(s, i + 1);
    return i < s.size() ? literalStart(s, i) : std::nullopt;
}

// Writes every literal, joined with the literals it is concatenated with.
void collectLiterals(std::string_view s, const fs::path& folder) {
    std::size_t i = skipNonCode(s, 0);
    while (i < s.size()) {
        if (s[i] == '\'') {
            i = skipCharacter(s, i);
        } else if (const auto start = literalStart(s, i)) {
            std::string joined;
            std::string gap;
            std::size_t at = *start;
            i = *start + 1;  // past what is not a whole literal after all
            while (const auto part = literal(s, at)) {
                joined += gap + *part;
                i = at;
                const auto more = continuation(s, at, gap);
                if (!more) break;
                at = *more;
            }
            if (joined.size() >= 2) write(folder, joined);
        } else {
            ++i;
        }
        i = skipNonCode(s, i);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: fuzz_seed_collector <out folder> <file>...\n";
        return 2;
    }
    const fs::path folder = argv[1];
    fs::create_directories(folder);
    for (int a = 2; a < argc; ++a) {
        const fs::path file = argv[a];
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            std::cerr << "fuzz_seed_collector: cannot read " << file << "\n";
            return 1;
        }
        std::stringstream text;
        text << in.rdbuf();
        const std::string ext = file.extension().string();
        if (ext == ".cpp" || ext == ".h") {
            collectLiterals(text.str(), folder);
        } else {
            write(folder, text.str());
        }
    }
    return 0;
}
