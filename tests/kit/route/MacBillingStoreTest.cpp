#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>

#include "kit/route/MacBillingStore.h"
#include "platform/files/Files.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/MemoryKeychain.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/TempHome.h"
#include "tests/support/VirtualTime.h"

namespace sorvane {
namespace {

using namespace std::chrono_literals;
using Source = MacBillingState::Source;
using KeyStatus = MacBillingState::KeyStatus;

// The keyring as the store sees it, in memory.
struct FakeKeys {
    std::optional<std::string> stored;
    int saves = 0;
    std::optional<Secrets::KeychainError> failSave, failRemove;

    DeepSeekKeyStore store() {
        return {[this](std::string_view key) -> Expected<void, Secrets::KeychainError> {
                    ++saves;
                    if (failSave) return unexpected(*failSave);
                    stored = std::string(key);
                    return {};
                },
                [this] { return stored; },
                [this]() -> Expected<void, Secrets::KeychainError> {
                    if (failRemove) return unexpected(*failRemove);
                    stored.reset();
                    return {};
                }};
    }
};

class MacBillingStoreTest : public ::testing::Test {
protected:
    MacBillingStoreTest() {
        server_->Get("/user/balance", [this](const httplib::Request& request, httplib::Response& response) {
            ++requests;
            lastAuthorization = request.get_header_value("Authorization");
            testing::waitUntil([this] { return !stall; });
            response.status = status.load();
            response.set_content(R"({"is_available":true})", "application/json");
        });
        server_.start();
    }

    std::unique_ptr<MacBillingStore> makeStore(std::string baseURL = {},
                                               MacBillingStore::Verifier verifier = {}) {
        MacBillingStore::Services services;
        services.file = MacBillingStateFile::live();
        services.stateFile = AppStateFile{Files::supportDirectory() / "state.json"};
        services.keyStore = keys.store();
        services.verifyKey = [url = baseURL.empty() ? server_.baseURL() : baseURL](const std::string& key,
                                                                                   HttpCancellation& stop) {
            return DeepSeekKeyCheck{nullptr, url, 2s}.verify(key, &stop);
        };
        if (verifier) services.verifyKey = std::move(verifier);
        services.hasToken = [] { return true; };
        return std::make_unique<MacBillingStore>(services, time);
    }

    // Results come back from the worker through the virtual main queue.
    bool pumpUntil(const std::function<bool()>& done) {
        return testing::waitUntil([&] {
            time.runPending();
            return done();
        });
    }

    // Saves and waits for the outcome.
    bool save(MacBillingStore& store, const std::string& raw) {
        std::optional<bool> outcome;
        store.saveKey(raw, [&](bool saved) { outcome = saved; });
        EXPECT_TRUE(pumpUntil([&] { return outcome.has_value(); }));
        return outcome.value_or(false);
    }

    std::optional<std::string> billingBytes() {
        auto bytes = Files::readFile(MacBillingStateFile::live().url);
        if (!bytes) return std::nullopt;
        return *bytes;
    }

