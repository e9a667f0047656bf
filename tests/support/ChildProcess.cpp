#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/support/PumpUntil.h"

extern char** environ;

namespace sorvane::testing {
namespace {

std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

ChildProcess::ChildProcess(std::string program, std::vector<std::string> arguments,
                           std::map<std::string, std::string> env) {
    char pattern[] = "/tmp/sorvane-child-XXXXXX";
    if (!mkdtemp(pattern)) return;
    dir_ = pattern;

    std::map<std::string, std::string> merged;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        const auto eq = entry.find('=');
        if (eq != std::string::npos) merged[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (auto& [k, v] : env) merged[k] = v;
    std::vector<std::string> envStrings;
    for (auto& [k, v] : merged) envStrings.push_back(k + "=" + v);
    std::vector<char*> envp;
    for (auto& s : envStrings) envp.push_back(s.data());
    envp.push_back(nullptr);

    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& s : argStrings) argv.push_back(s.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (dir_ / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, (dir_ / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !status_) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
}

void ChildProcess::signal(int sig) const {
    if (pid_ > 0 && !status_) ::kill(pid_, sig);
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds deadline) {
    if (status_) return status_;
    if (pid_ <= 0) return std::nullopt;
    waitUntil(
        [this] {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
            return true;
        },
        deadline);
    return status_;
}

bool ChildProcess::waitForStderr(const std::string& text, std::chrono::milliseconds deadline) const {
    return waitUntil([&] { return err().find(text) != std::string::npos; }, deadline);
}

std::string ChildProcess::out() const {
    return slurp(dir_ / "out");
}
std::string ChildProcess::err() const {
    return slurp(dir_ / "err");
}

ChildProcess::Result ChildProcess::run(std::string program, std::vector<std::string> arguments,
                                       std::map<std::string, std::string> env,
                                       std::chrono::milliseconds deadline) {
    ChildProcess child(std::move(program), std::move(arguments), std::move(env));
    Result result;
    result.status = child.wait(deadline);
    result.out = child.out();
    result.err = child.err();
    return result;
}

}  // namespace sorvane::testing
