#pragma once
// Lets a test running as root meet file permissions: while alive, the
// process's effective capabilities that bypass them (CAP_DAC_OVERRIDE,
// CAP_DAC_READ_SEARCH) are dropped, and restored afterwards. For an ordinary
// user it does nothing.
namespace sorvane::testing {

class ScopedFilePermissions {
public:
    ScopedFilePermissions();
    ~ScopedFilePermissions();
    ScopedFilePermissions(const ScopedFilePermissions&) = delete;
    ScopedFilePermissions& operator=(const ScopedFilePermissions&) = delete;
    // Whether permissions are now enforced for this process.
    bool enforced() const { return enforced_; }

private:
    bool enforced_ = false;
    bool changed_ = false;
    unsigned savedEffective_[2] = {0, 0};
};

}  // namespace sorvane::testing
