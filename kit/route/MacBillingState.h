#pragma once
// Which route rewrite requests take (the maker's proxy or the user's own
// DeepSeek key) and what is known about the own key, kept in
// ~/Library/SorvaneIME/billing.json. The file is the only channel between the
// settings process, which writes the user's choice, and the input-method
// process, which reads it for every request and records a refused key.
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Expected.h"
#include "platform/files/Files.h"

namespace sorvane {

struct MacBillingState {
    enum class Source { credits, ownKey };
    enum class KeyStatus { ok, invalid, balanceEmpty };
    // Whole seconds: the file keeps no fractions, and the default reaches
    // back to the year 1.
    using Date = std::chrono::sys_seconds;

    Source source = Source::credits;
    std::optional<std::string> keySuffix;
    std::optional<KeyStatus> keyStatus;
    Date verifiedAt = distantPast();

    MacBillingState() = default;
    explicit MacBillingState(Source source, std::optional<std::string> keySuffix = std::nullopt,
                             std::optional<KeyStatus> keyStatus = std::nullopt,
                             Date verifiedAt = distantPast())
        : source(source), keySuffix(std::move(keySuffix)), keyStatus(keyStatus), verifiedAt(verifiedAt) {}

    // 0001-01-01T00:00:00Z.
    static Date distantPast();
    // Source credits, no suffix, no status, verified in the distant past.
    static MacBillingState defaultState() { return {}; }

    bool usesOwnKey(std::chrono::system_clock::time_point) const { return source == Source::ownKey; }

    // One line of JSON, keys sorted, absent fields omitted.
    std::string encoded() const;
    // Tolerant field by field; nothing only for data that is not JSON or whose
    // top level is not an object.
    static std::optional<MacBillingState> decode(std::string_view bytes);

    bool operator==(const MacBillingState&) const = default;
};

std::string_view rawValue(MacBillingState::Source source);
std::string_view rawValue(MacBillingState::KeyStatus status);
std::optional<MacBillingState::Source> billingSourceFromRaw(std::string_view raw);
std::optional<MacBillingState::KeyStatus> keyStatusFromRaw(std::string_view raw);

class MacBillingStateFile {
public:
    explicit MacBillingStateFile(std::filesystem::path url) : url(std::move(url)) {}

    // ~/Library/SorvaneIME/billing.json of the current user. Made from the
    // home folder at each call (cheap), so a test's temporary home is honoured.
    static MacBillingStateFile live();

    std::filesystem::path url;

    // Nothing when the file is missing, cannot be read or does not decode.
    std::optional<MacBillingState> load() const;
    // What decides the route: the default state when no file exists, nothing
    // when one exists but cannot be read or decoded.
    std::optional<MacBillingState> routeState() const;
    // Writes atomically and gives the state written; a failure is logged
    // ("[Sorvane] billing state not written: ...") and returned, and the
    // previous file stays whole. Like update(), it never replaces a file that
    // cannot be read, and sets aside one that does not decode.
    Expected<MacBillingState, FileError> save(const MacBillingState& state) const;
    // Read, change, write under an exclusive lock shared by every process, so
    // concurrent updates do not lose each other's change. A file that does not
    // decode is set aside as "billing.json.corrupt-<UTC time>" and the update
    // starts over from the default state; one that exists but cannot be read
    // is left as it is (the failure is logged), since replacing it would
    // silently move the user off their chosen route. Gives the record written,
    // or why nothing was written, so that no caller shows a change that did
    // not land.
    Expected<MacBillingState, FileError> update(const std::function<void(MacBillingState&)>& change) const;

    // The lock file beside the state file; the state file itself is replaced
    // by every write, so it cannot carry the lock.
    std::filesystem::path lockURL() const;
};

}  // namespace sorvane
