#pragma once
// A fresh HOME folder for one test; removed afterwards, and left first if
// the process has moved into it.
#include <filesystem>
#include <optional>
#include <string>

namespace sorvane::testing {

class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    std::filesystem::path previousCwd_;
    std::optional<std::string> previousHome_;
};

// A fresh folder (not HOME) removed afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    std::filesystem::path previousCwd_;
};

}  // namespace sorvane::testing
