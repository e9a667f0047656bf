#pragma once
// The private folder of the targets that read stored files, where each input
// is written as the file a store reads.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

namespace sorvane::fuzz {

class ScratchFolder {
public:
    // Made on first use, on a memory file system where there is one, so
    // that the stores' flushes cost nothing; removed when the process exits.
    // Its first use also sends the process's log nowhere: every refused file
    // would otherwise be a journal record.
    static ScratchFolder& shared();

    // Empties the folder, so no input sees what an earlier one left, and
    // writes the input to `name` in it.
    std::filesystem::path holding(std::string_view name, const std::uint8_t* data, std::size_t size);

    ~ScratchFolder();

private:
    ScratchFolder();
    std::filesystem::path path_;
};

}  // namespace sorvane::fuzz
