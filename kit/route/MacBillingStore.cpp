#include "kit/route/MacBillingStore.h"

#include <filesystem>
#include <string_view>

#include "kit/account/AccountCredentials.h"
#include "platform/SorvaneLog.h"
#include "platform/Text.h"
#include "platform/Uuid.h"

namespace sorvane {
namespace {

using Source = MacBillingState::Source;
using KeyStatus = MacBillingState::KeyStatus;

constexpr std::string_view fillInKeyFirst = "先填写 DeepSeek Key。";
constexpr std::string_view malformedKey = "请填写 sk- 开头的完整 DeepSeek Key。";
constexpr std::string_view rejectedOnSave = "DeepSeek 不认这个 Key，请检查后重新填写。";
constexpr std::string_view keychainRefused = "无法保存 Key（钥匙串写入失败）。";
constexpr std::string_view savedKey = "已保存，改写将直连 DeepSeek。";
constexpr std::string_view keyWorks = "Key 可用。";
constexpr std::string_view rejectedOnRecheck = "DeepSeek 不认这个 Key，请重新填写。";
constexpr std::string_view removedKey = "已从这台 Mac 删除 Key，改写改经Kestrum服务器转给 DeepSeek。";
constexpr std::string_view keyNotRemoved =
    "无法从这台 Mac 的钥匙串删除 Key；改写已改经Kestrum服务器转给 DeepSeek。";
constexpr std::string_view routeNotWritten = "改写设置没能保存（无法写入文件），请稍后再试。";

std::string newPreviewFileName() {
    return "sorvane-billing-preview-" + Uuid::random() + ".json";
}

}  // namespace

MacBillingStore::MacBillingStore(Services services, MainQueue& mainQueue)
    : MacBillingStore(services, mainQueue, false, MacBillingState::defaultState(), false, false) {
    if (!services_.hasToken)
        services_.hasToken = [] { return AccountCredentials::live().token().has_value(); };
    state_ = services_.file.load().value_or(MacBillingState::defaultState());
    termsAccepted_ = services_.stateFile.termsAcceptedVersion() == std::string(termsVersion);
    signedIn_ = services_.hasToken();
}

MacBillingStore::MacBillingStore(Services services, MainQueue& mainQueue, bool isPreview,
                                 MacBillingState state, bool termsAccepted, bool signedIn)
    : services_(std::move(services)),
      mainQueue_(mainQueue),
      isPreview_(isPreview),
      state_(std::move(state)),
      termsAccepted_(termsAccepted),
      signedIn_(signedIn) {
    if (!services_.verifyKey) services_.verifyKey = &MacBillingStore::verifyWithDeepSeek;
}

std::unique_ptr<MacBillingStore> MacBillingStore::live(MainQueue& mainQueue) {
    // The default services are the live ones, read from the current HOME.
    return std::make_unique<MacBillingStore>(Services{}, mainQueue);
}

std::unique_ptr<MacBillingStore> MacBillingStore::preview(bool key, KeyStatus keyStatus, bool termsAccepted,
                                                          bool signedIn, MainQueue& mainQueue) {
    Services services;
    services.file = MacBillingStateFile(std::filesystem::temp_directory_path() / newPreviewFileName());
    services.hasToken = [signedIn] { return signedIn; };
    const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    MacBillingState state = key ? MacBillingState(Source::ownKey, "8f2a", keyStatus, now)
                                : MacBillingState(Source::credits, std::nullopt, std::nullopt, now);
    return std::unique_ptr<MacBillingStore>(
        new MacBillingStore(std::move(services), mainQueue, true, std::move(state), termsAccepted, signedIn));
}

MacBillingStore::~MacBillingStore() {
    life_.reset();
    if (checkStop_) checkStop_->cancel();
    if (worker_.joinable()) worker_.join();
}

ObserverSubscription MacBillingStore::observeChanges(std::function<void()> observer) {
    return observers_.add(std::move(observer));
}

void MacBillingStore::changed() {
    observers_.notify();
}

void MacBillingStore::clearMessage() {
    if (!message_) return;
    message_.reset();
    changed();
}

bool MacBillingStore::write(const std::function<void(MacBillingState&)>& change) {
    auto written = services_.file.update(change);
    if (!written) {
        message_ = std::string(routeNotWritten);
        return false;
    }
    state_ = std::move(*written);
    return true;
}

void MacBillingStore::select(Source source) {
    if (isPreview_) {
        state_.source = source;
    } else if (source == Source::ownKey && !state_.keySuffix) {
        message_ = std::string(fillInKeyFirst);
    } else if (write([source](MacBillingState& s) { s.source = source; })) {
        message_.reset();
    }
    changed();
}

KeyCheck MacBillingStore::verifyWithDeepSeek(const std::string& key, HttpCancellation& stop) {
    return DeepSeekKeyCheck{}.verify(key, &stop);
}

bool MacBillingStore::isWellFormedKey(std::string_view key) {
    if (key.substr(0, 3) != "sk-" || key.size() < 20 || key.size() > 200) return false;
    for (char c : key) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                             c == '-' || c == '_';
        if (!allowed) return false;
    }
    return true;
}

