#include "platform/process/RunningProcesses.h"

#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <map>
#include <system_error>

#include "platform/Bundle.h"

namespace sorvane::RunningProcesses {

std::vector<pid_t> ofBundle(const std::string& bundleIdentifier, const std::filesystem::path& procRoot) {
    namespace fs = std::filesystem;
    std::vector<pid_t> found;
    const pid_t self = ::getpid();
    const uid_t user = ::getuid();
    // Several processes usually share one bundle: read each Info.plist once.
    std::map<fs::path, bool> bundleMatches;
    std::error_code ec;
    for (fs::directory_iterator it(procRoot, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        pid_t pid = 0;
        const auto [ptr, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
        if (error != std::errc() || ptr != name.data() + name.size() || pid == self) continue;
        struct stat info {};
        if (::stat(it->path().c_str(), &info) != 0 || info.st_uid != user) continue;
        std::error_code linkError;
        const fs::path executable = fs::read_symlink(it->path() / "exe", linkError);
        if (linkError) continue;
        const fs::path bundle = Bundle::bundlePathOfExecutable(executable);
        auto [entry, inserted] = bundleMatches.try_emplace(bundle, false);
        if (inserted) entry->second = Bundle::load(bundle).identifier == bundleIdentifier;
        if (entry->second) found.push_back(pid);
    }
    return found;
}

}  // namespace sorvane::RunningProcesses
