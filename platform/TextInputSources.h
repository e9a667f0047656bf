#pragma once
// The system's keyboard input sources: which are installed, enabled and
// selected, and registering an input method's bundle. Sources are opaque
// references whose properties are read one at a time, so that callers never
// rely on more than the service promises (a property may be missing).
//
// The live service is a registry of our own: one JSON document,
// ~/Library/Preferences/TextInputSources.json, shared by every process of
// the user and changed under a lock.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Expected.h"

namespace sorvane {

// 0 for success; negative values are the system's error codes.
using InputSourceStatus = std::int32_t;

namespace InputSourceStatusCode {
inline constexpr InputSourceStatus ok = 0;
inline constexpr InputSourceStatus ioError = -36;     // the registry cannot be read or written
inline constexpr InputSourceStatus paramError = -50;  // no such source, or a bundle without an id
}  // namespace InputSourceStatusCode

class InputSource {
public:
    virtual ~InputSource() = default;
};
using InputSourceRef = std::shared_ptr<const InputSource>;

class TextInputSources {
public:
    enum class Flag { enabled, selected, selectCapable };

    virtual ~TextInputSources() = default;

    // Adds the bundle's own source and one select-capable source per input
    // mode of its Info.plist, none of them enabled; sources already present
    // keep their flags.
    virtual InputSourceStatus registerBundle(const std::filesystem::path& bundle) = 0;
    // Every installed source, enabled or not, in the service's order.
    virtual std::vector<InputSourceRef> list() = 0;
    virtual std::optional<std::string> id(const InputSource& source) const = 0;
    virtual std::optional<bool> flag(const InputSource& source, Flag flag) const = 0;
    virtual InputSourceStatus enable(const InputSource& source) = 0;
    virtual InputSourceStatus disable(const InputSource& source) = 0;
    // One source is selected at a time.
    virtual InputSourceStatus select(const InputSource& source) = 0;
    // The selected keyboard source, or none.
    virtual InputSourceRef current() = 0;
};

// The file-backed registry. A missing file reads as a system with one
// keyboard layout, enabled and selected; a file that exists but cannot be
// read or parsed reads as no sources and is never replaced. The first time
// it is found so, `unreadable` is told once, in one line that names the file
// and the reason, so that "not registered" is never the only word on it.
class FileTextInputSources final : public TextInputSources {
public:
    static constexpr const char* defaultLayoutID = "com.apple.keylayout.ABC";
    static constexpr std::size_t maxSources = 4096;

    using Diagnostic = std::function<void(std::string_view line)>;

    // ~/Library/Preferences/TextInputSources.json of the current HOME.
    FileTextInputSources();
    explicit FileTextInputSources(std::filesystem::path file, Diagnostic unreadable = {});
    static std::filesystem::path defaultPath();

    InputSourceStatus registerBundle(const std::filesystem::path& bundle) override;
    std::vector<InputSourceRef> list() override;
    std::optional<std::string> id(const InputSource& source) const override;
    std::optional<bool> flag(const InputSource& source, Flag flag) const override;
    InputSourceStatus enable(const InputSource& source) override;
    InputSourceStatus disable(const InputSource& source) override;
    InputSourceStatus select(const InputSource& source) override;
    InputSourceRef current() override;

    const std::filesystem::path& path() const { return path_; }

    struct Record {
        std::string id;
        bool enabled = false;
        bool selected = false;
        bool selectCapable = false;
    };

private:
    // The records, or why the file could not be read; a missing file is the
    // fresh system's.
    Expected<std::vector<Record>, std::string> read() const;
    // Read, change, write under the registry's lock; the change gives the
    // status, and a failed read or write gives ioError.
    template <typename Change>
    InputSourceStatus modify(Change&& change);
    using SourceChange = std::function<InputSourceStatus(std::vector<Record>& all, Record& source)>;
    // Looks the source up by its id in the file as it stands now.
    InputSourceStatus modifySource(const InputSource& source, const SourceChange& apply);

    std::filesystem::path path_;
    Diagnostic unreadable_;
    mutable std::atomic<bool> reported_{false};
};

}  // namespace sorvane
