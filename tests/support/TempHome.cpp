#include "tests/support/TempHome.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace sorvane::testing {
namespace {
std::filesystem::path currentPath() {
    std::error_code ec;
    auto cwd = std::filesystem::current_path(ec);
    return ec ? std::filesystem::temp_directory_path() : cwd;
}
}  // namespace

std::filesystem::path makeTempDir(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed for " + pattern);
    return pattern;
}

void leaveFolder(const std::filesystem::path& folder, const std::filesystem::path& elsewhere) {
    std::error_code ec;
    const auto cwd = std::filesystem::current_path(ec);
    const auto [end, rest] = std::mismatch(folder.begin(), folder.end(), cwd.begin(), cwd.end());
    if (ec || end == folder.end()) {
        [[maybe_unused]] const int ignored = ::chdir(elsewhere.c_str());
    }
}

TempHome::TempHome() : path_(makeTempDir("sorvane-home-")), previousCwd_(currentPath()) {
    if (const char* home = std::getenv("HOME")) previousHome_ = home;
    setenv("HOME", path_.c_str(), 1);
}

TempHome::~TempHome() {
    if (previousHome_)
        setenv("HOME", previousHome_->c_str(), 1);
    else
        unsetenv("HOME");
    leaveFolder(path_, previousCwd_);
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(path_, ec);
}

TempDir::TempDir() : path_(makeTempDir("sorvane-tmp-")), previousCwd_(currentPath()) {}

TempDir::~TempDir() {
    leaveFolder(path_, previousCwd_);
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

}  // namespace sorvane::testing
