#pragma once
// What the running operating system says about itself. On Linux the version
// is the kernel release ("6.1.0-18-amd64"), so version-dependent rules see a
// kernel major version where the macOS product expects a system major.
#include <optional>
#include <string>
#include <string_view>

namespace sorvane {

struct OperatingSystemVersion {
    int major = 0;
    int minor = 0;
    int patch = 0;

    // "major.minor.patch"
    std::string text() const;
    bool operator==(const OperatingSystemVersion&) const = default;

    // The leading numbers of a release text; whatever follows them (a build
    // or distribution suffix) is cut; a missing minor or patch reads as 0.
    // None when the text does not start with a number.
    static std::optional<OperatingSystemVersion> parse(std::string_view release);
};

class SystemInfo {
public:
    virtual ~SystemInfo() = default;
    virtual OperatingSystemVersion version() const = 0;
    int majorVersion() const { return version().major; }
};

// uname(2)'s release.
class UnameSystemInfo final : public SystemInfo {
public:
    OperatingSystemVersion version() const override;
    static UnameSystemInfo& shared();
};

// A fixed version, for tests and previews.
class FixedSystemInfo final : public SystemInfo {
public:
    explicit FixedSystemInfo(OperatingSystemVersion version) : version_(version) {}
    OperatingSystemVersion version() const override { return version_; }

private:
    OperatingSystemVersion version_;
};

}  // namespace sorvane
