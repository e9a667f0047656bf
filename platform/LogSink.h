#pragma once
// Where log records go: journald in the product, a capturing sink in tests.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sorvane {

enum class LogLevel { standard, debug, error };

class LogSink {
public:
    virtual ~LogSink() = default;
    // Checked before the caller builds anything for the record.
    virtual bool isEnabled(LogLevel level) const = 0;
    virtual void write(LogLevel level, std::string_view message) = 0;
};

// The journald sink: MESSAGE, PRIORITY (5 default, 7 debug, 3 error),
// SYSLOG_IDENTIFIER and the subsystem and category as fields. Debug records are
// written only when SORVANE_LOG_DEBUG=1; SORVANE_LOG_STDERR=1 mirrors every
// written record to standard error.
class JournaldLogSink final : public LogSink {
public:
    JournaldLogSink();
    bool isEnabled(LogLevel level) const override;
    void write(LogLevel level, std::string_view message) override;

    // The journal fields of one record, each "NAME=value", in sending order.
    static std::vector<std::string> fields(LogLevel level, std::string_view message);

private:
    bool debugEnabled_;
    bool mirrorToStderr_;
};

namespace Logging {
// The process-wide sink (journald unless replaced). Thread-safe.
std::shared_ptr<LogSink> sink();
// Replaces the sink, returning the previous one; tests install a capture.
std::shared_ptr<LogSink> setSink(std::shared_ptr<LogSink> sink);
}  // namespace Logging

}  // namespace sorvane
