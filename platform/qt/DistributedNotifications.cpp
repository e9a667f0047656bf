#include "platform/qt/DistributedNotifications.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMetaType>
#include <QMap>
#include <QMetaType>
#include <QVariant>
#include <algorithm>
#include <atomic>

#include "platform/SorvaneLog.h"

namespace sorvane {
namespace {

using StringMap = QMap<QString, QString>;

QString qs(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

DistributedNotifications::DistributedNotifications() {
    qDBusRegisterMetaType<StringMap>();
    if (auto* app = QCoreApplication::instance(); app && thread() != app->thread()) {
        moveToThread(app->thread());
    }
}

DistributedNotifications::~DistributedNotifications() {
    if (!busName_.isEmpty()) QDBusConnection::disconnectFromBus(busName_);
}

QDBusConnection DistributedNotifications::bus() {
    std::lock_guard lock(mutex_);
    if (busName_.isEmpty()) {
        // Qt keeps its default session connection, and libdbus the session
        // address, for the whole process, even after that bus has gone; a
        // named connection to the address of now ends with its center.
        static std::atomic<int> serial{0};
        busName_ = QStringLiteral("sorvane-notifications-%1").arg(++serial);
        const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
        if (address.isEmpty()) {
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, busName_);
        } else {
            QDBusConnection::connectToBus(address, busName_);
        }
    }
    return QDBusConnection(busName_);
}

std::shared_ptr<DistributedNotifications> DistributedNotifications::shared() {
    // Never destroyed: observers may fire until the very end of the process.
    static std::shared_ptr<DistributedNotifications> center(new DistributedNotifications(),
                                                            [](DistributedNotifications*) {});
    return center;
}

std::optional<DistributedNotifications::SignalName> DistributedNotifications::signalName(
    std::string_view name) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()) return std::nullopt;
    return SignalName{std::string(name.substr(0, dot)), std::string(name.substr(dot + 1))};
}

bool DistributedNotifications::post(std::string_view name, const NotificationUserInfo& userInfo) {
    const auto signal = signalName(name);
    if (!signal) {
        SorvaneLog::log("[Sorvane] notification not posted: " + std::string(name) +
                        " (not a notification name)");
        return false;
    }
    QDBusConnection bus = this->bus();
    if (!bus.isConnected()) {
        SorvaneLog::log("[Sorvane] notification not posted: " + std::string(name) + " (" +
                        bus.lastError().message().toStdString() + ")");
        return false;
    }
    QDBusMessage message = QDBusMessage::createSignal(QString::fromLatin1(kObjectPath), qs(signal->interface),
                                                      qs(signal->member));
    StringMap map;
    for (const auto& [key, value] : userInfo) map.insert(qs(key), qs(value));
    message << QVariant::fromValue(map);
    if (!bus.send(message)) {
        SorvaneLog::log("[Sorvane] notification not posted: " + std::string(name) + " (" +
                        bus.lastError().message().toStdString() + ")");
        return false;
    }
    return true;
}

NotificationObserverId DistributedNotifications::observe(std::string_view name, Callback callback) {
    NotificationObserverId id;
    bool needsConnect = false;
    {
        std::lock_guard lock(mutex_);
        id = nextId_++;
        observers_.push_back({id, std::string(name), std::make_shared<const Callback>(std::move(callback))});
        needsConnect = connected_.insert(std::string(name)).second;
    }
    const auto signal = signalName(name);
    if (needsConnect && signal) {
        QDBusConnection bus = this->bus();
        // Empty service: the signal is taken from any sender.
        if (!bus.isConnected() ||
            !bus.connect(QString(), QString::fromLatin1(kObjectPath), qs(signal->interface),
                         qs(signal->member), this, SLOT(onSignal(QDBusMessage)))) {
            SorvaneLog::log("[Sorvane] notification not observed: " + std::string(name) + " (" +
                            bus.lastError().message().toStdString() + ")");
            std::lock_guard lock(mutex_);
            connected_.erase(std::string(name));
        } else {
            // The match rule goes out without a reply; one call on the same
            // connection makes sure the bus has it before we go on, so that
            // nothing posted after observe() returns is missed.
            bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.DBus"));
        }
    }
    return id;
}

void DistributedNotifications::removeObserver(NotificationObserverId id) {
    std::lock_guard lock(mutex_);
    std::erase_if(observers_, [id](const Observer& o) { return o.id == id; });
}

void DistributedNotifications::onSignal(const QDBusMessage& message) {
    const std::string name = message.interface().toStdString() + "." + message.member().toStdString();
    NotificationUserInfo userInfo;
    const auto args = message.arguments();
    if (!args.isEmpty()) {
        StringMap map;
        const QVariant& first = args.front();
        if (first.canConvert<QDBusArgument>()) {
            first.value<QDBusArgument>() >> map;
        } else {
            map = first.value<StringMap>();
        }
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            userInfo.emplace(it.key().toStdString(), it.value().toStdString());
        }
    }
    // As an ObserverList delivers: the observers present now are called unless
    // removed by then; one added meanwhile waits for the next signal.
    std::vector<NotificationObserverId> ids;
    {
        std::lock_guard lock(mutex_);
        for (const auto& o : observers_) {
            if (o.name == name) ids.push_back(o.id);
        }
    }
    for (const NotificationObserverId id : ids) {
        std::shared_ptr<const Callback> callback;
        {
            std::lock_guard lock(mutex_);
            const auto found = std::find_if(observers_.begin(), observers_.end(),
                                            [id](const Observer& o) { return o.id == id; });
            if (found == observers_.end()) continue;
            callback = found->callback;
        }
        // Outside the lock: a callback may observe or remove observers.
        (*callback)(name, userInfo);
    }
}

}  // namespace sorvane
