#include <gtest/gtest.h>

#include "kit/english/DecimalWord.h"

namespace sorvane {
namespace {

TEST(DecimalWordTest, OnlyWholeFiniteDecimalNumeralsRead) {
    const struct {
        const char* word;
        std::optional<double> value;
    } cases[] = {
        {"2.5", 2.5}, {"-1", -1.0}, {"+3", 3.0},   {".5", 0.5},  {"1e3", 1000.0}, {"0", 0.0},
        {"abc", {}},  {"inf", {}},  {"nan", {}},   {"-inf", {}}, {" 5", {}},      {"5 ", {}},
        {"", {}},     {"0x10", {}}, {"1e999", {}}, {"+-5", {}},  {"2.5s", {}},    {"--1", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(DecimalWord::read(c.word), c.value) << '"' << c.word << '"';
}

TEST(DecimalWordTest, FormatsShortestWithAPointOnWholeNumbers) {
    EXPECT_EQ(DecimalWord::format(4), "4.0");
    EXPECT_EQ(DecimalWord::format(-1), "-1.0");
    EXPECT_EQ(DecimalWord::format(0.1), "0.1");
    EXPECT_EQ(DecimalWord::format(719.5), "719.5");
    EXPECT_EQ(DecimalWord::format(1440), "1440.0");
}

}  // namespace
}  // namespace sorvane
