#include "platform/SorvaneLog.h"

#include "platform/LogSink.h"
#include "platform/Text.h"

namespace sorvane::SorvaneLog {
namespace {

void emit(LogLevel level, std::string_view message) {
    auto sink = Logging::sink();
    if (!sink->isEnabled(level)) return;
    sink->write(level, message);
}

}  // namespace

void log(std::string_view message) {
    emit(LogLevel::standard, message);
}
void debug(std::string_view message) {
    emit(LogLevel::debug, message);
}
void error(std::string_view message) {
    emit(LogLevel::error, message);
}

bool debugEnabled() {
    return Logging::sink()->isEnabled(LogLevel::debug);
}

std::string clientText(std::string_view text) {
    if (text.size() <= kMaxClientTextBytes) return std::string(text);
    return std::string(text.substr(0, Text::codePointBoundaryAtOrBefore(text, kMaxClientTextBytes)));
}

}  // namespace sorvane::SorvaneLog
