#include "tests/support/PumpUntil.h"

#include <QCoreApplication>
#include <QLayout>
#include <QWidget>
#include <algorithm>
#include <thread>

namespace sorvane::testing {

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    // Quick to notice what comes at once, without spinning through a long wait.
    std::chrono::milliseconds pause{1};
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(16));
    }
    return true;
}

bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    return waitUntil(
        [&] {
            if (QCoreApplication::instance()) {
                QCoreApplication::processEvents();
                // Outside a running event loop Qt would keep these for ever.
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            }
            return done();
        },
        limit);
}

void pumpFor(std::chrono::milliseconds duration) {
    pumpUntil([] { return false; }, duration);
}

bool laidOut(QWidget& root) {
    QList<QWidget*> widgets = root.findChildren<QWidget*>();
    widgets.prepend(&root);
    bool done = true;
    for (QWidget* widget : widgets) {
        if (widget->layout() && widget->layout()->activate()) done = false;
    }
    return done;
}

}  // namespace sorvane::testing
