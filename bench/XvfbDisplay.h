#pragma once
// A private X server (Xvfb) for a benchmark that wants windows drawn and
// sent to a display for real, as a user's desktop gets them. It takes the
// first free display number from :90 on (another process may take one
// between the look and the start: the next is tried) and stops with this
// object.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "tests/support/ChildProcess.h"

namespace sorvane::bench {

class XvfbDisplay {
public:
    XvfbDisplay() {
        const std::string program = findProgram();
        if (program.empty()) return;
        for (int number = 90; number < 140 && name_.empty(); ++number) {
            const std::string n = std::to_string(number);
            if (std::filesystem::exists("/tmp/.X" + n + "-lock") ||
                std::filesystem::exists("/tmp/.X11-unix/X" + n))
                continue;
            auto server = std::make_unique<testing::ChildProcess>(
                program,
                std::vector<std::string>{":" + n, "-nolisten", "tcp", "-screen", "0", "1920x1080x24"});
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (std::chrono::steady_clock::now() < end) {
                if (std::filesystem::exists("/tmp/.X11-unix/X" + n)) {
                    name_ = ":" + n;
                    server_ = std::move(server);
                    break;
                }
                if (server->wait(std::chrono::milliseconds(20))) break;  // the number was taken
            }
        }
    }
    ~XvfbDisplay() {
        if (!server_) return;
        server_->signal(SIGTERM);
        server_->wait(std::chrono::seconds(10));
    }
    XvfbDisplay(const XvfbDisplay&) = delete;
    XvfbDisplay& operator=(const XvfbDisplay&) = delete;

    // ":<n>", or empty when no X server could be started.
    const std::string& name() const { return name_; }

private:
    static std::string findProgram() {
        for (const char* path : {"/usr/bin/Xvfb", "/usr/local/bin/Xvfb"})
            if (::access(path, X_OK) == 0) return path;
        return {};
    }

    std::string name_;
    std::unique_ptr<testing::ChildProcess> server_;
};

}  // namespace sorvane::bench
