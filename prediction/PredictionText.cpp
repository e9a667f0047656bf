#include "prediction/PredictionText.h"

#include "platform/Text.h"

namespace sorvane::PredictionText {

std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> out;
    std::string word;
    Text::forEachCharacter(text, [&](std::string_view character) {
        if (Text::isWhitespaceCharacter(character)) {
            if (!word.empty()) out.push_back(std::move(word));
            word.clear();
        } else {
            word += character;
        }
        return true;
    });
    if (!word.empty()) out.push_back(std::move(word));
    return out;
}

std::size_t wordCount(std::string_view text) {
    return words(text).size();
}

bool hasAtLeastWords(std::string_view text, std::size_t count) {
    std::size_t seen = 0;
    bool inWord = false;
    Text::forEachCharacter(text, [&](std::string_view character) {
        if (Text::isWhitespaceCharacter(character)) {
            inWord = false;
        } else if (!inWord) {
            inWord = true;
            ++seen;
        }
        return seen < count;
    });
    return seen >= count;
}

std::string cacheKey(std::string_view text) {
    std::string key;
    for (const std::string& word : words(text)) {
        if (!key.empty()) key += ' ';
        key += word;
    }
    return key;
}

std::optional<Suggestion> prefixSuggestion(const Suggestion& lastSuggestion, std::string_view newText) {
    const std::vector<std::string> f = Text::characters(Text::trimmed(lastSuggestion.full()));
    const std::vector<std::string> n = Text::characters(Text::trimmed(newText));
    if (n.empty() || n.size() > f.size()) return std::nullopt;
    for (std::size_t i = 0; i < n.size(); ++i) {
        if (!Text::caseInsensitiveEqual(f[i], n[i])) return std::nullopt;
    }
    Suggestion result;
    for (std::size_t i = 0; i < f.size(); ++i)
        (i < n.size() ? result.normalized : result.continuation) += f[i];
    return result;
}

}  // namespace sorvane::PredictionText
