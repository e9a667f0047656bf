#pragma once
// Small per-user preferences shared by the two processes: one JSON object per
// bundle id in ~/Library/Preferences/<bundle id>.json. Each process writes its
// own keys; a write re-reads the file under a lock and changes only its key,
// so the other process's keys survive, and is read and written as the other
// data files are (DataFile::readObjectBeforeReplacing): a number the JSON
// library cannot hold exactly keeps the text it was written in, a file that
// is not a JSON object is set aside, not replaced. Written private (0600).
#include <filesystem>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "platform/files/Files.h"

namespace sorvane {

inline constexpr std::string_view kSorvaneBundleId = "cn.kestrum.inputmethod.Sorvane";

class UserDefaults {
public:
    virtual ~UserDefaults() = default;

    // The stored JSON value, or none when the key is absent or the store
    // cannot be read.
    virtual std::optional<nlohmann::json> value(std::string_view key) const = 0;
    // The same, but a store that exists and cannot be read is an error
    // rather than an absent key. Content that is not a JSON object reads as
    // an empty store: the next write keeps it aside, so it holds no values.
    virtual Expected<std::optional<nlohmann::json>, FileError> read(std::string_view key) const {
        return value(key);
    }
    // False when the change could not be stored (logged by the store).
    virtual bool setValue(std::string_view key, const nlohmann::json& value) = 0;
    virtual bool remove(std::string_view key) = 0;

    // Typed reads; a value of another type reads as none. A Boolean also
    // reads from a number (non-zero is true).
    std::optional<bool> boolValue(std::string_view key) const;
    std::optional<double> number(std::string_view key) const;
    std::optional<std::string> string(std::string_view key) const;
    // Bytes stored as base64 text; text that is not base64 reads as none.
    std::optional<std::string> data(std::string_view key) const;
    std::optional<nlohmann::json> array(std::string_view key) const;
    std::optional<nlohmann::json> dictionary(std::string_view key) const;

    bool setBool(std::string_view key, bool value) { return setValue(key, value); }
    bool setNumber(std::string_view key, double value) { return setValue(key, value); }
    bool setString(std::string_view key, std::string_view value) { return setValue(key, std::string(value)); }
    bool setData(std::string_view key, std::string_view bytes);

    // The process's standard store: the file of kSorvaneBundleId under the
    // current HOME, made on first use.
    static std::shared_ptr<UserDefaults> standard();
};

// The file-backed store.
class FileUserDefaults final : public UserDefaults {
public:
    explicit FileUserDefaults(std::string_view bundleId);
    // A store over an explicit file; the lock file is "<file>.lock".
    explicit FileUserDefaults(std::filesystem::path file);

    std::optional<nlohmann::json> value(std::string_view key) const override;
    Expected<std::optional<nlohmann::json>, FileError> read(std::string_view key) const override;
    bool setValue(std::string_view key, const nlohmann::json& value) override;
    bool remove(std::string_view key) override;

    const std::filesystem::path& path() const { return path_; }
    // The whole object as it stands on disk now (empty when missing or bad).
    nlohmann::json snapshot() const;

private:
    bool change(std::string_view key, const nlohmann::json* value);
    Expected<nlohmann::json, FileError> readFresh() const;

    std::filesystem::path path_;
    std::filesystem::path lockPath_;
    mutable std::mutex mutex_;
    mutable std::optional<FileStamp> cachedStamp_;
    mutable nlohmann::json cached_ = nlohmann::json::object();
};

namespace Base64 {
std::string encode(std::string_view bytes);
std::optional<std::string> decode(std::string_view text);
}  // namespace Base64

}  // namespace sorvane
