#pragma once
// The one routine that checks for a newer release and turns it into a
// verified package on disk: feed request, decision, reuse of the kept
// package or a download with a size cap, verification, keeping the one
// package in the updates folder and recording the outcome in update.json.
// It never installs anything.
//
// Nothing the pipeline does touches a file outside the updates folder and
// its own temporary downloads (a check also removes those that a killed
// process of this user left behind, once no transfer can still be writing
// them): a package path read from update.json counts
// only when it names a regular file directly inside the updates folder, and
// any other path is forgotten, never deleted, opened or followed.
//
// Every call blocks its thread (a background task, never the main thread)
// and keeps no state between runs; the server and the settings window may
// run it at once against the same files (update.json is replaced atomically
// and the last writer wins).
#include <filesystem>
#include <optional>
#include <string>

#include "kit/package/PackageVerification.h"
#include "kit/update/UpdateCheckError.h"
#include "kit/update/UpdateEnvironment.h"
#include "kit/update/UpdateEvent.h"
#include "kit/update/UpdateState.h"
#include "platform/Expected.h"
#include "platform/HttpClient.h"

namespace sorvane::UpdatePipeline {

// One whole check. `events` may be called from the transfer's thread.
Expected<UpdateCheckResult, UpdateCheckError> run(const UpdateEnvironment& environment,
                                                  const UpdateEventHandler& events = {});

// Size, digest, signature, version, newer than the running one.
Expected<PackageVerification, UpdateVerificationError> verify(const std::filesystem::path& package,
                                                              const UpdateRelease& release,
                                                              const UpdateEnvironment& environment);

// The kept package verified again just before it is handed to the
// installer; one that fails is deleted and forgotten.
Expected<UpdateState::Ready, UpdateCheckError> verifyReadyPackage(const UpdateEnvironment& environment);

// Deletes every entry of the folder but `keep` (everything when absent).
void removeDownloads(const std::filesystem::path& folder, const std::optional<std::filesystem::path>& keep);

// Whether a path read from update.json is a package the updater kept: a
// regular file (not a link) directly inside `updatesDirectory`.
bool isKeptPackage(const std::string& path, const std::filesystem::path& updatesDirectory);

// The feed GET: "sorvane/update" under the base address with the query
// version, os, arch, and the two headers.
HttpRequest feedRequest(const UpdateEnvironment& environment);

}  // namespace sorvane::UpdatePipeline
