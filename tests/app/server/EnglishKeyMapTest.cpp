// Which English-mode key events count as typed text.
#include <gtest/gtest.h>

#include "app/server/EnglishKeyMap.h"

namespace sorvane {
namespace {

TEST(EnglishKeyMapTest, PrintableText) {
    struct Case {
        const char* name;
        std::string characters;
        std::optional<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"letter", "a", "a"},
        {"space", " ", " "},
        {"several characters", "ab", "ab"},
        {"Chinese", "你", "你"},
        {"emoji", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
        {"empty", "", std::nullopt},
        {"return", "\r", std::nullopt},
        {"tab", "\t", std::nullopt},
        {"delete", "\x7f", std::nullopt},
        {"escape", "\x1b", std::nullopt},
        {"up arrow U+F700", "\xEF\x9C\x80", std::nullopt},
        {"F5 U+F708", "\xEF\x9C\x88", std::nullopt},
        {"last of the range U+F8FF", "\xEF\xA3\xBF", std::nullopt},
        {"just past the range U+F900", "\xEF\xA4\x80", "\xEF\xA4\x80"},
        {"private use just before the range U+F6FF", "\xEF\x9B\xBF", "\xEF\x9B\xBF"},
        {"format character U+200B", "\xE2\x80\x8B", std::nullopt},
        {"non-character U+FFFF", "\xEF\xBF\xBF", std::nullopt},
        {"letter then control", "a\x01", std::nullopt},
        {"broken UTF-8", "\xC3", std::nullopt},
    };
    for (const auto& c : cases) {
        KeyEvent e{KeyEventType::keyDown, 0, c.characters, c.characters, 0, 0};
        EXPECT_EQ(EnglishKeyMap::printableText(e), c.expected) << c.name;
    }
}

}  // namespace
}  // namespace sorvane
