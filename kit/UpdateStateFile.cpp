#include "kit/UpdateStateFile.h"

#include <nlohmann/json.hpp>

#include "kit/SorvaneLog.h"

namespace sorvane {
namespace {

// Far above any real state (a few hundred bytes); a larger file is not ours.
constexpr std::size_t maxFileBytes = 1024 * 1024;

}  // namespace

UpdateStateFile UpdateStateFile::live() {
    return UpdateStateFile{Files::supportDirectory() / "update.json"};
}

UpdateState UpdateStateFile::load() const {
    // Only a regular file of a sane size is read: a FIFO or device planted
    // in its place must not block or flood the reader.
    std::error_code error;
    if (!std::filesystem::is_regular_file(url, error)) return {};
    const auto size = std::filesystem::file_size(url, error);
    if (error || size > maxFileBytes) return {};
    auto bytes = Files::readFile(url);
    if (!bytes || bytes->size() > maxFileBytes) return {};
    const auto value = nlohmann::json::parse(bytes->begin(), bytes->end(), nullptr, false);
    if (value.is_discarded()) return {};
    return UpdateState::fromJSON(value).valueOr(UpdateState{});
}

bool UpdateStateFile::save(const UpdateState& state) const {
    std::string bytes;
    try {
        // nlohmann's objects keep their keys sorted at every level.
        bytes = state.toJSON().dump(2);
    } catch (const nlohmann::json::exception& error) {
        SorvaneLog::log("[Sorvane] update state not written: " + std::string(error.what()));
        return false;
    }
    if (auto written = Files::atomicWrite(url, bytes); !written) {
        SorvaneLog::log("[Sorvane] update state not written: " + written.error().description());
        return false;
    }
    return true;
}

std::optional<FileStamp> UpdateStateFile::modificationDate() const {
    return Files::stamp(url);
}

}  // namespace sorvane
