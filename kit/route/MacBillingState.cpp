#include "kit/route/MacBillingState.h"

#include <cerrno>
#include <nlohmann/json.hpp>

#include "platform/DateText.h"
#include "platform/SorvaneLog.h"
#include "platform/files/DataFile.h"
#include "platform/files/FileLock.h"
#include "platform/files/Files.h"
#include "platform/files/JsonDocument.h"

namespace sorvane {
namespace {

using namespace std::chrono;
using json = nlohmann::json;

Unexpected<FileError> notWritten(FileError error) {
    SorvaneLog::log("[Sorvane] billing state not written: " + error.description());
    return unexpected(std::move(error));
}

// What the file holds, read under the lock by a writer about to replace it.
// Nothing when it is missing or did not decode (then set aside beside it).
Expected<std::optional<MacBillingState>, FileError> stateBeforeWriting(const std::filesystem::path& url) {
    std::optional<MacBillingState> state;
    auto existing = DataFile::readBeforeReplacing(url, "billing state", [&](std::string_view text) {
        state = MacBillingState::decode(text);
        return state.has_value();
    });
    if (!existing) return unexpected(existing.error());
    return state;
}

Expected<MacBillingState, FileError> writeState(const std::filesystem::path& url,
                                                const MacBillingState& state) {
    if (auto written = Files::atomicWrite(url, state.encoded(), Files::privateMode); !written)
        return notWritten(written.error());
    return state;
}

}  // namespace

MacBillingState::Date MacBillingState::distantPast() {
    return sys_days{year{1} / January / 1};
}

std::string_view rawValue(MacBillingState::Source source) {
    switch (source) {
        case MacBillingState::Source::credits:
            return "credits";
        case MacBillingState::Source::ownKey:
            return "ownKey";
    }
    return "credits";
}

std::string_view rawValue(MacBillingState::KeyStatus status) {
    switch (status) {
        case MacBillingState::KeyStatus::ok:
            return "ok";
        case MacBillingState::KeyStatus::invalid:
            return "invalid";
        case MacBillingState::KeyStatus::balanceEmpty:
            return "balanceEmpty";
    }
    return "ok";
}

std::optional<MacBillingState::Source> billingSourceFromRaw(std::string_view raw) {
    for (auto source : {MacBillingState::Source::credits, MacBillingState::Source::ownKey}) {
        if (rawValue(source) == raw) return source;
    }
    return std::nullopt;
}

std::optional<MacBillingState::KeyStatus> keyStatusFromRaw(std::string_view raw) {
    for (auto status : {MacBillingState::KeyStatus::ok, MacBillingState::KeyStatus::invalid,
                        MacBillingState::KeyStatus::balanceEmpty}) {
        if (rawValue(status) == raw) return status;
    }
    return std::nullopt;
}

std::string MacBillingState::encoded() const {
    json object = json::object();  // ordered by key, which is the file's order
    if (keyStatus) object["keyStatus"] = std::string(rawValue(*keyStatus));
    if (keySuffix) object["keySuffix"] = *keySuffix;
    object["source"] = std::string(rawValue(source));
    object["verifiedAt"] = DateText::iso8601(verifiedAt);
    return object.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::optional<MacBillingState> MacBillingState::decode(std::string_view bytes) {
    const auto parsed = JsonDocument::parse(bytes);
    if (!parsed || !parsed->is_object()) return std::nullopt;
    const json& object = *parsed;

    auto text = [&](const char* key) -> std::optional<std::string> {
        auto it = object.find(key);
        if (it == object.end() || !it->is_string()) return std::nullopt;
        return it->get<std::string>();
    };
    MacBillingState state;
    if (auto raw = text("source")) state.source = billingSourceFromRaw(*raw).value_or(Source::credits);
    state.keySuffix = text("keySuffix");
    if (auto raw = text("keyStatus")) state.keyStatus = keyStatusFromRaw(*raw);
    if (auto raw = text("verifiedAt"))
        state.verifiedAt = DateText::parseISO8601(*raw).value_or(distantPast());
    return state;
}

MacBillingStateFile MacBillingStateFile::live() {
    return MacBillingStateFile(Files::homeDirectory() / "Library" / "SorvaneIME" / "billing.json");
}

std::filesystem::path MacBillingStateFile::lockURL() const {
    std::filesystem::path lock = url;
    lock += ".lock";
    return lock;
}

std::optional<MacBillingState> MacBillingStateFile::load() const {
    auto data = Files::readFile(url);
    if (!data) return std::nullopt;
    return MacBillingState::decode(*data);
}

std::optional<MacBillingState> MacBillingStateFile::routeState() const {
    auto data = Files::readFile(url);
    if (!data) {
        if (data.error().kind == FileError::Kind::notFound) return MacBillingState::defaultState();
        return std::nullopt;
    }
    return MacBillingState::decode(*data);
}

Expected<MacBillingState, FileError> MacBillingStateFile::save(const MacBillingState& state) const {
    // Taken so that a plain save never lands inside another process's update.
    // The lock makes the folder, so a missing folder fails here, once.
    FileLock lock(lockURL());
    if (!lock.held()) return notWritten(lock.error());
    if (auto found = stateBeforeWriting(url); !found) return notWritten(found.error());
    return writeState(url, state);
}

Expected<MacBillingState, FileError> MacBillingStateFile::update(
    const std::function<void(MacBillingState&)>& change) const {
    FileLock lock(lockURL());
    if (!lock.held()) return notWritten(lock.error());
    auto found = stateBeforeWriting(url);
    if (!found) return notWritten(found.error());
    MacBillingState state = found->value_or(MacBillingState::defaultState());
    change(state);
    return writeState(url, state);
}

}  // namespace sorvane
