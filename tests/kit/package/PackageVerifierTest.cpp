#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <filesystem>
#include <fstream>

#include "kit/package/PackageSignaturePolicy.h"
#include "kit/package/PackageVerifier.h"
#include "tests/support/TempHome.h"

namespace sorvane {
namespace {

using Error = UpdateVerificationError;
using PackageSignaturePolicy::Report;

const std::string emptyDigest = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
const std::string abcDigest = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

struct CountingSignature final : PackageSignatureChecking {
    mutable int calls = 0;
    std::optional<Error> failure;
    Expected<Report, Error> check(const std::filesystem::path&) const override {
        ++calls;
        if (failure) return unexpected(*failure);
        return Report{"Status: ok", {"leaf"}, false};
    }
};

struct CountingVersion final : PackageVersionReading {
    mutable int calls = 0;
    Expected<std::string, Error> answer = std::string("1.4.0");
    Expected<std::string, Error> productVersion(const std::filesystem::path&) const override {
        ++calls;
        return answer;
    }
};

class PackageVerifierTest : public ::testing::Test {
protected:
    testing::TempDir dir;
    std::filesystem::path package = dir.path() / "p.pkg";
    CountingSignature signature;
    CountingVersion version;

    void SetUp() override { std::ofstream(package, std::ios::binary) << "abc"; }
    UpdateRelease release(std::int64_t size = 3, std::string sha = abcDigest, std::string v = "1.4.0") {
        return UpdateRelease{
            std::move(v), "https://example.invalid/p.pkg", std::move(sha), size, {}, {}, {}, {}};
    }
    Expected<PackageVerification, Error> verify(const UpdateRelease& r, const char* running = "1.3.0") {
        return PackageVerifier::verify(package, r, running, signature, version);
    }
};

TEST_F(PackageVerifierTest, ChecksRunInOrderAndStopAtTheFirstFailure) {
    struct Case {
        const char* name;
        UpdateRelease release;
        std::optional<Error> signatureFailure;
        Expected<std::string, Error> product;
        const char* running;
        std::optional<Error> expected;
        int signatureCalls, versionCalls;
    };
    const auto refused = Error::signatureRejected("pkgutil timed out");
    const auto unreadable = Error::versionUnreadable("x");
    const Case cases[] = {
        {"one byte short", release(4), std::nullopt, std::string("1.4.0"), "1.3.0", Error::sizeMismatch(4, 3),
         0, 0},
        {"digest", release(3, emptyDigest), std::nullopt, std::string("1.4.0"), "1.3.0",
         Error::checksumMismatch(emptyDigest, abcDigest), 0, 0},
        {"signature", release(), refused, std::string("1.4.0"), "1.3.0", refused, 1, 0},
        {"version unreadable", release(), std::nullopt, unexpected(unreadable), "1.3.0", unreadable, 1, 1},
        {"other version", release(), std::nullopt, std::string("1.4.1"), "1.3.0",
         Error::versionMismatch("1.4.0", "1.4.1"), 1, 1},
        {"not newer", release(), std::nullopt, std::string("1.4.0"), "1.4", Error::notNewer("1.4.0", "1.4"),
         1, 1},
        {"upper-case digest passes",
         release(3, "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"), std::nullopt,
         std::string("1.4.0"), "1.3.0", std::nullopt, 1, 1},
    };
    for (const auto& c : cases) {
        signature.calls = version.calls = 0;
        signature.failure = c.signatureFailure;
        version.answer = c.product;
        const auto result = verify(c.release, c.running);
        if (c.expected) {
            ASSERT_FALSE(result) << c.name;
            EXPECT_EQ(result.error(), *c.expected) << c.name;
        } else {
            ASSERT_TRUE(result) << c.name;
            EXPECT_EQ(result->productVersion, "1.4.0");
            EXPECT_EQ(result->signature.chain, std::vector<std::string>{"leaf"});
        }
        EXPECT_EQ(signature.calls, c.signatureCalls) << c.name;
        EXPECT_EQ(version.calls, c.versionCalls) << c.name;
    }
}

TEST_F(PackageVerifierTest, UnreadablePackagesNeverReachTheUtility) {
    std::filesystem::remove(package);
    const auto missing = verify(release());
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().kind, Error::Kind::unreadable);
    EXPECT_EQ(missing.error().description(),
              "安装包读不了（No such file or directory (" + package.string() + ")）");

