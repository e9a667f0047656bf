#include <gtest/gtest.h>

#include "kit/account/AccountRecords.h"

namespace sorvane {
namespace {

TEST(AccountRecords, EnvelopeMembersAreOptionalButTyped) {
    struct Case {
        const char* body;
        bool decodes;
    };
    const Case cases[] = {
        {R"({"success":true})", true},
        {R"({})", true},
        {R"({"success":null,"data":null,"error":null})", true},
        {R"({"success":"yes"})", false},
        {R"({"success":true,"error":5})", false},
        {R"([])", false},
        {R"("text")", false},
        {R"(<html>)", false},
        {"", false},
        {R"({"success":true,"data":{"appId":"a"}})", false},  // data lacks redirectUri
    };
    for (const auto& c : cases) {
        EXPECT_EQ(APIEnvelope<WeChatOAuthConfig>::decode(c.body).has_value(), c.decodes) << c.body;
    }
}

TEST(AccountRecords, EnvelopeWithoutDataHasNothing) {
    auto e = APIEnvelope<WeChatOAuthConfig>::decode(R"({"success":true})");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->success, true);
    EXPECT_FALSE(e->data);
    EXPECT_FALSE(e->error);

    // Null data is absent even though the payload has required members.
    auto n = APIEnvelope<LoginResult>::decode(R"({"success":false,"data":null,"error":"x"})");
    ASSERT_TRUE(n);
    EXPECT_FALSE(n->data);
    EXPECT_EQ(n->error, "x");
}

TEST(AccountRecords, EmptyDataTakesAnyValue) {
    for (const char* data : {"{}", "[1,2]", "3", "\"s\"", "true", "false"}) {
        std::string body = std::string(R"({"success":true,"data":)") + data + "}";
        auto e = APIEnvelope<EmptyData>::decode(body);
        ASSERT_TRUE(e) << body;
        EXPECT_TRUE(e->data) << body;
    }
}

TEST(AccountRecords, OAuthConfigDecodes) {
    auto e = APIEnvelope<WeChatOAuthConfig>::decode(
        R"({"success":true,"data":{"appId":"wx1","redirectUri":"https://r.example/cb","extra":1}})");
    ASSERT_TRUE(e && e->data);
    EXPECT_EQ(*e->data, (WeChatOAuthConfig{"wx1", "https://r.example/cb"}));
}

TEST(AccountRecords, UserDecodingTable) {
    struct Case {
        const char* json;
        std::optional<AccountUser> expected;
    };
    const Case cases[] = {
        {R"({"id":7})", AccountUser{7, std::nullopt, std::nullopt}},
        {R"({"id":7,"nickname":"小明","avatarUrl":"https://a.example/x.png"})",
         AccountUser{7, "小明", "https://a.example/x.png"}},
        {R"({"id":7,"nickname":null})", AccountUser{7, std::nullopt, std::nullopt}},
        {R"({"id":-3})", AccountUser{-3, std::nullopt, std::nullopt}},
        {R"({"id":9223372036854775807})", AccountUser{INT64_MAX, std::nullopt, std::nullopt}},
        {R"({"id":9223372036854775808})", std::nullopt},
        {R"({"id":"7"})", std::nullopt},
        {R"({"id":7.5})", std::nullopt},
        {R"({"id":null})", std::nullopt},
        {R"({"nickname":"a"})", std::nullopt},
        {R"({"id":7,"nickname":3})", std::nullopt},
        {R"([7])", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(AccountUser::decode(c.json), c.expected) << c.json;
}

TEST(AccountRecords, UserEncodingLeavesOutAbsentMembers) {
    EXPECT_EQ(AccountUser(7, std::nullopt, std::nullopt).encoded(), R"({"id":7})");
    EXPECT_EQ(AccountUser(7, "n", "u").encoded(), R"({"avatarUrl":"u","id":7,"nickname":"n"})");
    AccountUser user{42, "小明", std::nullopt};
    EXPECT_EQ(AccountUser::decode(*user.encoded()), user);
    // Text that is not UTF-8 cannot be encoded.
    EXPECT_FALSE(AccountUser(1, std::string("\xff"), std::nullopt).encoded());
}

TEST(AccountRecords, MeResponseDerivesUser) {
    struct Case {
        const char* data;
        std::optional<AccountUser> user;
    };
    const Case cases[] = {
        {R"({"id":7,"tokenExpired":true})", std::nullopt},
        {R"({"id":7,"tokenExpired":false,"nickname":"n"})", AccountUser{7, "n", std::nullopt}},
        {R"({"id":7})", AccountUser{7, std::nullopt, std::nullopt}},
        {R"({"tokenExpired":false})", std::nullopt},
        {R"({})", std::nullopt},
    };
    for (const auto& c : cases) {
        auto e = APIEnvelope<MeResponse>::decode(std::string(R"({"success":true,"data":)") + c.data + "}");
        ASSERT_TRUE(e && e->data) << c.data;
        EXPECT_EQ(e->data->user(), c.user) << c.data;
    }
    EXPECT_FALSE(APIEnvelope<MeResponse>::decode(R"({"success":true,"data":{"id":"x"}})"));
    EXPECT_FALSE(APIEnvelope<MeResponse>::decode(R"({"success":true,"data":{"tokenExpired":"no"}})"));
}

TEST(AccountRecords, LoginResultNeedsTokenAndWholeUser) {
    auto ok = APIEnvelope<LoginResult>::decode(R"({"success":true,"data":{"token":"t","user":{"id":1}}})");
    ASSERT_TRUE(ok && ok->data);
    EXPECT_EQ(ok->data->token, "t");
    EXPECT_EQ(ok->data->user, (AccountUser{1, std::nullopt, std::nullopt}));
    EXPECT_FALSE(
        APIEnvelope<LoginResult>::decode(R"({"success":true,"data":{"token":"t","user":{"nickname":"a"}}})"));
    EXPECT_FALSE(APIEnvelope<LoginResult>::decode(R"({"success":true,"data":{"user":{"id":1}}})"));
    EXPECT_FALSE(APIEnvelope<LoginResult>::decode(R"({"success":true,"data":{"token":"t"}})"));
}

}  // namespace
}  // namespace sorvane
