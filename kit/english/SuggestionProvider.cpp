#include "kit/english/SuggestionProvider.h"

namespace sorvane {

void SuggestionTask::cancel() {
    std::function<void()> handler;
    {
        std::lock_guard lock(mutex_);
        if (cancelled_) return;
        cancelled_ = true;
        handler = cancelHandler_;
    }
    if (handler) handler();
}

bool SuggestionTask::isCancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

bool SuggestionTask::isFinished() const {
    std::lock_guard lock(mutex_);
    return result_.has_value();
}

void SuggestionTask::onFinish(FinishHandler handler) {
    std::unique_lock lock(mutex_);
    if (!result_) {
        handlers_.push_back(std::move(handler));
        return;
    }
    SuggestionResult result = *result_;
    lock.unlock();
    handler(result);
}

SuggestionResult SuggestionTask::wait() const {
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [this] { return result_.has_value(); });
    return *result_;
}

std::optional<SuggestionResult> SuggestionTask::waitFor(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    if (!finished_.wait_for(lock, timeout, [this] { return result_.has_value(); })) return std::nullopt;
    return *result_;
}

void SuggestionTask::finish(SuggestionResult result) {
    std::vector<FinishHandler> handlers;
    {
        std::lock_guard lock(mutex_);
        if (result_) return;
        result_ = result;
        handlers.swap(handlers_);
        cancelHandler_ = nullptr;
    }
    finished_.notify_all();
    for (auto& handler : handlers) handler(result);
}

void SuggestionTask::setCancelHandler(std::function<void()> handler) {
    std::unique_lock lock(mutex_);
    if (cancelled_) {
        lock.unlock();
        if (handler) handler();
        return;
    }
    cancelHandler_ = std::move(handler);
}

}  // namespace sorvane
