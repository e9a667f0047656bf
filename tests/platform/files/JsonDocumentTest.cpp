#include <gtest/gtest.h>

#include <string>

#include "platform/files/JsonDocument.h"

namespace sorvane {
namespace {

std::string nested(int depth, char open, char close) {
    return std::string(static_cast<std::size_t>(depth), open) +
           std::string(static_cast<std::size_t>(depth), close);
}

std::string nestedObjects(int depth) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += "{\"k\":";
    text += "1";
    for (int i = 0; i < depth; ++i) text += "}";
    return text;
}

TEST(JsonDocument, NestingUpToTheLimitIsRead) {
    EXPECT_TRUE(JsonDocument::parse(nested(64, '[', ']')));
    EXPECT_FALSE(JsonDocument::parse(nested(65, '[', ']')));
    EXPECT_TRUE(JsonDocument::parse(nestedObjects(64)));
    EXPECT_FALSE(JsonDocument::parse(nestedObjects(65)));
    EXPECT_FALSE(JsonDocument::parse("{\"a\":[" + nested(64, '[', ']') + "]}"));
    EXPECT_FALSE(JsonDocument::parse(nested(100000, '[', ']'))) << "no stack is spent on depth";
    EXPECT_FALSE(JsonDocument::parse("{\"a\": "));
    EXPECT_EQ(JsonDocument::parse("7"), nlohmann::json(7));
}

// Values the library would round are kept as written; everything else goes
// through the library.
TEST(JsonDocument, InexactMembersKeepTheirText) {
    const std::string text = R"({"big": 12345678901234567890123, "pi":3.14159265358979323846,
        "small": -9223372036854775808, "short": 2.5, "list": [1, 2.0e3], "s": "x\"y"})";
    const auto members = JsonDocument::inexactMembers(text);
    EXPECT_EQ(members, (std::map<std::string, std::string>{{"big", "12345678901234567890123"},
                                                           {"pi", "3.14159265358979323846"}}));
    auto object = *JsonDocument::parse(R"({"big": 12345678901234567890123, "n": {"a": [1]}})");
    const auto original = object;
    object["mine"] = "v";
    EXPECT_EQ(
        JsonDocument::dumpKeeping(object, original, {{"big", "12345678901234567890123"}}),
        "{\n  \"big\": 12345678901234567890123,\n  \"mine\": \"v\",\n  \"n\": {\n    \"a\": [\n      1\n"
        "    ]\n  }\n}");
    // A value changed since it was read is the library's again.
    object["big"] = 1;
    EXPECT_EQ(JsonDocument::dumpKeeping(object, original, {{"big", "12345678901234567890123"}}),
              object.dump(2));
}

}  // namespace
}  // namespace sorvane
