#pragma once
// Text rules shared by the prediction client and the English composer.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/english/Suggestion.h"

namespace sorvane::PredictionText {

// The maximal runs of non-whitespace Characters.
std::vector<std::string> words(std::string_view text);
std::size_t wordCount(std::string_view text);
// Whether the text has at least `count` words; reads no further than needed.
bool hasAtLeastWords(std::string_view text, std::size_t count);
// The words joined by one space; no case folding.
std::string cacheKey(std::string_view text);

// When the typed text still runs along the last suggestion (Character by
// Character, ignoring case), that suggestion re-split after what was typed:
// the typed part spelled as the suggestion spells it, the rest (leading space
// kept, possibly empty) as continuation. Otherwise none.
std::optional<Suggestion> prefixSuggestion(const Suggestion& lastSuggestion, std::string_view newText);

}  // namespace sorvane::PredictionText
