#include "kit/settings/PreviewFiles.h"

#include <signal.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace sorvane::PreviewFiles {
namespace {

// A render of every state makes seventeen folders; a few hundred leaves room
// for tests that build the list many times. Fixed storage, so a signal
// handler never sees a container grow under it.
constexpr std::size_t kCapacity = 512;
constexpr std::size_t kPathMax = 4096;

struct Entry {
    char path[kPathMax];
    bool isFolder;
};

std::array<Entry, kCapacity> entries;
volatile sig_atomic_t count = 0;
std::mutex registering;

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
struct sigaction previous[std::size(kSignals)];

// Async-signal-safe: unlink and rmdir only, files before their folders.
void removeRegistered() {
    const int n = count;
    for (int i = n - 1; i >= 0; --i) {
        if (!entries[i].path[0]) continue;
        if (entries[i].isFolder) {
            ::rmdir(entries[i].path);
        } else {
            ::unlink(entries[i].path);
        }
        entries[i].path[0] = '\0';
    }
}

void onSignal(int signal) {
    removeRegistered();
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        if (kSignals[i] != signal) continue;
        const auto handler = previous[i].sa_handler;
        if (!(previous[i].sa_flags & SA_SIGINFO) && handler != SIG_DFL && handler != SIG_IGN && handler) {
            handler(signal);
            return;
        }
        if (handler == SIG_IGN) return;
        ::sigaction(signal, &previous[i], nullptr);
        ::raise(signal);
        return;
    }
}

void install() {
    std::atexit(removeRegistered);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kSignals); ++i) ::sigaction(kSignals[i], &action, &previous[i]);
}

bool add(const std::filesystem::path& path, bool isFolder) {
    const std::string text = path.string();
    if (count >= int(kCapacity) || text.size() >= kPathMax) return false;
    Entry& entry = entries[count];
    std::memcpy(entry.path, text.c_str(), text.size() + 1);
    entry.isFolder = isFolder;
    count = count + 1;
    return true;
}

}  // namespace

void track(const std::filesystem::path& folder, const std::vector<std::string>& files) {
    const std::lock_guard lock(registering);
    static std::once_flag installed;
    std::call_once(installed, install);
    // Removed from the last entry back: the folder goes after its files.
    if (!add(folder, true)) return;
    for (const auto& name : files) add(folder / name, false);
}

void removeAll() {
    const std::lock_guard lock(registering);
    removeRegistered();
    count = 0;
}

std::vector<std::filesystem::path> tracked() {
    const std::lock_guard lock(registering);
    std::vector<std::filesystem::path> folders;
    for (int i = 0; i < count; ++i)
        if (entries[i].isFolder && entries[i].path[0]) folders.emplace_back(entries[i].path);
    return folders;
}

}  // namespace sorvane::PreviewFiles
