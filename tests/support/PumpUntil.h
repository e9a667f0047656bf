#pragma once
// Waiting for a condition rather than for a time. A test that sleeps or pumps
// for a fixed time and then asserts passes on a quiet machine and fails on a
// loaded one; these look again until the condition holds, so the limit only
// bounds how long a failing test takes.
#include <chrono>
#include <functional>

class QWidget;

namespace sorvane::testing {

// Generous: a loaded two-core machine may take seconds for what takes
// milliseconds on a quiet one.
inline constexpr std::chrono::milliseconds kWaitLimit{30'000};

// Looks at `done` until it holds; false once `limit` has passed. For a thread
// with no event loop to run (a server's handler, a worker) and for state that
// another thread or process changes.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = kWaitLimit);

// The same on the application's thread, delivering its Qt events and deferred
// deletions before each look (when there is an application).
bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = kWaitLimit);

// Delivers events for `duration`. Only for checking that something does not
// happen: what a test expects to happen, it waits for with pumpUntil.
void pumpFor(std::chrono::milliseconds duration);

// Whether every layout under `root` is done, doing any still to do as the
// layout request Qt posted for it would (one layout can ask for another):
// geometry checked once this holds is the settled one.
bool laidOut(QWidget& root);

}  // namespace sorvane::testing
