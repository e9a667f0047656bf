#pragma once
// The updater's front in the input-method server and on the command line.
// The server calls serverDidStart() once it is up and noteActivation() at
// the end of every input activation; both forward to the one process-wide
// schedule (kit/update/UpdateCenterSchedule.h) over the live settings, update.json,
// the update pipeline on detached threads and the update toast. Main thread.
#include <string>
#include <vector>

#include "kit/update/UpdateCenterSchedule.h"

namespace sorvane::UpdateCenter {

// Once, on the main thread, after the server and the engine are set up:
// the first check runs 60 s later.
void serverDidStart();
// At the end of every input-method activation. Never blocks the caller.
void noteActivation();

// `--check-update`: the arguments after the option; gives the exit status.
int runCheckCLI(const std::vector<std::string>& arguments);

// The server's one schedule, made on first use.
Schedule& shared();

}  // namespace sorvane::UpdateCenter
