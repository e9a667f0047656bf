#include "tests/support/TempHome.h"

#include <cstdlib>
#include <stdexcept>

namespace sorvane::testing {
namespace {
std::filesystem::path makeTempDir(const char* prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    return pattern;
}
}  // namespace

TempHome::TempHome() : path_(makeTempDir("sorvane-home-")) {
    if (const char* home = std::getenv("HOME")) previousHome_ = home;
    setenv("HOME", path_.c_str(), 1);
}

TempHome::~TempHome() {
    if (previousHome_) setenv("HOME", previousHome_->c_str(), 1);
    else unsetenv("HOME");
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(path_, ec);
}

TempDir::TempDir() : path_(makeTempDir("sorvane-tmp-")) {}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

}  // namespace sorvane::testing
