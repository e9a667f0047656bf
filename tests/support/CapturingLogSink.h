#pragma once
// Installs itself as the process's log sink for its lifetime and keeps every
// record, so tests can check log texts verbatim.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/LogSink.h"

namespace sorvane::testing {

struct LogRecord {
    LogLevel level;
    std::string message;
};

class CapturingLogSink final : public LogSink {
public:
    bool isEnabled(LogLevel) const override { return true; }
    void write(LogLevel level, std::string_view message) override;

    std::vector<LogRecord> records() const;
    std::vector<std::string> messages() const;
    bool contains(std::string_view fragment) const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<LogRecord> records_;
};

// RAII: captures the log while alive, then restores the previous sink.
class ScopedLogCapture {
public:
    ScopedLogCapture();
    ~ScopedLogCapture();
    CapturingLogSink& sink() { return *sink_; }
    CapturingLogSink* operator->() { return sink_.get(); }

private:
    std::shared_ptr<CapturingLogSink> sink_;
    std::shared_ptr<LogSink> previous_;
};

}  // namespace sorvane::testing
