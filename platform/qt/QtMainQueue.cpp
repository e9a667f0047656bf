#include "platform/qt/QtMainQueue.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>

namespace sorvane {

QtMainQueue::QtMainQueue() {
    // Made from a worker thread, the object still has to serve the main loop.
    if (auto* app = QCoreApplication::instance(); app && thread() != app->thread()) {
        moveToThread(app->thread());
    }
}

void QtMainQueue::post(std::function<void()> task) {
    QMetaObject::invokeMethod(
        this, [task = std::move(task)] { task(); }, Qt::QueuedConnection);
}

QueueTaskId QtMainQueue::postAfter(std::chrono::milliseconds delay, std::function<void()> task) {
    const QueueTaskId id = nextId_.fetch_add(1);
    {
        std::lock_guard lock(mutex_);
        delayed_.emplace(id, std::move(task));
    }
    const int ms = static_cast<int>(std::max<std::chrono::milliseconds::rep>(
        0, std::min<std::chrono::milliseconds::rep>(delay.count(), INT32_MAX)));
    // Timers belong to the thread that starts them: start this one on the main thread.
    QMetaObject::invokeMethod(
        this, [this, id, ms] { QTimer::singleShot(ms, Qt::PreciseTimer, this, [this, id] { fire(id); }); },
        Qt::QueuedConnection);
    return id;
}

void QtMainQueue::cancel(QueueTaskId id) {
    std::function<void()> dropped;
    {
        std::lock_guard lock(mutex_);
        auto it = delayed_.find(id);
        if (it == delayed_.end()) return;
        dropped = std::move(it->second);
        delayed_.erase(it);
    }
    // `dropped` dies outside the lock, in case its captures post or cancel.
}

void QtMainQueue::fire(QueueTaskId id) {
    std::function<void()> task;
    {
        std::lock_guard lock(mutex_);
        auto it = delayed_.find(id);
        if (it == delayed_.end()) return;  // cancelled
        task = std::move(it->second);
        delayed_.erase(it);
    }
    task();
}

QtMainQueue& QtMainQueue::shared() {
    static QtMainQueue* queue = new QtMainQueue();  // lives as long as the process
    return *queue;
}

}  // namespace sorvane
