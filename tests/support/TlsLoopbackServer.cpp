#include "tests/support/TlsLoopbackServer.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace sorvane::testing {
namespace {

template <class T>
using Owned = std::unique_ptr<T, void (*)(T*)>;

void require(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string("test certificate: ") + what);
}

void addExtension(X509* cert, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, cert, cert, nullptr, nullptr, 0);
    Owned<X509_EXTENSION> extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value), X509_EXTENSION_free);
    require(extension && X509_add_ext(cert, extension.get(), -1) == 1, "extension");
}

template <class Write>
void writePem(const std::filesystem::path& path, Write write) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "w"), std::fclose);
    require(file && write(file.get()) == 1, "cannot write PEM");
}

// A self-signed certificate that is its own authority, so the one file is
// both what the server presents and what the client trusts.
void makeCertificate(const std::filesystem::path& certPath, const std::filesystem::path& keyPath) {
    Owned<EVP_PKEY> key(EVP_EC_gen("P-256"), EVP_PKEY_free);
    require(key != nullptr, "key");
    Owned<X509> cert(X509_new(), X509_free);
    require(cert != nullptr, "certificate");
    X509_set_version(cert.get(), X509_VERSION_3);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 24 * 3600);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"),
                               -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);
    addExtension(cert.get(), NID_basic_constraints, "critical,CA:TRUE");
    addExtension(cert.get(), NID_key_usage, "critical,digitalSignature,keyCertSign");
    addExtension(cert.get(), NID_subject_alt_name, "IP:127.0.0.1");
    addExtension(cert.get(), NID_subject_key_identifier, "hash");
    require(X509_sign(cert.get(), key.get(), EVP_sha256()) > 0, "sign");
    writePem(certPath, [&](FILE* f) { return PEM_write_X509(f, cert.get()); });
    writePem(keyPath, [&](FILE* f) {
        return PEM_write_PrivateKey(f, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    });
}

}  // namespace

struct TlsLoopbackServer::Files {
    TempDir folder;
    std::filesystem::path cert = folder.path() / "server.pem";
    std::filesystem::path key = folder.path() / "server.key";
    Files() { makeCertificate(cert, key); }
};

TlsLoopbackServer::TlsLoopbackServer() : TlsLoopbackServer(Files()) {}

TlsLoopbackServer::TlsLoopbackServer(const Files& files)
    : LoopbackServer(std::make_unique<httplib::SSLServer>(files.cert.c_str(), files.key.c_str()), "https") {
    // The server has read its files; the client reads the certificate at
    // each connection, so it moves into a folder of this object's own.
    certificate_ = folder_.path() / "ca.pem";
    std::filesystem::copy_file(files.cert, certificate_);
}

}  // namespace sorvane::testing
