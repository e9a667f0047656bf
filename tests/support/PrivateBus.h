#pragma once
// A private D-Bus session bus for one test process. Sets
// DBUS_SESSION_BUS_ADDRESS before any connection is made and stops the
// daemon afterwards.
#include <string>
#include <sys/types.h>

namespace sorvane::testing {

class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const std::string& address() const { return address_; }
    bool ok() const { return !address_.empty(); }

private:
    pid_t pid_ = -1;
    std::string address_;
};

}  // namespace sorvane::testing