void MacBillingStore::check(const std::string& key, std::function<void(KeyCheck)> apply,
                            std::function<void()> dropped) {
    checkingKey_ = true;
    changed();
    if (worker_.joinable()) worker_.join();  // the last check has already posted its result
    std::weak_ptr<Life> life = life_;
    checkStop_ = std::make_shared<HttpCancellation>();
    const std::uint64_t generation = keyGeneration_;
    worker_ = std::thread([this, verify = services_.verifyKey, key, life, generation, stop = checkStop_,
                           apply = std::move(apply), dropped = std::move(dropped)] {
        KeyCheck result = verify(key, *stop);
        mainQueue_.post([this, life, generation, apply, dropped, result = std::move(result)] {
            if (!life.lock()) return;
            checkingKey_ = false;
            // The key was removed or replaced meanwhile: the answer is about
            // a key the page no longer shows, and billing.json must not
            // record it.
            if (generation != keyGeneration_) {
                dropped();
            } else {
                apply(result);
            }
            changed();
        });
    });
}

void MacBillingStore::saveKey(const std::string& raw, std::function<void(bool)> done) {
    auto finish = [done](bool saved) {
        if (done) done(saved);
    };
    if (isPreview_ || checkingKey_) return finish(false);
    // Only ASCII passes the format check, so byte length is character length.
    const std::string key = Text::trimmed(raw);
    if (!isWellFormedKey(key)) {
        message_ = std::string(malformedKey);
        changed();
        return finish(false);
    }
    check(
        key,
        [this, key, finish](const KeyCheck& result) {
            switch (result.kind) {
                case KeyCheck::Kind::ok:
                    break;
                case KeyCheck::Kind::invalid:
                    message_ = std::string(rejectedOnSave);
                    return finish(false);
                case KeyCheck::Kind::unreachable:
                    message_ = "暂时无法验证 Key（" + result.reason + "），请稍后再试。";
                    return finish(false);
            }
            if (auto stored = services_.keyStore.save(key); !stored) {
                message_ = std::string(keychainRefused);
                SorvaneLog::log("[Sorvane] own key not stored: " + stored.error().description());
                return finish(false);
            }
            ++keyGeneration_;
            const std::string suffix = key.substr(key.size() - 4);
            const bool written = write([&suffix](MacBillingState& s) {
                s.keySuffix = suffix;
                s.keyStatus = KeyStatus::ok;
                s.source = Source::ownKey;
            });
            if (written) message_ = std::string(savedKey);
            finish(written);
        },
        [finish] { finish(false); });
}

void MacBillingStore::recheckKey(std::function<void()> done) {
    auto finish = [done] {
        if (done) done();
    };
    if (isPreview_ || checkingKey_) return finish();
    const auto stored = services_.keyStore.load();
    if (!stored) return finish();
    check(
        *stored,
        [this, finish](const KeyCheck& result) {
            switch (result.kind) {
                case KeyCheck::Kind::ok:
                    if (write([](MacBillingState& s) { s.keyStatus = KeyStatus::ok; }))
                        message_ = std::string(keyWorks);
                    break;
                case KeyCheck::Kind::invalid:
                    if (write([](MacBillingState& s) { s.keyStatus = KeyStatus::invalid; }))
                        message_ = std::string(rejectedOnRecheck);
                    break;
                case KeyCheck::Kind::unreachable:
                    message_ = "暂时无法验证 Key（" + result.reason + "）。";
                    break;
            }
            finish();
        },
        finish);
}

void MacBillingStore::removeKey() {
    if (isPreview_) return;
    // A check still running is about the key going away: its answer is
    // dropped, and it need not keep the page waiting.
    ++keyGeneration_;
    if (checkingKey_ && checkStop_) checkStop_->cancel();
    const auto removed = services_.keyStore.remove();
    const bool written = write([](MacBillingState& s) {
        s.keySuffix.reset();
        s.keyStatus.reset();
        s.source = Source::credits;
    });
    if (written) message_ = std::string(removed ? removedKey : keyNotRemoved);
    changed();
}

void MacBillingStore::setTermsAccepted(bool accepted) {
    if (accepted == termsAccepted_ || isPreview_) return;
    termsAccepted_ = accepted;
    if (accepted) {
        services_.stateFile.acceptTerms(std::string(termsVersion));
        message_.reset();
    } else {
        services_.stateFile.update([](nlohmann::json& object) { object.erase("termsAcceptedVersion"); });
    }
    changed();
}

void MacBillingStore::start() {
    if (isPreview_ || started_) return;
    started_ = true;
}

void MacBillingStore::loginChanged(bool signedIn) {
    if (isPreview_) return;
    signedIn_ = signedIn;
    changed();
}

std::optional<std::string> MacBillingStore::keyShort() const {
    if (!state_.keySuffix) return std::nullopt;
    return "sk-••••" + *state_.keySuffix;
}

std::string MacBillingStore::keyStatusText() const {
    if (!state_.keySuffix) return "还没填写 Key";
    if (state_.keyStatus == KeyStatus::invalid) return "Key 无效 · 请重新填写";
    if (state_.keyStatus == KeyStatus::balanceEmpty) return "DeepSeek 余额不足 · 去 DeepSeek 充值";
    return "可用 · 改写直连 DeepSeek";
}

}  // namespace sorvane
