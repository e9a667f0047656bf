#include <gtest/gtest.h>

#include "engine/RimeEngine.h"

namespace sorvane {
namespace {

TEST(RimeContextSnapshot, Labels) {
    struct Case {
        std::vector<std::string> labels;
        std::string keys;
        int index;
        std::string label;
    };
    const Case cases[] = {
        {{"①", "②"}, "abc", 1, "②"},
        {{"①", "②"}, "abc", 2, "c"},
        {{}, "", 2, "3"},
        {{}, "", 0, "1"},
        {{}, "", 9, "10"},
        {{"x"}, "ab", -1, "0"},
        {{}, "αβγ", 1, "β"},  // a Character, not a
                              // byte
        {{}, "12", 5, "6"},
    };
    for (const auto& c : cases) {
        RimeContextSnapshot s;
        s.selectLabels = c.labels;
        s.selectKeys = c.keys;
        EXPECT_EQ(s.label(c.index), c.label) << c.keys << " " << c.index;
    }
}

TEST(RimeContextSnapshot, SelectedRange) {
    using Range = std::optional<std::pair<std::size_t, std::size_t>>;
    struct Case {
        std::string preedit;
        int start, end;
        Range range;
    };
    const Case cases[] = {
        {"abcdef", 3, 6, Range({3, 6})},
        {"abcdef", 0, 0, std::nullopt},
        {"abcdef", 0, 7, std::nullopt},
        {"abcdef", -1, 2, std::nullopt},
        {"abcdef", 4, 2, std::nullopt},
        {"你好ma", 3, 8, Range({1, 4})},
        {"你好ma", 1, 8, std::nullopt},  // inside a three-byte character
        {"你好ma", 0, 4, std::nullopt},
        {"e\xcc\x81x", 0, 3, Range({0, 1})},  // e + combining accent is one Character
        {"e\xcc\x81x", 0, 1, std::nullopt},
    };
    for (const auto& c : cases) {
        RimeContextSnapshot s;
        s.preedit = c.preedit;
        s.selStart = c.start;
        s.selEnd = c.end;
        EXPECT_EQ(s.selectedRange(), c.range) << c.preedit << " " << c.start << "-" << c.end;
    }
}

TEST(RimeContextSnapshot, EmptinessAndEquality) {
    RimeContextSnapshot a;
    EXPECT_TRUE(a.isEmpty());
    a.candidates.push_back({"你", std::nullopt});
    EXPECT_FALSE(a.isEmpty());
    RimeContextSnapshot b = a;
    EXPECT_EQ(a, b);
    b.highlightedIndex = 1;
    EXPECT_NE(a, b);
    RimeContextSnapshot c;
    c.preedit = "n";
    EXPECT_FALSE(c.isEmpty());
}

TEST(RimeNotification, Parsing) {
    using N = RimeNotification;
    struct Case {
        const char* type;
        const char* value;
        RimeNotification expected;
    };
    const Case cases[] = {
        {"deploy", "start", N::Deploy{N::DeployPhase::start}},
        {"deploy", "success", N::Deploy{N::DeployPhase::success}},
        {"deploy", "failure", N::Deploy{N::DeployPhase::failure}},
        {"deploy", "finished", N::Deploy{N::DeployPhase::start}},
        {"Deploy", "success", N::Other{"Deploy", "success"}},
        {"schema", "luna_pinyin/朙月拼音", N::Schema{"luna_pinyin", "朙月拼音"}},
        {"schema", "sorvane", N::Schema{"sorvane", "sorvane"}},
        {"schema", "a/b/c", N::Schema{"a", "b/c"}},
        {"option", "ascii_mode", N::Option{"ascii_mode", true}},
        {"option", "!ascii_mode", N::Option{"ascii_mode", false}},
        {"option", "!", N::Option{"", false}},
        {"option", "", N::Option{"", true}},
        {"property", "x=1", N::Other{"property", "x=1"}},
    };
    for (const auto& c : cases) EXPECT_EQ(N::parse(c.type, c.value), c.expected) << c.type << " " << c.value;
}

TEST(RimeNotification, DescriptionsAndPhases) {
    using N = RimeNotification;
    EXPECT_EQ(N::parse("deploy", "success").description(), "deploy(success)");
    EXPECT_EQ(N::parse("schema", "a/B").description(), "schema(id: a, name: B)");
    EXPECT_EQ(N::parse("option", "!zh_hans").description(), "option(name: zh_hans, enabled: false)");
    EXPECT_EQ(N::parse("x", "y").description(), "other(type: x, value: y)");
    EXPECT_EQ(N::deployPhase("failure"), N::DeployPhase::failure);
    EXPECT_FALSE(N::deployPhase("Failure").has_value());
    EXPECT_EQ(N::rawValue(N::DeployPhase::success), "success");
}

TEST(RimeEngineError, Texts) {
    using K = RimeEngineError::Kind;
    struct Case {
        RimeEngineError error;
        const char* text;
    };
    const Case cases[] = {
        {RimeEngineError::missingSharedDataDir("/x/rime"),
         "shared data dir does not exist: /x/rime (run scripts/fetch-rime-data)"},
        {K::apiUnavailable, "rime_get_api() returned NULL \u2014 librime is not linked correctly"},
        {K::alreadyStarted, "RimeEngine.start() called twice"},
        {K::notStarted, "RimeEngine has not been started"},
        {K::sessionCreationFailed, "RimeApi.create_session() returned 0"},
        {K::deployFailed, "RimeApi.deploy() returned false"},
        {K::noSession, "no rime session; call createSession() first"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.error.description(), c.text);
    EXPECT_EQ(describe(RimeEngineFailure(RimeEngineError(K::notStarted))), "RimeEngine has not been started");
    FileError fileError{FileError::Kind::permissionDenied, 13, "Permission denied (/x)"};
    EXPECT_EQ(describe(RimeEngineFailure(fileError)), "Permission denied (/x)");
}

}  // namespace
}  // namespace sorvane
