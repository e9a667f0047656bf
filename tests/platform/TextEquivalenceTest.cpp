#include <gtest/gtest.h>

#include "platform/Text.h"

namespace sorvane {
namespace {

TEST(TextEquivalence, CanonicalAndCaseInsensitive) {
    struct Case {
        const char* a;
        const char* b;
        bool canonical;
        bool caseless;
    };
    const Case cases[] = {
        {"abc", "abc", true, true},
        {"abc", "ABC", false, true},
        {"caf\u00e9", "cafe\u0301", true, true},
        {"CAF\u00c9", "cafe\u0301", false, true},
        {"stra\u00dfe", "STRASSE", false, true},
        {"a", "b", false, false},
        {"", "", true, true},
        {"\xff", "\xff", true, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Text::canonicallyEqual(c.a, c.b), c.canonical) << c.a << " / " << c.b;
        EXPECT_EQ(Text::caseInsensitiveEqual(c.a, c.b), c.caseless) << c.a << " / " << c.b;
    }
    EXPECT_EQ(Text::canonicalForm("cafe\u0301"), "caf\u00e9");
}

TEST(TextEquivalence, CharacterBoundariesAreByteOffsets) {
    EXPECT_EQ(Text::characterBoundaries("a\r\n\u00e9e\u0301"), (std::vector<std::size_t>{0, 1, 3, 5, 8}));
    EXPECT_EQ(Text::characterBoundaries(""), (std::vector<std::size_t>{0}));
}

}  // namespace
}  // namespace sorvane
