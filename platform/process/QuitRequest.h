#pragma once
// Whether this process has been told to quit (SIGTERM, SIGINT, SIGHUP).
// Blocking calls into other processes on the main thread (the keychain's
// Secret Service) watch it while they wait, so that a quit is not held up by
// a peer that never answers: they fail as though it had not answered.
namespace sorvane::QuitRequest {

// Async-signal-safe: a quit signal's handler calls it.
void raise() noexcept;
bool raised() noexcept;
// For tests that raise it.
void clear() noexcept;

}  // namespace sorvane::QuitRequest
