#include "platform/qt/QtRunLoop.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <thread>

namespace sorvane {

void QtRunLoop::runFor(std::chrono::milliseconds duration) {
    if (duration.count() <= 0) return;
    auto* app = QCoreApplication::instance();
    if (!app || app->thread() != QThread::currentThread()) {
        std::this_thread::sleep_for(duration);
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

QtRunLoop& QtRunLoop::shared() {
    static QtRunLoop loop;
    return loop;
}

}  // namespace sorvane
