#pragma once
// The temporary folders that preview models create, removed when the process
// ends: at a normal exit and on SIGTERM, SIGINT or SIGHUP, whose handler then
// passes the signal on to the handler it found (or ends the process as the
// default would). Only what was registered, so a folder of another process
// is never touched.
//
// Register on the main thread; removal at a signal uses only calls that are
// safe there, so the registered paths are fixed once registered.
#include <filesystem>
#include <vector>

namespace sorvane::PreviewFiles {

// `folder` and the files in it that the caller wrote (names only, at most a
// few). The first call installs the exit and signal handlers.
void track(const std::filesystem::path& folder, const std::vector<std::string>& files);

// Removes everything registered so far, now.
void removeAll();

// The folders registered and still to be removed.
std::vector<std::filesystem::path> tracked();

}  // namespace sorvane::PreviewFiles
