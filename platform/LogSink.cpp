#include "platform/LogSink.h"

#include <sys/uio.h>
#include <systemd/sd-journal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace sorvane {
namespace {

bool envFlag(const char* name) {
    const char* v = std::getenv(name);
    return v && (std::strcmp(v, "1") == 0 || std::strcmp(v, "true") == 0 || std::strcmp(v, "YES") == 0);
}

int priorityOf(LogLevel level) {
    switch (level) {
        case LogLevel::debug:
            return 7;
        case LogLevel::error:
            return 3;
        case LogLevel::standard:
            break;
    }
    return 5;
}

std::mutex sinkMutex;
std::shared_ptr<LogSink>& currentSink() {
    static std::shared_ptr<LogSink> sink = std::make_shared<JournaldLogSink>();
    return sink;
}

}  // namespace

JournaldLogSink::JournaldLogSink()
    : debugEnabled_(envFlag("SORVANE_LOG_DEBUG")), mirrorToStderr_(envFlag("SORVANE_LOG_STDERR")) {}

bool JournaldLogSink::isEnabled(LogLevel level) const {
    return level != LogLevel::debug || debugEnabled_;
}

void JournaldLogSink::write(LogLevel level, std::string_view message) {
    if (!isEnabled(level)) return;
    // The text is one field's value, never a format.
    const std::vector<std::string> record = fields(level, message);
    std::vector<iovec> parts;
    parts.reserve(record.size());
    for (const std::string& field : record)
        parts.push_back(iovec{const_cast<char*>(field.data()), field.size()});
    sd_journal_sendv(parts.data(), static_cast<int>(parts.size()));
    if (mirrorToStderr_) {
        const std::string text(message);
        std::fprintf(stderr, "%s\n", text.c_str());
        std::fflush(stderr);
    }
}

std::vector<std::string> JournaldLogSink::fields(LogLevel level, std::string_view message) {
    return {"MESSAGE=" + std::string(message), "PRIORITY=" + std::to_string(priorityOf(level)),
            "SYSLOG_IDENTIFIER=Sorvane", "SORVANE_SUBSYSTEM=cn.kestrum.inputmethod.Sorvane",
            "SORVANE_CATEGORY=ime"};
}

namespace Logging {

std::shared_ptr<LogSink> sink() {
    std::lock_guard lock(sinkMutex);
    return currentSink();
}

std::shared_ptr<LogSink> setSink(std::shared_ptr<LogSink> sink) {
    std::lock_guard lock(sinkMutex);
    auto previous = currentSink();
    currentSink() = std::move(sink);
    return previous;
}

}  // namespace Logging
}  // namespace sorvane
