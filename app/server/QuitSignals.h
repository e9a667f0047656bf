#pragma once
// SIGTERM and SIGINT end the event loop the way a polite quit does, so a
// process told to stop by a signal runs its closing steps and exits with
// status 0. Both of our processes need it: the server finalizes the engine,
// and the settings window is ended with SIGTERM by whoever started it.
class QCoreApplication;

namespace sorvane::QuitSignals {

// Main thread, once the application object exists. A second call for the
// same application changes nothing.
void route(QCoreApplication& app);

}  // namespace sorvane::QuitSignals
