#include "tests/support/CapturingLogSink.h"

namespace sorvane::testing {

void CapturingLogSink::write(LogLevel level, std::string_view message) {
    std::lock_guard lock(mutex_);
    records_.push_back({level, std::string(message)});
}

std::vector<LogRecord> CapturingLogSink::records() const {
    std::lock_guard lock(mutex_);
    return records_;
}

std::vector<std::string> CapturingLogSink::messages() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& r : records_) out.push_back(r.message);
    return out;
}

bool CapturingLogSink::contains(std::string_view fragment) const {
    std::lock_guard lock(mutex_);
    for (const auto& r : records_) {
        if (r.message.find(fragment) != std::string::npos) return true;
    }
    return false;
}

void CapturingLogSink::clear() {
    std::lock_guard lock(mutex_);
    records_.clear();
}

ScopedLogCapture::ScopedLogCapture()
    : sink_(std::make_shared<CapturingLogSink>()), previous_(Logging::setSink(sink_)) {}

ScopedLogCapture::~ScopedLogCapture() {
    Logging::setSink(previous_);
}

}  // namespace sorvane::testing