    testing::ScopedLogCapture log;
    testing::TempHome home;
    testing::VirtualTime time;
    FakeKeys keys;
    std::atomic<int> requests{0};
    std::atomic<int> status{200};
    std::atomic<bool> stall{false};
    std::string lastAuthorization;
    testing::LoopbackServer server_;
};

const std::string body20 = "sk-" + std::string(17, 'a');

TEST_F(MacBillingStoreTest, KeyFormatIsCheckedOnTheTrimmedKeyBeforeAnyRequest) {
    struct Case {
        std::string raw;
        bool wellFormed;
    };
    const Case cases[] = {
        {"sk-" + std::string(16, 'a'), false},           // 19
        {"sk-" + std::string(17, 'a'), true},            // 20
        {"sk-" + std::string(197, 'b'), true},           // 200
        {"sk-" + std::string(198, 'c'), false},          // 201
        {"  sk-" + std::string(16, 'd') + "\n", false},  // 19 once trimmed
        {"sk-" + std::string(16, 'e') + "ａ", false},    // full-width letter
        {"sk-" + std::string(16, 'f') + "é", false},     // accented letter
        {"sk-" + std::string(8, 'g') + " " + std::string(8, 'g'), false},
        {"sk-" + std::string(16, 'h') + ".", false},
        {"pk-" + std::string(17, 'i'), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.raw);
        auto store = makeStore();
        const int before = requests;
        EXPECT_EQ(save(*store, c.raw), c.wellFormed);
        EXPECT_EQ(requests - before, c.wellFormed ? 1 : 0);
        if (!c.wellFormed) {
            EXPECT_EQ(store->message(), "请填写 sk- 开头的完整 DeepSeek Key。");
        }
    }
}

TEST_F(MacBillingStoreTest, AcceptedKeyIsStoredTrimmedAndRecorded) {
    auto store = makeStore();
    const std::string key = "sk-" + std::string(13, 'x') + "_-9Q7w";
    EXPECT_TRUE(save(*store, "  " + key + " \n"));

    EXPECT_EQ(lastAuthorization, "Bearer " + key);
    EXPECT_EQ(keys.stored, key);
    EXPECT_EQ(
        billingBytes(),
        R"({"keyStatus":"ok","keySuffix":"9Q7w","source":"ownKey","verifiedAt":"0001-01-01T00:00:00Z"})");
    EXPECT_EQ(store->keyShort(), "sk-••••9Q7w");
    EXPECT_EQ(store->message(), "已保存，改写将直连 DeepSeek。");
    EXPECT_EQ(store->state(), *MacBillingStateFile::live().load());
    EXPECT_FALSE(store->checkingKey());
}

TEST_F(MacBillingStoreTest, RefusalsAndUnreachableChecksStoreNothing) {
    struct Case {
        int status;
        bool closedPort;
        std::string message;
    };
    const Case cases[] = {
        {401, false, "DeepSeek 不认这个 Key，请检查后重新填写。"},
        {402, false, "暂时无法验证 Key（DeepSeek 返回 402），请稍后再试。"},
        {500, false, "暂时无法验证 Key（DeepSeek 返回 500），请稍后再试。"},
        {0, true, "暂时无法验证 Key（未能连接到服务器），请稍后再试。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        status = c.status;
        auto store = makeStore(c.closedPort ? "http://127.0.0.1:" +
                                                  std::to_string(testing::LoopbackServer::closedPort())
                                            : std::string());
        EXPECT_FALSE(save(*store, body20));
        EXPECT_EQ(store->message(), c.message);
        EXPECT_EQ(keys.saves, 0);
        EXPECT_FALSE(billingBytes());
        EXPECT_EQ(store->state(), MacBillingState::defaultState());
    }
}

TEST_F(MacBillingStoreTest, ASecondSaveWhileCheckingIsRefusedAtOnce) {
    auto store = makeStore();
    stall = true;
    std::optional<bool> first, second;
    store->saveKey(body20, [&](bool saved) { first = saved; });
    EXPECT_TRUE(store->checkingKey());
    store->saveKey(body20, [&](bool saved) { second = saved; });
    EXPECT_EQ(second, false);
    stall = false;
    ASSERT_TRUE(pumpUntil([&] { return first.has_value(); }));
    EXPECT_TRUE(*first);
    EXPECT_EQ(requests, 1);

    // Closing the window during a check ends the check instead of waiting
    // for DeepSeek.
    stall = true;
    store->saveKey(body20, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return requests == 2; }));
    const auto closing = std::chrono::steady_clock::now();
    store.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - closing, 2s) << "the check stalls until the test ends it";
    stall = false;
}

