#include "app/settings/SettingsLauncher.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/SorvaneLog.h"
#include "platform/process/ChildSpawn.h"
#include "platform/process/ChildWait.h"
#include "platform/qt/QtMainQueue.h"

namespace sorvane::SettingsLauncher {

// One started settings process. `ended` is set by the reaper thread as soon
// as waitpid() has collected it.
struct Launcher::Child {
    pid_t pid = 0;
    std::atomic<bool> ended{false};
};

// What the reaper thread posts through; cut loose when the launcher goes,
// so a late child end touches nothing that is gone.
struct Launcher::Sink {
    std::mutex mutex;
    MainQueue* queue = nullptr;
    Launcher* launcher = nullptr;
};

namespace {

// Spawns `program --settings <page>` with nothing but the standard streams
// and the environment inherited. Returns the pid or the errno.
std::pair<pid_t, int> spawnSettings(const std::filesystem::path& program, std::string_view page) {
    const auto started =
        ChildSpawn::spawn(program.string(), {program.string(), "--settings", std::string(page)},
                          ChildSpawn::currentEnvironment(), {});
    return {started.pid, started.error};
}

}  // namespace

Launcher::Launcher(Services services) : services_(std::move(services)), sink_(std::make_shared<Sink>()) {
    sink_->queue = &services_.queue;
    sink_->launcher = this;
}

Launcher::~Launcher() {
    std::lock_guard lock(sink_->mutex);
    sink_->queue = nullptr;
    sink_->launcher = nullptr;
}

std::optional<pid_t> Launcher::child() const {
    if (!child_) return std::nullopt;
    return child_->pid;
}

bool Launcher::childIsRunning() const {
    if (!child_ || child_->ended.load()) return false;
    // The reaper may not have collected it yet; peek without reaping.
    siginfo_t info;
    std::memset(&info, 0, sizeof info);
    if (::waitid(P_PID, static_cast<id_t>(child_->pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return false;  // already collected
    return info.si_pid == 0;
}

void Launcher::open(SettingsPage page) {
    if (childIsRunning()) {
        postShow(page);
        return;
    }
    const auto program = services_.executable ? services_.executable() : std::nullopt;
    if (!program) return;

    const auto [pid, error] = spawnSettings(*program, rawValue(page));
    if (error != 0) {
        SorvaneLog::log("[Sorvane] settings window failed to launch: " + std::string(std::strerror(error)));
        return;
    }
    auto child = std::make_shared<Child>();
    child->pid = pid;
    child_ = child;
    SorvaneLog::log("[Sorvane] settings window launched page=" + std::string(rawValue(page)) +
                    " pid=" + std::to_string(pid));

    // Collect the child when it ends, so it never lingers as a zombie that
    // still looks alive, then forget it on the main thread unless a newer
    // child has taken its place.
    try {
        std::thread([child, sink = sink_] {
            int status = 0;
            ChildWait::waitpid(child->pid, &status, 0);
            child->ended.store(true);
            std::lock_guard lock(sink->mutex);
            if (!sink->queue) return;
            sink->queue->post([child, sink] {
                Launcher* launcher;
                {
                    std::lock_guard inner(sink->mutex);
                    launcher = sink->launcher;
                }
                if (launcher && launcher->child_ && launcher->child_->pid == child->pid)
                    launcher->child_.reset();
            });
        }).detach();
    } catch (const std::system_error&) {
        // No thread to wait with: the child is left to be collected as a
        // zombie, which childIsRunning() still sees as ended.
    }
}

bool Launcher::postShow(SettingsPage page) {
    const auto center = services_.notifications ? services_.notifications() : nullptr;
    if (!center) return false;
    return center->post(showNotification, {{std::string(pageKey), std::string(rawValue(page))}});
}

Launcher& shared() {
    static Launcher launcher(Launcher::Services{
        []() -> std::optional<std::filesystem::path> {
            std::error_code error;
            auto path = std::filesystem::read_symlink("/proc/self/exe", error);
            if (error || path.empty()) return std::nullopt;
            return path;
        },
        [] { return NotificationCenter::shared(); },
        QtMainQueue::shared(),
    });
    return launcher;
}

void open(SettingsPage page) {
    shared().open(page);
}

bool postShow(SettingsPage page) {
    return shared().postShow(page);
}

std::optional<SettingsPage> page(const std::optional<NotificationUserInfo>& userInfo) {
    if (!userInfo) return std::nullopt;
    const auto it = userInfo->find(std::string(pageKey));
    if (it == userInfo->end()) return std::nullopt;
    return settingsPageFromRaw(it->second);
}

}  // namespace sorvane::SettingsLauncher
