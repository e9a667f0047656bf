#pragma once
// The updater's entry points that the server calls. The update schedule,
// feed and toast are not built yet: both calls return at once and do
// nothing, so the server can already call them in the right places.
namespace sorvane::UpdateCenter {

// Once, on the main thread, after the server and the engine are set up.
void serverDidStart();
// At the end of every input-method activation. Never blocks the caller.
void noteActivation();

}  // namespace sorvane::UpdateCenter
