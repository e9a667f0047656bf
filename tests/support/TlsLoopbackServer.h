#pragma once
// An HTTPS server on 127.0.0.1 with a certificate made for it on the spot
// (for 127.0.0.1, self-signed, valid for a day). Only a client told to trust
// caFile() accepts it; nothing else in the process or the system trusts it.
#include <filesystem>

#include "tests/support/LoopbackServer.h"
#include "tests/support/TempHome.h"

namespace sorvane::testing {

class TlsLoopbackServer : public LoopbackServer {
public:
    TlsLoopbackServer();

    // The certificate in PEM, for CurlHttpClient(caFile).
    const std::filesystem::path& caFile() const { return certificate_; }

private:
    struct Files;
    TlsLoopbackServer(const Files& files);

    TempDir folder_;
    std::filesystem::path certificate_;
};

}  // namespace sorvane::testing
