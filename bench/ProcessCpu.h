#pragma once
// The CPU time another process spends, all its threads together, from the
// scheduler's own account (/proc/<pid>/task/<tid>/schedstat, nanoseconds on
// a CPU), which load on the machine does not stretch the way it stretches
// wall-clock time; and a wait until that process has nothing left to do, so
// that what it does after answering (painting a panel) is counted with the
// call that caused it and not with the next one.
#include <dirent.h>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string>
#include <thread>

namespace sorvane::bench {

class ProcessCpu {
public:
    explicit ProcessCpu(pid_t pid) : pid_(pid) {}

    struct Reading {
        struct Thread {
            std::int64_t ns = 0;    // nanoseconds on a CPU so far
            std::int64_t runs = 0;  // times it was put on a CPU so far
        };
        std::map<pid_t, Thread> threads;
        bool running = false;  // some thread runs or waits for a CPU
    };
    struct Spent {
        std::int64_t ns = 0;
        std::int64_t runs = 0;  // wake-ups and preemptions, all threads
    };

    Reading read() const {
        Reading r;
        const std::string folder = "/proc/" + std::to_string(pid_) + "/task";
        DIR* dir = ::opendir(folder.c_str());
        if (!dir) return r;
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
            const std::string task = folder + "/" + entry->d_name;
            const std::string sched = slurp(task + "/schedstat");
            if (sched.empty()) continue;  // the thread ended meanwhile
            // "<ns on a CPU> <ns waiting for one> <times put on one>"
            char* end = nullptr;
            Reading::Thread& thread = r.threads[static_cast<pid_t>(std::atoi(entry->d_name))];
            thread.ns = std::strtoll(sched.c_str(), &end, 10);
            std::strtoll(end, &end, 10);
            thread.runs = std::strtoll(end, nullptr, 10);
            // The state follows the command name, which ends at the last ')'.
            const std::string stat = slurp(task + "/stat");
            const auto close = stat.rfind(')');
            if (close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'R')
                r.running = true;
        }
        ::closedir(dir);
        return r;
    }

    // What the process spent from `before` to `after`. A thread that ended
    // in between takes its last slices with it; one that began counts whole.
    static Spent spent(const Reading& before, const Reading& after) {
        Spent total;
        for (const auto& [tid, now] : after.threads) {
            const auto was = before.threads.find(tid);
            const Reading::Thread start = was == before.threads.end() ? Reading::Thread{} : was->second;
            total.ns += now.ns - start.ns;
            total.runs += now.runs - start.runs;
        }
        return total;
    }

    // Waits until no thread of the process runs or waits for a CPU and its
    // CPU time stays the same over `quiet` (several looks, so that a thread
    // waiting briefly on the display server is not taken for idle), at most
    // `limit`; gives the last reading.
    Reading settle(std::chrono::microseconds quiet = std::chrono::microseconds(1000),
                   std::chrono::milliseconds limit = std::chrono::milliseconds(2000)) const {
        constexpr int looks = 5;
        const auto end = std::chrono::steady_clock::now() + limit;
        Reading last = read();
        int still = 0;
        while (still < looks && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(quiet / looks);
            Reading now = read();
            still = (!now.running && !last.running && spent(last, now).ns == 0) ? still + 1 : 0;
            last = std::move(now);
        }
        return last;
    }

private:
    static std::string slurp(const std::string& path) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return {};
        char buffer[512];
        const ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
        ::close(fd);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    }

    pid_t pid_;
};

// This thread's CPU time, for the work done in this process.
inline std::int64_t threadCpuNanoseconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

}  // namespace sorvane::bench
