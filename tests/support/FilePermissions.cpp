#include "tests/support/FilePermissions.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace sorvane::testing {
namespace {

bool getCaps(__user_cap_data_struct (&data)[2]) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(SYS_capget, &header, data) == 0;
}

bool setCaps(__user_cap_data_struct (&data)[2]) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(SYS_capset, &header, data) == 0;
}

}  // namespace

ScopedFilePermissions::ScopedFilePermissions() {
    __user_cap_data_struct data[2]{};
    if (!getCaps(data)) return;
    const unsigned mask = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
    if ((data[0].effective & mask) == 0) {
        enforced_ = true;
        return;
    }
    savedEffective_[0] = data[0].effective;
    savedEffective_[1] = data[1].effective;
    data[0].effective &= ~mask;
    if (!setCaps(data)) return;
    changed_ = true;
    enforced_ = true;
}

ScopedFilePermissions::~ScopedFilePermissions() {
    if (!changed_) return;
    __user_cap_data_struct data[2]{};
    if (!getCaps(data)) return;
    data[0].effective = savedEffective_[0];
    data[1].effective = savedEffective_[1];
    setCaps(data);
}

}  // namespace sorvane::testing
