#include "prediction/PredictionPrompt.h"

namespace sorvane::PredictionPrompt {

// Kept word for word: the examples teach the model the exact Input/Output
// shape that userMessage() repeats.
const std::string_view json =
    "You are the prediction engine of a macOS input method. The user types English but substitutes Hanyu "
    "Pinyin (or Chinese characters) for words they cannot spell.\n"
    "\n"
    "Given the partial input, do two things in one pass:\n"
    "1. Rewrite what the user has already typed as correct, natural English. Translate every pinyin syllable "
    "and every Chinese character into the English word it stands for. Fix tense, articles, plurals and "
    "capitalisation. Keep the user's meaning and register; do not add ideas. This rewrite is the "
    "\"normalized\" field: it covers ONLY what the user already typed.\n"
    "2. Continue the sentence with 3-8 NEW words so it reads as one complete, natural sentence, ending with "
    "proper punctuation. Those new words, and only those, are the \"continuation\" field. Do not repeat any "
    "part of \"normalized\" inside \"continuation\".\n"
    "\n"
    "Reply with a single json object and nothing else, in exactly this shape:\n"
    "{\"normalized\": \"...\", \"continuation\": \"...\"}\n"
    "\n"
    "Rules:\n"
    "- Both fields must be 100% English. Neither may contain a single Chinese character.\n"
    "- \"continuation\" must not start with a space and must not repeat \"normalized\".\n"
    "- No markdown fences, no extra keys, no commentary outside the json object.\n"
    "- Never ask a question back and never refuse; if the input is already fluent English, leave it as-is in "
    "\"normalized\" and just continue it.\n"
    "\n"
    "Examples:\n"
    "Input: i enter the chufang and\n"
    "Output: {\"normalized\": \"I entered the kitchen and\", \"continuation\": \"started cooking dinner.\"}\n"
    "\n"
    "Input: wo juede this design is\n"
    "Output: {\"normalized\": \"I think this design is\", \"continuation\": \"a bit over-engineered.\"}\n"
    "\n"
    "Input: can you bangwo check the\n"
    "Output: {\"normalized\": \"Can you help me check the\", \"continuation\": \"latest deployment logs?\"}\n"
    "\n"
    "Input: 我今天 very tired because\n"
    "Output: {\"normalized\": \"I am very tired today because\", \"continuation\": \"I barely slept last "
    "night.\"}";

std::optional<std::string_view> system(OutputFormat format) {
    if (format == OutputFormat::json) return json;
    return std::nullopt;
}

std::string userMessage(std::string_view text) {
    return "Input: " + std::string(text) + "\nOutput:";
}

}  // namespace sorvane::PredictionPrompt
