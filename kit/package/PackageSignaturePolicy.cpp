#include "kit/package/PackageSignaturePolicy.h"

#include "platform/Text.h"

namespace sorvane::PackageSignaturePolicy {
namespace {

constexpr std::string_view trustedStatus =
    "Status: signed by a developer certificate issued by Apple for distribution";
constexpr std::string_view notarizedLine = "Notarization: trusted by the Apple notary service";
constexpr std::string_view installerPrefix = "Developer ID Installer: ";
constexpr std::string_view teamSuffix = "(T4MQ8ZRV2N)";
constexpr std::string_view intermediatePrefix = "Developer ID Certification Authority";
constexpr std::string_view rootName = "Apple Root CA";

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::string joined(const std::vector<std::string>& chain) {
    std::string out;
    for (std::size_t i = 0; i < chain.size(); ++i) {
        if (i > 0) out += " → ";
        out += chain[i];
    }
    return out;
}

Unexpected<UpdateVerificationError> refuse(std::string reason) {
    return unexpected(UpdateVerificationError::signatureRejected(std::move(reason)));
}

}  // namespace

Report parse(std::string_view output) {
    Report report;
    bool inChain = false;
    for (const std::string& raw : Text::lines(output)) {
        const std::string line = Text::trimmedHorizontally(raw);
        if (startsWith(line, "Status:")) {
            report.status = line;
        } else if (line == notarizedLine) {
            report.notarized = true;
        } else if (line == "Certificate Chain:") {
            inChain = true;
        } else if (inChain) {
            // Entries come numbered in turn; one out of turn is not an entry.
            const std::string marker = std::to_string(report.chain.size() + 1) + ". ";
            if (!startsWith(line, marker)) continue;
            std::string name = Text::trimmedHorizontally(std::string_view(line).substr(marker.size()));
            if (!name.empty()) report.chain.push_back(std::move(name));
        }
    }
    return report;
}

Expected<Report, UpdateVerificationError> evaluate(std::string_view output, std::int32_t exitStatus) {
    Report report = parse(output);
    if (exitStatus != 0) {
        std::string reason = "pkgutil exit " + std::to_string(exitStatus);
        if (report.status) reason += ": " + *report.status;
        return refuse(std::move(reason));
    }
    if (!report.status) return refuse("no Status line");
    if (*report.status != trustedStatus) return refuse(*report.status);
    if (report.chain.empty() || !startsWith(report.chain.front(), installerPrefix))
        return refuse("not a Developer ID Installer certificate: " +
                      (report.chain.empty() ? std::string("none") : report.chain.front()));
    if (!endsWith(report.chain.front(), teamSuffix)) return refuse("wrong team: " + report.chain.front());
    if (report.chain.size() < 3 || !startsWith(report.chain[1], intermediatePrefix) ||
        report.chain.back() != rootName)
        return refuse("chain is not Developer ID → Apple Root CA: " + joined(report.chain));
    return report;
}

}  // namespace sorvane::PackageSignaturePolicy
