#pragma once
// The main queue on the Qt event loop of the main thread.
#include <QObject>
#include <atomic>
#include <mutex>
#include <unordered_map>

#include "platform/MainQueue.h"

namespace sorvane {

class QtMainQueue final : public QObject, public MainQueue {
    Q_OBJECT
public:
    // Lives in the thread of the application object, which must exist before
    // the first task is posted.
    QtMainQueue();

    void post(std::function<void()> task) override;
    QueueTaskId postAfter(std::chrono::milliseconds delay, std::function<void()> task) override;
    void cancel(QueueTaskId id) override;

    // The process-wide queue, made on first use (thread-safe).
    static QtMainQueue& shared();

private:
    void fire(QueueTaskId id);

    std::mutex mutex_;
    std::atomic<QueueTaskId> nextId_{1};
    std::unordered_map<QueueTaskId, std::function<void()>> delayed_;
};

}  // namespace sorvane
