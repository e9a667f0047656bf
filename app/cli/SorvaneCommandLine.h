#pragma once
// The executable's command-line options. Any argument makes the process a
// command-line run that never becomes the input-method server.
#include <string>
#include <vector>

namespace sorvane::SorvaneCommandLine {

// Exit statuses.
inline constexpr int kSuccess = 0;
inline constexpr int kFailure = 1;
inline constexpr int kUsage = 2;

// `arguments` are the process arguments without the program path. An empty
// list gives false; otherwise the first argument's option runs and the
// process ends with its exit status (this does not return).
bool handleIfPresent(const std::vector<std::string>& arguments);

// Runs the option named by the first argument and gives its exit status
// without ending the process. The list must not be empty.
int run(const std::vector<std::string>& arguments);

// `--account-demo [s]`: the first word as a decimal number of seconds, 5.0
// when there is none or it is not a finite decimal numeral.
double accountDemoSeconds(const std::vector<std::string>& rest);

// The usage text, without a final line break.
std::string helpText();

}  // namespace sorvane::SorvaneCommandLine
