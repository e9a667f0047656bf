#pragma once
// The shape of reply the prediction client asks the model for. Requests are
// always made in `json`; the other two are named so that stored raw values
// keep reading.
#include <array>
#include <optional>
#include <string_view>

namespace sorvane {

enum class OutputFormat { text, json, fim };

inline constexpr std::array<OutputFormat, 3> allOutputFormats{OutputFormat::text, OutputFormat::json,
                                                              OutputFormat::fim};

constexpr std::string_view rawValue(OutputFormat format) {
    switch (format) {
        case OutputFormat::text:
            return "text";
        case OutputFormat::json:
            return "json";
        case OutputFormat::fim:
            return "fim";
    }
    return "json";
}

constexpr std::optional<OutputFormat> outputFormatFromRaw(std::string_view raw) {
    for (OutputFormat f : allOutputFormats) {
        if (rawValue(f) == raw) return f;
    }
    return std::nullopt;
}

}  // namespace sorvane
