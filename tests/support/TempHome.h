#pragma once
// A fresh HOME folder for one test; removed afterwards, and left first if
// the process has moved into it.
#include <filesystem>
#include <optional>
#include <string>

namespace sorvane::testing {

// A new folder under the temporary folder, its name `prefix` and six
// characters of mkdtemp's; throws when none can be made.
std::filesystem::path makeTempDir(const std::string& prefix);

// Code under test may move into a folder (the engine works from its data
// folder); the process must not be left inside it once it is gone. Goes to
// `elsewhere` when the working folder is `folder`, lies below it or cannot
// be read.
void leaveFolder(const std::filesystem::path& folder, const std::filesystem::path& elsewhere);

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
