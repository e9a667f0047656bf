#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "kit/route/Secrets.h"
#include "tests/support/MemoryKeychain.h"
#include "tests/support/ScopedEnvironment.h"

namespace sorvane {
namespace {

using testing::ScopedEnvironment;
using testing::ScopedMemoryKeychain;

constexpr const char* kService = "cn.kestrum.inputmethod";
constexpr const char* kAccount = "deepseek";

TEST(Secrets, EnvironmentWinsTrimmedWhileKeychainKeepsItsOwn) {
    ScopedMemoryKeychain keychain;
    keychain->put(kService, kAccount, "sk-keychain-key");
    ScopedEnvironment env("DEEPSEEK_API_KEY", "  sk-env-key \n");

    auto resolved = Secrets::resolveDeepSeekAPIKey();
    ASSERT_TRUE(resolved);
    EXPECT_EQ(resolved->key, "sk-env-key");
    EXPECT_EQ(resolved->source, Secrets::Source::environment);
    EXPECT_EQ(Secrets::deepSeekAPIKey(), "sk-env-key");
    EXPECT_EQ(Secrets::keychainAPIKey(), "sk-keychain-key");
}

TEST(Secrets, BlankEnvironmentFallsBackToKeychain) {
    ScopedMemoryKeychain keychain;
    keychain->put(kService, kAccount, " sk-keychain-key\t");
    ScopedEnvironment env("DEEPSEEK_API_KEY", " \n ");

    auto resolved = Secrets::resolveDeepSeekAPIKey();
    ASSERT_TRUE(resolved);
    EXPECT_EQ(resolved->key, "sk-keychain-key");
    EXPECT_EQ(resolved->source, Secrets::Source::keychain);
    // The item itself is given as stored.
    EXPECT_EQ(Secrets::keychainAPIKey(), " sk-keychain-key\t");
}

TEST(Secrets, NoKeyAnywhere) {
    ScopedMemoryKeychain keychain;
    ScopedEnvironment env("DEEPSEEK_API_KEY", std::nullopt);
    EXPECT_EQ(Secrets::resolveDeepSeekAPIKey(), std::nullopt);
    keychain->put(kService, kAccount, "   ");
    EXPECT_EQ(Secrets::resolveDeepSeekAPIKey(), std::nullopt);
}

TEST(Secrets, UnreadableOrNonUtf8KeychainReadsAsNoKey) {
    ScopedMemoryKeychain keychain;
    ScopedEnvironment env("DEEPSEEK_API_KEY", std::nullopt);
    keychain->put(kService, kAccount, std::string("sk-\xff\xfe-key"));
    EXPECT_EQ(Secrets::keychainAPIKey(), std::nullopt);
    keychain->put(kService, kAccount, "sk-fine-key");
    keychain->failCopies(KeychainStatusCode::interactionNotAllowed);
    EXPECT_EQ(Secrets::keychainAPIKey(), std::nullopt);
    EXPECT_EQ(Secrets::resolveDeepSeekAPIKey(), std::nullopt);
}

TEST(Secrets, StoreTrimsThenUpdatesInPlace) {
    ScopedMemoryKeychain keychain;
    ASSERT_TRUE(Secrets::storeDeepSeekAPIKey(" sk-first\n"));
    EXPECT_EQ(keychain->get(kService, kAccount), "sk-first");
    EXPECT_EQ(keychain->updates(), 0);

    ASSERT_TRUE(Secrets::storeDeepSeekAPIKey("sk-second"));
    EXPECT_EQ(keychain->get(kService, kAccount), "sk-second");
    EXPECT_EQ(keychain->adds(), 2);
    EXPECT_EQ(keychain->updates(), 1);
    EXPECT_EQ(keychain->itemCount(), 1u);
}

TEST(Secrets, StoreRefusesWhatCouldNeverBeSentBeforeTouchingTheKeychain) {
    struct Case {
        const char* name;
        std::string key;
    };
    const Case cases[] = {
        {"empty", ""},
        {"blank", " \t\n"},
        {"inner line feed", "sk-abc\ndef"},
        {"inner carriage return", "sk-abc\rdef"},
        {"inner NUL", std::string("sk-abc\0def", 10)},
    };
    for (const auto& c : cases) {
        ScopedMemoryKeychain keychain;
        auto stored = Secrets::storeDeepSeekAPIKey(c.key);
        ASSERT_FALSE(stored) << c.name;
        EXPECT_EQ(stored.error().status, -50) << c.name;
        EXPECT_EQ(keychain->adds(), 0) << c.name;
        EXPECT_EQ(keychain->itemCount(), 0u) << c.name;
    }
}

TEST(Secrets, StoreReportsKeychainFailures) {
    ScopedMemoryKeychain keychain;
    keychain->failAdds(KeychainStatusCode::interactionNotAllowed);
    auto stored = Secrets::storeDeepSeekAPIKey("sk-key");
    ASSERT_FALSE(stored);
    EXPECT_EQ(stored.error().status, -25308);

    keychain->failAdds(0);
    keychain->put(kService, kAccount, "sk-old");
    keychain->failUpdates(KeychainStatusCode::authFailed);
    stored = Secrets::storeDeepSeekAPIKey("sk-new");
    ASSERT_FALSE(stored);
    EXPECT_EQ(stored.error().status, -25293);
    EXPECT_EQ(keychain->get(kService, kAccount), "sk-old");
}

TEST(Secrets, DeleteSucceedsWhenThereIsNothingToDelete) {
    ScopedMemoryKeychain keychain;
    EXPECT_TRUE(Secrets::deleteDeepSeekAPIKey());
    keychain->put(kService, kAccount, "sk-key");
    EXPECT_TRUE(Secrets::deleteDeepSeekAPIKey());
    EXPECT_EQ(keychain->itemCount(), 0u);

    keychain->failRemoves(KeychainStatusCode::notAvailable);
    auto deleted = Secrets::deleteDeepSeekAPIKey();
    ASSERT_FALSE(deleted);
    EXPECT_EQ(deleted.error().status, -25291);
}

TEST(Secrets, RedactsOnlyKeysOfEightCharactersOrMore) {
    ScopedMemoryKeychain keychain;
    {
        ScopedEnvironment env("DEEPSEEK_API_KEY", "sk-1234");  // 7 Characters
        EXPECT_EQ(Secrets::redact("bad key sk-1234"), "bad key sk-1234");
    }
    {
        ScopedEnvironment env("DEEPSEEK_API_KEY", "sk-12345");  // 8 Characters
        EXPECT_EQ(Secrets::redact("sk-12345 and sk-12345!"), "<redacted> and <redacted>!");
        EXPECT_EQ(Secrets::redact("SK-12345"), "SK-12345") << "the search is case-sensitive";
    }
    {
        // Characters, not bytes: four CJK characters are 12 bytes but too short.
        ScopedEnvironment env("DEEPSEEK_API_KEY", "钥匙钥匙");
        EXPECT_EQ(Secrets::redact("x钥匙钥匙x"), "x钥匙钥匙x");
    }
    {
        ScopedEnvironment env("DEEPSEEK_API_KEY", std::nullopt);
        keychain->put(kService, kAccount, "sk-from-keychain");
        EXPECT_EQ(Secrets::redact("[sk-from-keychain]"), "[<redacted>]");
    }
    {
        // The environment's key wins the route, yet the stored one is hidden
        // too, from a single keychain read.
        ScopedEnvironment env("DEEPSEEK_API_KEY", "sk-from-environment");
        const int copiesBefore = keychain->copies();
        EXPECT_EQ(Secrets::redact("sk-from-environment sk-from-keychain"), "<redacted> <redacted>");
        EXPECT_EQ(keychain->copies(), copiesBefore + 1);
    }
}

TEST(Secrets, KeychainErrorDescription) {
    EXPECT_EQ(Secrets::KeychainError{-25308}.description(),
              "Keychain error -25308: User interaction is not allowed.");
    EXPECT_EQ(Secrets::KeychainError{-50}.description(),
              "Keychain error -50: One or more parameters passed to a function were not valid.");
    EXPECT_EQ(Secrets::KeychainError{-1234567}.description(), "Keychain error -1234567: unknown");
}

}  // namespace
}  // namespace sorvane
