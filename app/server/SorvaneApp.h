#pragma once
// The process entry: a command-line run when there are arguments, else the
// input-method server.
namespace sorvane::SorvaneApp {

// The server's exit status once its event loop ends: 0, or 1 when there is
// no home folder to keep the user's files in. A command-line run never
// returns: it exits with its option's status.
int main(int argc, char** argv);

inline constexpr const char* kDefaultBundleIdentifier = "cn.kestrum.inputmethod.Sorvane";

}  // namespace sorvane::SorvaneApp
