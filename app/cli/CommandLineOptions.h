#pragma once
// The command-line options that print or draw something of the input method
// itself. Each writes its result lines to standard output and returns the
// process's exit status.
#include <filesystem>
#include <string>
#include <vector>

namespace sorvane::CommandLineOptions {

// "[dir]": the first word as a path against the current directory, else the
// current directory itself. The folder is not created.
std::filesystem::path directoryArgument(const std::vector<std::string>& rest);

// --account-status: the account service, whether a device id and a token are
// stored, and the route the English mode would take. Never prints a secret.
int printAccountStatus();
// --panel-demo [x y] [s]: the candidate panel at a made-up caret.
int runPanelDemo(const std::vector<std::string>& rest);
// --render-hud [dir]: the three mode tiles as PNG files.
int renderHud(const std::vector<std::string>& rest);
// --quit: asks the current user's other processes of this bundle to end.
int quit();

}  // namespace sorvane::CommandLineOptions
