#include "platform/files/UserDefaults.h"

#include <openssl/evp.h>

#include <cmath>

#include "platform/LogSink.h"
#include "platform/files/DataFile.h"
#include "platform/files/FileLock.h"
#include "platform/files/JsonDocument.h"

namespace sorvane {
namespace {

namespace fs = std::filesystem;

void logLine(const std::string& text) {
    auto sink = Logging::sink();
    if (sink->isEnabled(LogLevel::standard)) sink->write(LogLevel::standard, text);
}

std::optional<nlohmann::json> parseObject(std::string_view text) {
    auto parsed = JsonDocument::parse(text);
    if (!parsed || !parsed->is_object()) return std::nullopt;
    return parsed;
}

}  // namespace

// ---- typed access -----------------------------------------------------------

std::optional<bool> UserDefaults::boolValue(std::string_view key) const {
    auto v = value(key);
    if (!v) return std::nullopt;
    if (v->is_boolean()) return v->get<bool>();
    if (v->is_number()) return v->get<double>() != 0;
    return std::nullopt;
}

std::optional<double> UserDefaults::number(std::string_view key) const {
    auto v = value(key);
    if (!v || !v->is_number()) return std::nullopt;
    return v->get<double>();
}

std::optional<std::string> UserDefaults::string(std::string_view key) const {
    auto v = value(key);
    if (!v || !v->is_string()) return std::nullopt;
    return v->get<std::string>();
}

std::optional<std::string> UserDefaults::data(std::string_view key) const {
    auto text = string(key);
    if (!text) return std::nullopt;
    return Base64::decode(*text);
}

std::optional<nlohmann::json> UserDefaults::array(std::string_view key) const {
    auto v = value(key);
    if (!v || !v->is_array()) return std::nullopt;
    return v;
}

std::optional<nlohmann::json> UserDefaults::dictionary(std::string_view key) const {
    auto v = value(key);
    if (!v || !v->is_object()) return std::nullopt;
    return v;
}

bool UserDefaults::setData(std::string_view key, std::string_view bytes) {
    return setValue(key, Base64::encode(bytes));
}

std::shared_ptr<UserDefaults> UserDefaults::standard() {
    static std::shared_ptr<UserDefaults> defaults = std::make_shared<FileUserDefaults>(kSorvaneBundleId);
    return defaults;
}

// ---- file store -------------------------------------------------------------

FileUserDefaults::FileUserDefaults(std::string_view bundleId)
    : FileUserDefaults(Files::preferencesDirectory() / (std::string(bundleId) + ".json")) {}

FileUserDefaults::FileUserDefaults(fs::path file)
    : path_(std::move(file)), lockPath_(path_.string() + ".lock") {}

Expected<nlohmann::json, FileError> FileUserDefaults::readFresh() const {
    // Stamp first: a write landing between the stamp and the read is seen on
    // the next call, since its stamp differs from the one kept.
    const auto stamp = Files::stamp(path_);
    if (cachedStamp_ && stamp && *cachedStamp_ == *stamp) return cached_;
    nlohmann::json object = nlohmann::json::object();
    if (stamp) {
        auto text = Files::readFile(path_);
        if (!text) {
            // Unreadable for now; a later chmod does not change the stamp.
            cachedStamp_.reset();
            if (text.error().kind == FileError::Kind::notFound) return object;
            return unexpected(std::move(text.error()));
        }
        object = parseObject(*text).value_or(nlohmann::json::object());
    }
    cachedStamp_ = stamp;
    cached_ = object;
    return object;
}

std::optional<nlohmann::json> FileUserDefaults::value(std::string_view key) const {
    return read(key).valueOr(std::nullopt);
}

Expected<std::optional<nlohmann::json>, FileError> FileUserDefaults::read(std::string_view key) const {
    std::lock_guard lock(mutex_);
    const auto object = readFresh();
    if (!object) return unexpected(object.error());
    auto it = object->find(std::string(key));
    if (it == object->end()) return std::optional<nlohmann::json>{};
    return std::optional<nlohmann::json>(*it);
}

nlohmann::json FileUserDefaults::snapshot() const {
    std::lock_guard lock(mutex_);
    return readFresh().valueOr(nlohmann::json::object());
}

bool FileUserDefaults::setValue(std::string_view key, const nlohmann::json& value) {
    return change(key, &value);
}

bool FileUserDefaults::remove(std::string_view key) {
    return change(key, nullptr);
}

bool FileUserDefaults::change(std::string_view key, const nlohmann::json* value) {
    std::lock_guard lock(mutex_);
    auto fail = [&](const std::string& why) {
        logLine("[Sorvane] user defaults not written: " + why);
        return false;
    };
    FileLock fileLock(lockPath_);
    if (!fileLock.held()) return fail(fileLock.error().description());

    // Always from the file, never the cache: the other process may have
    // written its keys since we last looked. Replacing a file we cannot read
    // would drop every other key in it.
    auto existing = DataFile::readObjectBeforeReplacing(path_, "user defaults");
    if (!existing) return fail(existing.error().description());
    if (value) {
        existing->object[std::string(key)] = *value;
    } else {
        existing->object.erase(std::string(key));
    }
    std::string bytes;
    try {
        bytes = existing->dump();
    } catch (const nlohmann::json::exception& e) {
        return fail(e.what());
    }
    if (auto written = Files::atomicWrite(path_, bytes, Files::privateMode); !written)
        return fail(written.error().description());
    cachedStamp_.reset();
    return true;
}

// ---- base64 -----------------------------------------------------------------

namespace Base64 {

std::string encode(std::string_view bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3), '\0');
    const int n =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                        reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::optional<std::string> decode(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    if (text.empty()) return std::string();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                        c == '+' || c == '/' || (c == '=' && i + 2 >= text.size());
        if (!ok) return std::nullopt;
    }
    if (text[text.size() - 2] == '=' && text.back() != '=') return std::nullopt;
    std::string out(3 * text.size() / 4, '\0');
    const int n =
        EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                        reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    if (n < 0) return std::nullopt;
    // EVP_DecodeBlock keeps the padding's zero bytes.
    std::size_t padding = 0;
    if (text.back() == '=') ++padding;
    if (text[text.size() - 2] == '=') ++padding;
    out.resize(static_cast<std::size_t>(n) - padding);
    return out;
}

}  // namespace Base64
}  // namespace sorvane
