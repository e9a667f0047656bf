#include "kit/package/PkgutilRunner.h"

#include <algorithm>
#include <cmath>

namespace sorvane::PkgutilRunner {

Outcome run(const std::vector<std::string>& arguments, double timeoutSeconds,
            const std::filesystem::path& executable) {
    ChildProcessRequest request;
    request.executable = executable;
    request.arguments = arguments;
    request.environment = {"LANG=C", "LC_ALL=C", "PATH=/usr/bin:/bin:/usr/sbin:/sbin"};
    const double seconds = std::isfinite(timeoutSeconds) ? std::max(0.0, timeoutSeconds) : 0.0;
    request.timeout = std::chrono::milliseconds(static_cast<long long>(std::llround(seconds * 1000.0)));
    return ChildProcessRunner::run(request);
}

}  // namespace sorvane::PkgutilRunner
