#include "platform/process/QuitRequest.h"

#include <atomic>

namespace sorvane::QuitRequest {
namespace {

// Lock-free, so a signal handler may store it.
std::atomic<bool> requested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

}  // namespace

void raise() noexcept {
    requested.store(true, std::memory_order_relaxed);
}

bool raised() noexcept {
    return requested.load(std::memory_order_relaxed);
}

void clear() noexcept {
    requested.store(false, std::memory_order_relaxed);
}

}  // namespace sorvane::QuitRequest
