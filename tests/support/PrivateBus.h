#pragma once
// A private D-Bus session bus for one test. Sets DBUS_SESSION_BUS_ADDRESS
// before any connection is made; afterwards stops the daemon and puts the
// previous address back. The socket lies in a folder of its own, so that
// children in another network namespace reach the bus too.
#include <sys/types.h>

#include <optional>
#include <string>

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
    std::string socketFolder_;
    std::optional<std::string> previousAddress_;
};

}  // namespace sorvane::testing
