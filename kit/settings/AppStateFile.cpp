#include "kit/settings/AppStateFile.h"

#include "platform/DateText.h"
#include "platform/SorvaneLog.h"
#include "platform/files/DataFile.h"
#include "platform/files/FileLock.h"
#include "platform/files/Files.h"
#include "platform/files/JsonDocument.h"

namespace sorvane {
namespace {

nlohmann::json objectOrEmpty(const std::string& text) {
    auto parsed = JsonDocument::parse(text);
    if (!parsed || !parsed->is_object()) return nlohmann::json::object();
    return std::move(*parsed);
}

bool fail(const std::string& why) {
    SorvaneLog::log("[Sorvane] state not written: " + why);
    return false;
}

}  // namespace

const AppStateFile& AppStateFile::live() {
    static const AppStateFile file{Files::supportDirectory() / "state.json"};
    return file;
}

nlohmann::json AppStateFile::read() const {
    auto text = Files::readFile(url);
    if (!text) return nlohmann::json::object();
    return objectOrEmpty(*text);
}

bool AppStateFile::update(const std::function<void(nlohmann::json& object)>& body) const {
    // Both processes write here (the server its welcome time, the settings
    // window the accepted terms): without the lock one of two overlapping
    // updates would silently drop the other's key.
    std::filesystem::path lockPath = url;
    lockPath += ".lock";
    FileLock lock(lockPath);
    if (!lock.held()) return fail(lock.error().description());
    // An existing file that cannot be read (permissions, I/O) is refused:
    // writing now would erase the user's accepted terms and whatever else it
    // holds. One that is not a JSON object is set aside, not overwritten.
    // Another writer's values that the library would round (a 25-digit
    // integer) go back as they were written.
    auto existing = DataFile::readObjectBeforeReplacing(url, "state");
    if (!existing) return fail(existing.error().description());
    nlohmann::json& object = existing->object;
    body(object);
    if (!object.is_object()) object = nlohmann::json::object();
    if (auto made = Files::createDirectories(url.parent_path()); !made)
        return fail(made.error().description());
    std::string bytes;
    try {
        bytes = existing->dump();
    } catch (const nlohmann::json::exception& e) {
        return fail(e.what());
    }
    if (auto written = Files::atomicWrite(url, bytes, Files::privateMode); !written)
        return fail(written.error().description());
    return true;
}

bool AppStateFile::welcomeWasShown() const {
    return read().contains("welcomeShownAt");
}

std::optional<std::string> AppStateFile::termsAcceptedVersion() const {
    const auto object = read();
    auto it = object.find("termsAcceptedVersion");
    if (it == object.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

bool AppStateFile::markWelcomeShown(std::chrono::system_clock::time_point at) const {
    return update([&](nlohmann::json& o) { o["welcomeShownAt"] = DateText::iso8601(at); });
}

bool AppStateFile::acceptTerms(const std::string& version) const {
    return update([&](nlohmann::json& o) { o["termsAcceptedVersion"] = version; });
}

}  // namespace sorvane