TEST_F(MacBillingStoreTest, ARouteFileThatCannotBeWrittenIsNeverShownAsSaved) {
    const auto folder = Files::supportDirectory();
    struct Case {
        const char* name;
        std::function<void()> breakIt;
    };
    const Case cases[] = {
        // An existing billing.json that cannot be read is not replaced.
        {"unreadable", [&] { std::filesystem::create_directories(folder / "billing.json"); }},
        // The folder is a file: nothing can be written there.
        {"unwritable",
         [&] {
             std::filesystem::create_directories(folder.parent_path());
             std::ofstream(folder) << "x";
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(folder);
        c.breakIt();
        auto store = makeStore();
        EXPECT_FALSE(save(*store, body20));
        EXPECT_EQ(store->message(), "改写设置没能保存（无法写入文件），请稍后再试。");
        EXPECT_EQ(store->state(), MacBillingState::defaultState());
        EXPECT_FALSE(store->keyShort());
        EXPECT_TRUE(log.sink().contains("[Sorvane] billing state not written: "));
        std::filesystem::remove_all(folder);
    }
}

TEST_F(MacBillingStoreTest, RemovalFallsBackToTheProxyAndSaysWhenTheKeyringKeptTheKey) {
    for (bool keyringFails : {false, true}) {
        SCOPED_TRACE(keyringFails);
        keys.failRemove = keyringFails ? std::optional(Secrets::KeychainError{-25293}) : std::nullopt;
        auto store = makeStore();
        ASSERT_TRUE(save(*store, body20));
        store->removeKey();
        EXPECT_EQ(billingBytes(), R"({"source":"credits","verifiedAt":"0001-01-01T00:00:00Z"})");
        EXPECT_FALSE(store->keyShort());
        EXPECT_EQ(keys.stored.has_value(), keyringFails);
        EXPECT_EQ(store->message(),
                  keyringFails ? "无法从这台 Mac 的钥匙串删除 Key；改写已改经Kestrum服务器转给 DeepSeek。"
                               : "已从这台 Mac 删除 Key，改写改经Kestrum服务器转给 DeepSeek。");
    }
}

// "重新验证" (or a save) and then "删除 Key" while DeepSeek is slow: the late
// answer, however good, is about a key that is gone.
TEST_F(MacBillingStoreTest, ACheckAnsweringAfterItsKeyWasRemovedChangesNothing) {
    for (const bool recheck : {true, false}) {
        SCOPED_TRACE(recheck ? "recheck" : "save");
        std::atomic<bool> asked{false}, answer{false};
        // Answers when told to (or after a long while), whatever the store
        // cancels meanwhile.
        auto store = makeStore({}, [&](const std::string&, HttpCancellation&) {
            asked = true;
            for (int i = 0; i < 20'000 && !answer; ++i) std::this_thread::sleep_for(1ms);
            return KeyCheck::ok();
        });
        answer = true;
        ASSERT_TRUE(save(*store, body20));
        asked = answer = false;
        bool done = false;
        if (recheck) {
            store->recheckKey([&] { done = true; });
        } else {
            store->saveKey("sk-" + std::string(17, 'b'), [&](bool saved) { done = !saved; });
        }
        ASSERT_TRUE(pumpUntil([&] { return asked.load(); }));
        store->removeKey();
        const auto removed = billingBytes();
        const auto message = store->message();
        ASSERT_EQ(removed, R"({"source":"credits","verifiedAt":"0001-01-01T00:00:00Z"})");
        answer = true;
        ASSERT_TRUE(pumpUntil([&] { return done && !store->checkingKey(); }));
        EXPECT_EQ(billingBytes(), removed);
        EXPECT_EQ(store->message(), message);
        EXPECT_FALSE(store->keyShort());
        EXPECT_EQ(store->state(), MacBillingStateFile::live().load());
        EXPECT_EQ(keys.stored, std::nullopt);
    }
}

TEST_F(MacBillingStoreTest, RecheckRecordsTheAnswerOrKeepsTheStatusWhenUnreachable) {
    struct Case {
        int status;
        std::optional<KeyStatus> recorded;
        std::string message;
    };
    const Case cases[] = {
        {200, KeyStatus::ok, "Key 可用。"},
        {401, KeyStatus::invalid, "DeepSeek 不认这个 Key，请重新填写。"},
        {503, KeyStatus::balanceEmpty, "暂时无法验证 Key（DeepSeek 返回 503）。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        keys.stored = body20;
        ASSERT_TRUE(MacBillingStateFile::live().save(
            MacBillingState(Source::ownKey, "aaaa", KeyStatus::balanceEmpty)));
        auto store = makeStore();
        status = c.status;
        bool done = false;
        store->recheckKey([&] { done = true; });
        ASSERT_TRUE(pumpUntil([&] { return done; }));
        EXPECT_EQ(store->state().keyStatus, c.recorded);
        EXPECT_EQ(MacBillingStateFile::live().load()->keyStatus, c.recorded);
        EXPECT_EQ(store->message(), c.message);
    }
    // Without a key in the keyring there is nothing to check.
    keys.stored.reset();
    auto store = makeStore();
    bool done = false;
    const int before = requests;
    store->recheckKey([&] { done = true; });
    EXPECT_TRUE(done);
    EXPECT_EQ(requests, before);
    EXPECT_FALSE(store->message());
}

TEST_F(MacBillingStoreTest, OwnKeyRouteNeedsARecordedKey) {
    auto store = makeStore();
    int changes = 0;
    const auto watch = store->observeChanges([&] { ++changes; });
    store->select(Source::ownKey);
    EXPECT_EQ(store->message(), "先填写 DeepSeek Key。");
    EXPECT_FALSE(billingBytes());
    store->select(Source::credits);
    EXPECT_FALSE(store->message());
    EXPECT_EQ(billingBytes(), R"({"source":"credits","verifiedAt":"0001-01-01T00:00:00Z"})");
    EXPECT_EQ(changes, 2);
}

TEST_F(MacBillingStoreTest, PreviewStoreTouchesNoFileAndNoKeyring) {
    testing::ScopedMemoryKeychain keychain;
    auto store = MacBillingStore::preview(true, KeyStatus::invalid, false, true, time);
    EXPECT_TRUE(store->isPreview());
    EXPECT_EQ(store->keyShort(), "sk-••••8f2a");
    EXPECT_EQ(store->keyStatusText(), "Key 无效 · 请重新填写");
    EXPECT_TRUE(store->services().file.url.filename().string().starts_with("sorvane-billing-preview-"));

    store->select(Source::credits);
    EXPECT_EQ(store->state().source, Source::credits);
    std::optional<bool> saved;
    store->saveKey(body20, [&](bool s) { saved = s; });
    EXPECT_EQ(saved, false);
    store->removeKey();
    store->setTermsAccepted(true);
    store->loginChanged(false);
    bool rechecked = false;
    store->recheckKey([&] { rechecked = true; });
    EXPECT_TRUE(rechecked);

    EXPECT_EQ(requests, 0);
    EXPECT_EQ(keychain->copies() + keychain->adds() + keychain->updates() + keychain->removes(), 0);
    EXPECT_FALSE(std::filesystem::exists(Files::supportDirectory()));
    EXPECT_FALSE(std::filesystem::exists(store->services().file.url));
    EXPECT_FALSE(store->termsAccepted());
    EXPECT_TRUE(store->signedIn());
}

TEST_F(MacBillingStoreTest, TermsConsentIsRecordedAndWithdrawnInTheStateFile) {
    auto store = makeStore();
    const AppStateFile stateFile{Files::supportDirectory() / "state.json"};
    store->setTermsAccepted(true);
    EXPECT_EQ(stateFile.termsAcceptedVersion(), "2026-09-15");
    EXPECT_TRUE(makeStore()->termsAccepted());
    store->setTermsAccepted(false);
    EXPECT_FALSE(stateFile.termsAcceptedVersion());
}

}  // namespace
}  // namespace sorvane
