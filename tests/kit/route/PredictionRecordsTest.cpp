#include <gtest/gtest.h>

#include <limits>
#include <unordered_set>

#include "kit/english/Suggestion.h"
#include "kit/route/PredictionError.h"
#include "kit/route/PredictionRoute.h"
#include "kit/route/PredictionUsage.h"

namespace sorvane {
namespace {

TEST(Suggestion, JoinedTrimsAndSpacesTheParts) {
    struct Case {
        const char* normalized;
        const char* continuation;
        Suggestion expected;
    };
    const Case cases[] = {
        {"  I think ", " it works. ", {"I think", " it works."}},
        {"", "hello", {"", "hello"}},
        {"Hi", "   ", {"Hi", ""}},
        {"\nHi\t", "\tthere.\n", {"Hi", " there."}},
        {"", "", {"", ""}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Suggestion::joined(c.normalized, c.continuation), c.expected)
            << c.normalized << "|" << c.continuation;
    }
}

TEST(Suggestion, DerivedValues) {
    const Suggestion blank{" ", "\n"};
    EXPECT_TRUE(blank.isEmpty());
    EXPECT_EQ(blank.description(), " \u2039\n\u203A");
    const Suggestion s{"I think", " it works."};
    EXPECT_FALSE(s.isEmpty());
    EXPECT_EQ(s.full(), "I think it works.");
    EXPECT_EQ(s.description(), "I think\u2039 it works.\u203A");
}

TEST(Suggestion, CanonicallyEqualSuggestionsHashAlike) {
    const Suggestion precomposed{"caf\u00e9", ""};
    const Suggestion decomposed{"cafe\u0301", ""};
    EXPECT_EQ(precomposed, decomposed);
    EXPECT_EQ(std::hash<Suggestion>{}(precomposed), std::hash<Suggestion>{}(decomposed));
    std::unordered_set<Suggestion> set{precomposed, decomposed, Suggestion{"cafe", ""}};
    EXPECT_EQ(set.size(), 2u);
    EXPECT_NE((Suggestion{"a", "b"}), (Suggestion{"ab", ""}));
}

TEST(PredictionRoute, EqualityComparesCaseAndPayload) {
    const auto proxy = PredictionRoute::subscription("https://api.example.test/brindor/api/sorvane/v1",
                                                     {{"X-Device-ID", "d1"}, {"X-Client-App", "sorvane"}});
    EXPECT_EQ(proxy, PredictionRoute::subscription("https://api.example.test/brindor/api/sorvane/v1",
                                                   {{"X-Client-App", "sorvane"}, {"X-Device-ID", "d1"}}));
    EXPECT_NE(proxy, PredictionRoute::subscription("https://api.example.test/brindor/api/sorvane/v1",
                                                   {{"X-Device-ID", "d2"}, {"X-Client-App", "sorvane"}}));
    EXPECT_NE(proxy, PredictionRoute::subscription("https://api.example.test/brindor/api/sorvane/v1", {}));
    EXPECT_EQ(PredictionRoute::ownKey("sk-1"), PredictionRoute::ownKey("sk-1"));
    EXPECT_NE(PredictionRoute::ownKey("sk-1"), PredictionRoute::ownKey("sk-2"));
    EXPECT_NE(PredictionRoute::ownKey(""), PredictionRoute::subscription("", {}));
}

TEST(PredictionUsage, DerivedCounts) {
    const PredictionUsage usage{64, 36, 20};
    EXPECT_EQ(usage.promptTokens(), 100);
    EXPECT_EQ(usage.totalTokens(), 120);
    // Counts come from the service: absurd ones saturate instead of wrapping.
    constexpr auto most = std::numeric_limits<std::int64_t>::max();
    constexpr auto least = std::numeric_limits<std::int64_t>::min();
    EXPECT_EQ((PredictionUsage{most, 1, 0}).promptTokens(), most);
    EXPECT_EQ((PredictionUsage{most - 1, 1, 0}).promptTokens(), most);
    EXPECT_EQ((PredictionUsage{1, 2, most}).totalTokens(), most);
    EXPECT_EQ((PredictionUsage{least, -1, 0}).promptTokens(), least);
    EXPECT_EQ((PredictionUsage{0, 0, least}).totalTokens(), least);
    EXPECT_EQ(PredictionUsageEvent::completed(usage), PredictionUsageEvent::completed(usage));
    EXPECT_NE(PredictionUsageEvent::completed(PredictionUsage{}), PredictionUsageEvent::cancelled());
}

TEST(PredictionError, DescriptionsAndRouteRejections) {
    struct Case {
        PredictionError error;
        const char* description;
        bool routeRejection;
        const char* caseName;
    };
    const Case cases[] = {
        {PredictionError::httpStatus(500, "oops"), "DeepSeek returned HTTP 500: oops", false, "httpStatus"},
        {PredictionError::decoding("bad"), "Could not parse the DeepSeek response: bad", false, "decoding"},
        {PredictionError::missingAPIKey(),
         "No DeepSeek API key. Set DEEPSEEK_API_KEY, or store one in the Keychain (service "
         "cn.kestrum.inputmethod, account deepseek).",
         false, "missingAPIKey"},
        {PredictionError::emptyResponse(), "DeepSeek returned an empty completion.", false, "emptyResponse"},
        {PredictionError::tooShort(), "Input is shorter than the minimum word count.", false, "tooShort"},
        {PredictionError::quotaExceeded(), "Today's prediction quota for this device is used up.", false,
         "quotaExceeded"},
        {PredictionError::rateLimited(), "The prediction service asked to slow down.", false, "rateLimited"},
        {PredictionError::ownKeyInvalid(), "DeepSeek rejected the API key (HTTP 401).", true,
         "ownKeyInvalid"},
        {PredictionError::ownKeyBalanceEmpty(),
         "The DeepSeek account behind this API key has no balance (HTTP 402).", true, "ownKeyBalanceEmpty"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.error.errorDescription(), c.description);
        EXPECT_EQ(c.error.isRouteRejection(), c.routeRejection) << c.caseName;
        EXPECT_EQ(c.error.caseName(), c.caseName);
    }
    const auto login = PredictionError::loginRequired();
    EXPECT_TRUE(login.isRouteRejection());
    EXPECT_NE(login.errorDescription().find("Sign in"), std::string::npos);
}

TEST(PredictionError, EqualityComparesPayloads) {
    EXPECT_EQ(PredictionError::httpStatus(500, "a"), PredictionError::httpStatus(500, "a"));
    EXPECT_NE(PredictionError::httpStatus(500, "a"), PredictionError::httpStatus(501, "a"));
    EXPECT_NE(PredictionError::httpStatus(500, "a"), PredictionError::httpStatus(500, "b"));
    EXPECT_NE(PredictionError::decoding("a"), PredictionError::httpStatus(0, "a"));
    EXPECT_EQ(PredictionError::httpStatus(500, "a").detail(), "");
}

}  // namespace
}  // namespace sorvane
