#pragma once
// SIGTERM, SIGINT and SIGHUP end the event loop the way a polite quit does,
// so a process told to stop by a signal runs its closing steps and exits with
// status 0. Both of our processes need it: the server finalizes the engine
// (and is sent SIGHUP when the terminal it was started from closes), and the
// settings window is ended with SIGTERM by whoever started it. The signal
// also raises the QuitRequest, so that a main thread blocked in a call to a
// peer that does not answer gets back to the event loop promptly. A SIGHUP
// that was ignored when the process started (nohup) stays ignored.
class QCoreApplication;

namespace sorvane::QuitSignals {

// Main thread, once the application object exists. A second call for the
// same application changes nothing.
void route(QCoreApplication& app);

}  // namespace sorvane::QuitSignals
