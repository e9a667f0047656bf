#include "kit/english/DecimalWord.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>

namespace sorvane::DecimalWord {

std::optional<double> read(std::string_view word) {
    // One sign at most, then digits or a point: from_chars alone would also
    // take "inf" and "nan", and it takes no plus sign.
    bool negative = false;
    if (!word.empty() && (word.front() == '+' || word.front() == '-')) {
        negative = word.front() == '-';
        word.remove_prefix(1);
    }
    if (word.empty() || !(std::isdigit(static_cast<unsigned char>(word.front())) || word.front() == '.'))
        return std::nullopt;
    double value = 0;
    const auto [end, error] =
        std::from_chars(word.data(), word.data() + word.size(), value, std::chars_format::general);
    if (error != std::errc() || end != word.data() + word.size() || !std::isfinite(value))
        return std::nullopt;
    return negative ? -value : value;
}

std::string format(double value) {
    std::array<char, 64> buffer{};
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    std::string text(buffer.data(), error == std::errc() ? end : buffer.data());
    if (std::isfinite(value) && text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
}

}  // namespace sorvane::DecimalWord
