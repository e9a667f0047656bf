#include "kit/package/PkgutilSignatureChecker.h"

namespace sorvane {

Expected<PackageSignaturePolicy::Report, UpdateVerificationError> PkgutilSignatureChecker::check(
    const std::filesystem::path& package) const {
    using Kind = PkgutilRunner::Outcome::Kind;
    const auto outcome = PkgutilRunner::run({"--check-signature", package.string()}, timeout, executable);
    switch (outcome.kind) {
        case Kind::timedOut:
            return unexpected(UpdateVerificationError::signatureRejected("pkgutil timed out"));
        case Kind::launchFailed:
            return unexpected(
                UpdateVerificationError::signatureRejected("pkgutil did not run: " + outcome.failure));
        case Kind::exited:
            break;
    }
    return PackageSignaturePolicy::evaluate(outcome.output, outcome.status);
}

}  // namespace sorvane
