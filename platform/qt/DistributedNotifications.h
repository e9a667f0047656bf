#pragma once
// Distributed notifications as D-Bus signals on the session bus. A name's last
// dot-component is the signal's member, the rest its interface:
// "cn.kestrum.inputmethod.Sorvane.settingsChanged" is member "settingsChanged"
// of interface "cn.kestrum.inputmethod.Sorvane". The user info travels as a
// string map (a{ss}).
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/NotificationCenter.h"

namespace sorvane {

class DistributedNotifications final : public QObject, public NotificationCenter {
    Q_OBJECT
public:
    // Lives in the application object's thread; observers are called there.
    // Each center has a session-bus connection of its own, opened on first
    // use (on the bus of DBUS_SESSION_BUS_ADDRESS at that time) and closed
    // with it.
    DistributedNotifications();
    ~DistributedNotifications() override;

    bool post(std::string_view name, const NotificationUserInfo& userInfo = {}) override;
    NotificationObserverId observe(std::string_view name, Callback callback) override;
    void removeObserver(NotificationObserverId id) override;

    // The process-wide center, made on first use.
    static std::shared_ptr<DistributedNotifications> shared();

    // "a.b.c" -> {"a.b", "c"}; none for a name without a dot or with an empty part.
    struct SignalName {
        std::string interface;
        std::string member;
    };
    static std::optional<SignalName> signalName(std::string_view name);
    static constexpr const char* kObjectPath = "/cn/kestrum/inputmethod/Notifications";

private slots:
    void onSignal(const QDBusMessage& message);

private:
    struct Observer {
        NotificationObserverId id;
        std::string name;
        // Shared, so that a callback that removes itself lives until it returns.
        std::shared_ptr<const Callback> callback;
    };
    QDBusConnection bus();

    std::mutex mutex_;
    QString busName_;  // guarded by mutex_; empty until first use
    NotificationObserverId nextId_ = 1;
    std::vector<Observer> observers_;
    std::set<std::string> connected_;
};

}  // namespace sorvane
