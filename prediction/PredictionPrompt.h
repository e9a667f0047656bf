#pragma once
// The fixed texts the prediction client sends to the model.
#include <optional>
#include <string>
#include <string_view>

#include "prediction/OutputFormat.h"

namespace sorvane::PredictionPrompt {

// The system prompt for JSON replies (27 lines, no final line feed).
extern const std::string_view json;

// The system prompt for a format; only `json` has one.
std::optional<std::string_view> system(OutputFormat format);

// "Input: " + the text + "\nOutput:", the pattern of the prompt's examples.
std::string userMessage(std::string_view text);

}  // namespace sorvane::PredictionPrompt
