#pragma once
// Numbers typed as command-line words: only a whole, finite decimal numeral
// reads ("2.5", "-1", "1e3"); blanks, "inf", "nan", hexadecimal and numerals
// too large for a double do not, so every duration built from one stays finite.
#include <optional>
#include <string>
#include <string_view>

namespace sorvane::DecimalWord {

std::optional<double> read(std::string_view word);

// The shortest text that reads back as the same double, with ".0" after a
// whole number ("4.0", "0.1", "-2.5").
std::string format(double value);

}  // namespace sorvane::DecimalWord
