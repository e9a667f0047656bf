#include "kit/package/UpdateVerificationError.h"

namespace sorvane {

using Error = UpdateVerificationError;

namespace {

template <class Fill>
Error make(Error::Kind kind, Fill fill) {
    Error e;
    e.kind = kind;
    fill(e);
    return e;
}

}  // namespace

Error Error::unreadable(std::string reason) {
    return make(Kind::unreadable, [&](Error& e) { e.reason = std::move(reason); });
}

Error Error::sizeMismatch(std::int64_t expected, std::int64_t actual) {
    return make(Kind::sizeMismatch, [&](Error& e) {
        e.expectedSize = expected;
        e.actualSize = actual;
    });
}

Error Error::checksumMismatch(std::string expected, std::string actual) {
    return make(Kind::checksumMismatch, [&](Error& e) {
        e.expected = std::move(expected);
        e.actual = std::move(actual);
    });
}

Error Error::signatureRejected(std::string reason) {
    return make(Kind::signatureRejected, [&](Error& e) { e.reason = std::move(reason); });
}

Error Error::versionUnreadable(std::string reason) {
    return make(Kind::versionUnreadable, [&](Error& e) { e.reason = std::move(reason); });
}

Error Error::versionMismatch(std::string announced, std::string package) {
    return make(Kind::versionMismatch, [&](Error& e) {
        e.announced = std::move(announced);
        e.package = std::move(package);
    });
}

Error Error::notNewer(std::string package, std::string running) {
    return make(Kind::notNewer, [&](Error& e) {
        e.package = std::move(package);
        e.running = std::move(running);
    });
}

std::string Error::description() const {
    switch (kind) {
        case Kind::unreadable:
            return "安装包读不了（" + reason + "）";
        case Kind::sizeMismatch:
            return "安装包大小不对（应为 " + std::to_string(expectedSize) + " 字节，实际 " +
                   std::to_string(actualSize) + " 字节）";
        case Kind::checksumMismatch:
            // Neither digest: they mean nothing to the user.
            return "安装包 SHA-256 与更新源不一致";
        case Kind::signatureRejected:
            return "安装包签名不可信（" + reason + "）";
        case Kind::versionUnreadable:
            return "安装包版本无法确认（" + reason + "）";
        case Kind::versionMismatch:
            return "安装包版本是 " + package + "，与更新源声明的 " + announced + " 不一致";
        case Kind::notNewer:
            return "安装包版本 " + package + " 不比当前的 " + running + " 新";
    }
    return {};
}

}  // namespace sorvane
