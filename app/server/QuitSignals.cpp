#include "app/server/QuitSignals.h"

#include <errno.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>

#include "platform/process/QuitRequest.h"

namespace sorvane::QuitSignals {
namespace {

int quitSignalPipe[2] = {-1, -1};
QPointer<QSocketNotifier> notifier;

void onQuitSignal(int signal) {
    const int savedErrno = errno;
    const char byte = static_cast<char>(signal);
    // Only async-signal-safe work here; the event loop reads the byte.
    QuitRequest::raise();
    [[maybe_unused]] const auto written = ::write(quitSignalPipe[1], &byte, 1);
    errno = savedErrno;
}

// A hang-up that was ignored when the process started was meant to be.
bool ignoredAtStart(int signal) {
    struct sigaction current {};
    return ::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

}  // namespace

void route(QCoreApplication& app) {
    if (notifier && notifier->parent() == &app) return;
    if (quitSignalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, quitSignalPipe) != 0)
        return;
    // The pipe outlives an application object that is gone; a new one gets
    // its own reader.
    notifier = new QSocketNotifier(quitSignalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] {
        char byte;
        [[maybe_unused]] const auto n = ::read(quitSignalPipe[0], &byte, 1);
        app.quit();
    });
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    static const bool hangUpIgnored = ignoredAtStart(SIGHUP);
    if (!hangUpIgnored) ::sigaction(SIGHUP, &action, nullptr);
}

}  // namespace sorvane::QuitSignals
