#include "kit/update/UpdateCenterProgress.h"

#include <string>

namespace sorvane::UpdateCenter {
namespace {

// A hostile total or count must not overflow the multiplication.
std::int64_t decile(std::int64_t received, std::int64_t total) {
    if (total < 1) return 0;
    return static_cast<std::int64_t>(static_cast<__int128>(received) * 10 / total);
}

}  // namespace

void CLIProgressPrinter::handle(const UpdateEvent& event) {
    std::lock_guard guard(lock_);
    switch (event.kind) {
        case UpdateEvent::Kind::requesting:
            out_ << "request   : GET " << event.text << '\n';
            break;
        case UpdateEvent::Kind::feed: {
            const bool available = event.feed && event.feed->updateAvailable;
            out_ << "feed      : updateAvailable=" << (available ? "true" : "false");
            if (event.feed && event.feed->latest) {
                const UpdateRelease& latest = *event.feed->latest;
                out_ << " latest=" << latest.version << " size=" << latest.size << " sha256=" << latest.sha256
                     << '\n'
                     << "            url=" << latest.url << '\n';
            } else {
                out_ << " latest=null\n";
            }
            break;
        }
        case UpdateEvent::Kind::reusing:
            out_ << "reuse     : " << event.text << " (checking it again)\n";
            break;
        case UpdateEvent::Kind::downloading: {
            const std::int64_t tenth = decile(event.received, event.total);
            if (tenth == lastDecile_) return;
            lastDecile_ = tenth;
            out_ << "download  : " << event.received << '/' << event.total << " bytes (" << tenth * 10
                 << "%)\n";
            break;
        }
        case UpdateEvent::Kind::verifying:
            out_ << "verify    : size, SHA-256, pkgutil --check-signature, version inside the pkg "
                    "(pkgutil --expand-full)\n";
            break;
        case UpdateEvent::Kind::verified: {
            const PackageVerification check = event.check.value_or(PackageVerification{});
            std::string chain;
            for (const std::string& name : check.signature.chain) {
                if (!chain.empty()) chain += " → ";
                chain += name;
            }
            out_ << "verify    : ok — " << check.signature.status.value_or("") << '\n'
                 << "            chain: " << chain << '\n'
                 << "            notarized: " << (check.signature.notarized ? "yes" : "no (not required)")
                 << '\n'
                 << "            package version: " << check.productVersion
                 << " (Distribution, PackageInfo and Info.plist agree)\n";
            break;
        }
    }
    out_.flush();
}

}  // namespace sorvane::UpdateCenter
