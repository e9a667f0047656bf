#include "kit/update/UpdateCenterCheckCLI.h"

#include <mutex>
#include <semaphore>

#include "kit/update/UpdateCenterProgress.h"
#include "kit/update/UpdateCenterSchedule.h"
#include "kit/update/UpdatePipeline.h"
#include "platform/DateText.h"

namespace sorvane::UpdateCenter {
namespace {

template <typename T>
std::string orDash(const std::optional<T>& value) {
    return value ? std::string(*value) : std::string("-");
}

std::string dateOrDash(const std::optional<UpdateState::Date>& date) {
    return date ? DateText::iso8601(*date) : std::string("-");
}

// Carries the check's result from its task to the waiting thread.
struct CLIResultBox {
    std::mutex lock;
    std::optional<Expected<UpdateCheckResult, UpdateCheckError>> result;
};

int printResult(const std::optional<Expected<UpdateCheckResult, UpdateCheckError>>& outcome,
                const UpdateEnvironment& environment, std::ostream& out) {
    if (!outcome) {
        out << "result    : FAILED — no result\n";
        return 1;
    }
    if (!outcome->hasValue()) {
        const UpdateCheckError& error = outcome->error();
        out << "result    : FAILED — " << error.description() << '\n';
        if (error.kind == UpdateCheckError::Kind::verification)
            out << "            (the package was rejected and deleted; update.json offers nothing)\n";
        return 1;
    }
    const UpdateCheckResult& result = **outcome;
    if (result.kind == UpdateCheckResult::Kind::upToDate) {
        out << "result    : up to date (feed latest " << (result.release ? result.release->version : "none")
            << ")\n";
        return 0;
    }
    out << "result    : ready " << (result.release ? result.release->version : "") << " ("
        << (result.downloaded ? "downloaded" : "kept the verified download") << ")\n"
        << "package   : " << result.path << '\n';
    const UpdateState state = environment.stateFile.load();
    out << "update.json: checkedAt=" << dateOrDash(state.checkedAt)
        << " latest=" << (state.latest ? state.latest->version : "-")
        << " downloadedPath=" << orDash(state.downloadedPath)
        << " verifiedAt=" << dateOrDash(state.verifiedAt)
        << " notifiedVersion=" << orDash(state.notifiedVersion) << '\n';
    // The same rule as the menu and the panel: only a package the updater keeps.
    const auto kept = [&](const std::string& path) {
        return UpdatePipeline::isKeptPackage(path, environment.updatesDirectory);
    };
    out << "menu title: " << menuTitle(state, environment.currentVersion, kept).value_or("(none)") << '\n';
    return 0;
}

}  // namespace

std::string checkUsage() {
    return "--check-update [--current-version X]\n"
           "  Ask {api}/sorvane/update, download and verify a newer update pkg into\n"
           "  ~/Library/Caches/SorvaneIME/Updates and record it in ~/Library/SorvaneIME/update.json.\n"
           "  --current-version  compare against X instead of the bundle's CFBundleShortVersionString\n"
           "  (an executable outside an application bundle has none). Development builds honour "
           "SORVANE_ACCOUNT_API.";
}

int runCheckCLI(const std::vector<std::string>& arguments, const CheckCLIServices& services) {
    std::optional<std::string> version;
    std::size_t next = 0;
    while (next + 1 < arguments.size() && arguments[next] == "--current-version") {
        version = arguments[next + 1];
        next += 2;
    }
    if (next < arguments.size()) {
        const std::string& argument = arguments[next];
        if (argument == "--help" || argument == "-h") {
            services.out << checkUsage() << '\n' << std::flush;
            return 0;
        }
        services.err << "check-update: unknown argument " << argument << '\n'
                     << checkUsage() << '\n'
                     << std::flush;
        return 2;
    }

    const UpdateEnvironment environment = services.makeEnvironment(version);
    const std::string source = version                  ? "--current-version"
                               : services.bundleVersion ? "bundle"
                                                        : "no bundle version; pass --current-version";
    std::ostream& out = services.out;
    out << "api       : " << environment.baseURL << '\n'
        << "running   : " << environment.currentVersion << " (" << source << ")\n"
        << "os / arch : " << environment.osVersion << " / " << environment.arch << '\n'
        << "state     : " << environment.stateFile.url.string() << '\n'
        << "packages  : " << environment.updatesDirectory.string() << '\n'
        << std::flush;

    CLIResultBox box;
    std::binary_semaphore done(0);
    CLIProgressPrinter printer(out);
    services.tasks.run([&] {
        // Signalled however the check ends, so the wait below always ends;
        // a check that ends without a result is reported as such.
        struct Signal {
            std::binary_semaphore& done;
            ~Signal() { done.release(); }
        } signal{done};
        try {
            auto result = services.runCheck(environment,
                                            [&printer](const UpdateEvent& event) { printer.handle(event); });
            std::lock_guard guard(box.lock);
            box.result = std::move(result);
        } catch (...) {
        }
    });
    done.acquire();
    std::lock_guard guard(box.lock);
    const int status = printResult(box.result, environment, out);
    out.flush();
    return status;
}

}  // namespace sorvane::UpdateCenter
