#include "fuzz/ScratchFolder.h"

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "platform/LogSink.h"

namespace sorvane::fuzz {
namespace {

class SilentSink final : public LogSink {
public:
    bool isEnabled(LogLevel) const override { return false; }
    void write(LogLevel, std::string_view) override {}
};

std::filesystem::path makeFolder() {
    std::error_code ec;
    std::filesystem::path base =
        std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm" : std::filesystem::temp_directory_path();
    std::string pattern = (base / "sorvane-fuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    return pattern;
}

}  // namespace

ScratchFolder& ScratchFolder::shared() {
    static ScratchFolder folder;
    return folder;
}

ScratchFolder::ScratchFolder() : path_(makeFolder()) {
    Logging::setSink(std::make_shared<SilentSink>());
}

ScratchFolder::~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::filesystem::path ScratchFolder::holding(std::string_view name, const std::uint8_t* data,
                                             std::size_t size) {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
    if (!std::filesystem::create_directory(path_, ec)) std::abort();
    const std::filesystem::path file = path_ / name;
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out.flush()) std::abort();
    return file;
}

}  // namespace sorvane::fuzz
