#pragma once
// The process entry: a command-line run when there are arguments, else the
// input-method server.
namespace sorvane::SorvaneApp {

// Returns when the server's event loop ends (or never, for a command-line
// run, which exits with its option's status).
void main(int argc, char** argv);

inline constexpr const char* kDefaultBundleIdentifier = "cn.kestrum.inputmethod.Sorvane";

}  // namespace sorvane::SorvaneApp
