#include "kit/update/UpdateStateFile.h"

#include <nlohmann/json.hpp>

#include "platform/SorvaneLog.h"
#include "platform/files/JsonDocument.h"

namespace sorvane {
namespace {

// Far above any real state (a few hundred bytes); a larger file is not ours.
constexpr std::size_t maxFileBytes = 1024 * 1024;

}  // namespace

UpdateStateFile UpdateStateFile::live() {
    return UpdateStateFile{Files::supportDirectory() / "update.json"};
}

UpdateState UpdateStateFile::load() const {
    // readFile takes regular files of a sane size only: a FIFO or device
    // planted in its place neither blocks nor floods the reader.
    auto bytes = Files::readFile(url, maxFileBytes);
    if (!bytes) return {};
    const auto value = JsonDocument::parse(*bytes);
    if (!value) return {};
    return UpdateState::fromJSON(*value).valueOr(UpdateState{});
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