    // A folder in the package's place has no size of its own.
    std::filesystem::create_directory(package);
    EXPECT_EQ(PackageVerifier::fileSize(package).value(), -1);
    EXPECT_EQ(verify(release()).error(), Error::sizeMismatch(3, -1));
    EXPECT_EQ(signature.calls + version.calls, 0);
}

TEST_F(PackageVerifierTest, DigestsMatchOpenSSLAcrossChunkBoundaries) {
    std::ofstream(package, std::ios::binary | std::ios::trunc).flush();
    EXPECT_EQ(PackageVerifier::sha256(package).value(), emptyDigest);

    // Just over two chunks, so the last read is short.
    std::string bytes(2 * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 % 251);
    std::ofstream(package, std::ios::binary | std::ios::trunc) << bytes;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
    std::string hex;
    for (unsigned i = 0; i < length; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex += pair;
    }
    EXPECT_EQ(PackageVerifier::sha256(package).value(), hex);
    EXPECT_EQ(PackageVerifier::fileSize(package).value(), static_cast<std::int64_t>(bytes.size()));
}

TEST(UpdateVerificationError, TextsShownToTheUser) {
    const std::pair<Error, const char*> cases[] = {
        {Error::unreadable("x"), "安装包读不了（x）"},
        {Error::sizeMismatch(12345678, -1), "安装包大小不对（应为 12345678 字节，实际 -1 字节）"},
        {Error::checksumMismatch("aa", "bb"), "安装包 SHA-256 与更新源不一致"},
        {Error::signatureRejected("no Status line"), "安装包签名不可信（no Status line）"},
        {Error::versionUnreadable("y"), "安装包版本无法确认（y）"},
        {Error::versionMismatch("1.4.0", "1.4.1"), "安装包版本是 1.4.1，与更新源声明的 1.4.0 不一致"},
        {Error::notNewer("1.4.0", "1.5.0"), "安装包版本 1.4.0 不比当前的 1.5.0 新"},
    };
    for (const auto& [error, text] : cases) EXPECT_EQ(error.description(), text);
}

// A report as the utility prints it, with the chain's detail lines between.
std::string report(const std::string& status, const std::vector<std::string>& chain, bool notarized = false,
                   const std::string& newline = "\n") {
    std::string out = "Package \"p.pkg\":" + newline + "   " + status + newline;
    if (notarized) out += "   Notarization: trusted by the Apple notary service" + newline;
    out += "   Signed with a trusted timestamp on: 2026-12-01 10:00:00 +0000" + newline;
    out += "   Certificate Chain:" + newline;
    for (std::size_t i = 0; i < chain.size(); ++i) {
        out += "    " + std::to_string(i + 1) + ". " + chain[i] + newline;
        out += "       Expires: 2031-02-01 22:12:15 +0000" + newline;
        out += "       SHA256 Fingerprint:" + newline + "           35 36 37" + newline;
        out += "       ------------------------------------------------------------------------" + newline;
    }
    return out;
}

TEST(PackageSignaturePolicy, EvaluatesTheUtilitysReport) {
    const std::string good = "Status: signed by a developer certificate issued by Apple for distribution";
    const std::string leaf = "Developer ID Installer: Kestrum Ltd (T4MQ8ZRV2N)";
    const std::string mid = "Developer ID Certification Authority";
    const std::string root = "Apple Root CA";
    const std::string unsignedStatus = "Status: no signature";
    struct Case {
        const char* name;
        std::string output;
        int exit;
        std::optional<std::string> refusal;  // none: passes
    };
    const Case cases[] = {
        {"notarized", report(good, {leaf, mid, root}, true), 0, std::nullopt},
        {"not notarized", report(good, {leaf, mid, root}), 0, std::nullopt},
        {"CRLF", report(good, {leaf, mid, root}, false, "\r\n"), 0, std::nullopt},
        {"U+2028", report(good, {leaf, mid, root}, false, "\u2028"), 0, std::nullopt},
        {"exit with status", "Package \"p.pkg\":\n   " + unsignedStatus + "\n", 1,
         "pkgutil exit 1: " + unsignedStatus},
        {"exit without status", "Package \"p.pkg\":\n", 1, "pkgutil exit 1"},
        {"no status", "Certificate Chain:\n 1. " + leaf + "\n", 0, "no Status line"},
        {"untrusted status", report(unsignedStatus, {}), 0, unsignedStatus},
        {"empty chain", report(good, {}), 0, "not a Developer ID Installer certificate: none"},
        {"application leaf", report(good, {"Developer ID Application: Kestrum Ltd (T4MQ8ZRV2N)", mid, root}),
         0, "not a Developer ID Installer certificate: Developer ID Application: Kestrum Ltd (T4MQ8ZRV2N)"},
        {"other team", report(good, {"Developer ID Installer: Other (AAAAAAAAAA)", mid, root}), 0,
         "wrong team: Developer ID Installer: Other (AAAAAAAAAA)"},
        {"team in other case", report(good, {"Developer ID Installer: Kestrum Ltd (t4mq8zrv2n)", mid, root}),
         0, "wrong team: Developer ID Installer: Kestrum Ltd (t4mq8zrv2n)"},
        {"two entries", report(good, {leaf, root}), 0,
         "chain is not Developer ID → Apple Root CA: " + leaf + " → " + root},
        {"root with suffix", report(good, {leaf, mid, root + " 2"}), 0,
         "chain is not Developer ID → Apple Root CA: " + leaf + " → " + mid + " → " + root + " 2"},
    };
    for (const auto& c : cases) {
        const auto result = PackageSignaturePolicy::evaluate(c.output, c.exit);
        if (!c.refusal) {
            ASSERT_TRUE(result) << c.name << ": " << result.error().description();
            EXPECT_EQ(result->chain, (std::vector<std::string>{leaf, mid, root})) << c.name;
            EXPECT_EQ(result->status, good);
        } else {
            ASSERT_FALSE(result) << c.name;
            EXPECT_EQ(result.error(), Error::signatureRejected(*c.refusal)) << c.name;
        }
    }
    EXPECT_TRUE(PackageSignaturePolicy::parse(report(good, {leaf, mid, root}, true)).notarized);
}

TEST(PackageSignaturePolicy, ChainEntriesCountOnlyInTurn) {
    const auto parsed = PackageSignaturePolicy::parse(
        "1. before the section\nStatus: first\nCertificate Chain:\n1. Leaf\n3. Root early\n2.  \n2. Middle\n"
        "2. Again\n3. Root\nStatus: second\n");
    EXPECT_EQ(parsed.chain, (std::vector<std::string>{"Leaf", "Middle", "Root"}));
    EXPECT_EQ(parsed.status, "Status: second");
    EXPECT_FALSE(parsed.notarized);
}

}  // namespace
}  // namespace sorvane
