#pragma once
// A real Secret Service for a test: gnome-keyring-daemon in the foreground on
// the test's private bus (DBUS_SESSION_BUS_ADDRESS), its login keyring made
// and unlocked with an empty password, ended with the object.
#include <sys/types.h>

#include <atomic>
#include <memory>

// GIO's own declaration: its headers name a field `signals`, which a Qt
// test's headers define away.
typedef struct _GDBusConnection GDBusConnection;

namespace sorvane::testing {

// Whether an executable of that name is on PATH.
bool onPath(const char* program);
// A connection of its own to the bus named by DBUS_SESSION_BUS_ADDRESS: the
// process's shared session connection may still be an earlier test's. The
// caller unrefs it; null when there is no bus.
GDBusConnection* privateConnection();
bool secretServiceOnBus();

// Owns a name on the bus of DBUS_SESSION_BUS_ADDRESS and never answers a call
// made to it, as a service that hangs would; gives the name back when it goes.
class MuteBusName {
public:
    explicit MuteBusName(const char* name);
    ~MuteBusName();
    MuteBusName(const MuteBusName&) = delete;
    MuteBusName& operator=(const MuteBusName&) = delete;
    bool owned() const { return owned_; }
    // How many calls it has left unanswered so far.
    int callsReceived() const { return calls_->load(); }

private:
    GDBusConnection* bus_ = nullptr;
    bool owned_ = false;
    // Counted on the bus's own thread; outlives a filter call in flight.
    std::shared_ptr<std::atomic<int>> calls_ = std::make_shared<std::atomic<int>>(0);
};

class KeyringDaemon {
public:
    KeyringDaemon();
    ~KeyringDaemon();
    KeyringDaemon(const KeyringDaemon&) = delete;
    KeyringDaemon& operator=(const KeyringDaemon&) = delete;
    // The daemon owns the Secret Service's name on the bus.
    bool ready() const { return ready_; }

private:
    pid_t pid_ = -1;
    bool ready_ = false;
};

}  // namespace sorvane::testing
