#include "platform/imk/IMKServer.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <cmath>

#include "platform/SorvaneLog.h"
#include "platform/imk/IMKSessionClient.h"

namespace sorvane {
namespace {

// Whether `text` takes more than `limit` bytes as UTF-8. Every UTF-16 unit
// takes at least one byte, so a string of more units is refused before it is
// converted: the conversion a client can force is never longer than a few
// times the limit.
bool utf8Exceeds(const QString& text, std::size_t limit) {
    if (static_cast<std::size_t>(text.size()) > limit) return true;
    return static_cast<std::size_t>(text.toUtf8().size()) > limit;
}

// A long string without word breaks costs the engine and the layout far
// more than its length; no key of any keyboard types more than a few
// characters.
QString faultOfCharacters(const QString& characters) {
    if (utf8Exceeds(characters, IMKServer::kMaxKeyCharactersBytes))
        return QStringLiteral("key characters longer than %1 bytes").arg(IMKServer::kMaxKeyCharactersBytes);
    return {};
}

QString faultOfBundleIdentifier(const QString& bundleId) {
    if (utf8Exceeds(bundleId, IMKServer::kMaxBundleIdentifierBytes))
        return QStringLiteral("bundle identifier longer than %1 bytes")
            .arg(IMKServer::kMaxBundleIdentifierBytes);
    return {};
}

// Why a key event's values cannot be used; empty when they can.
QString faultOfKey(uint keyCode, double timestamp) {
    if (keyCode > 0xFFFF) return QStringLiteral("key code %1 out of range").arg(keyCode);
    if (!std::isfinite(timestamp)) return QStringLiteral("time stamp is not a finite number");
    return {};
}

}  // namespace

std::unique_ptr<IMKServer> IMKServer::create(const std::string& connectionName,
                                             const std::string& bundleIdentifier, ControllerFactory factory,
                                             QDBusConnection connection) {
    imkwire::registerTypes();
    if (!connection.isConnected()) {
        SorvaneLog::error("[Sorvane] IMKServer: no D-Bus session bus: " +
                          connection.lastError().message().toStdString());
        return nullptr;
    }
    std::unique_ptr<IMKServer> server(
        new IMKServer(connection, connectionName, bundleIdentifier, std::move(factory)));
    if (!connection.registerObject(QString::fromLatin1(imkwire::kServerPath), server.get(),
                                   QDBusConnection::ExportScriptableSlots)) {
        SorvaneLog::error("[Sorvane] IMKServer: cannot export " + std::string(imkwire::kServerPath) +
                          " on this bus connection");
        return nullptr;
    }
    const QString name = QString::fromStdString(connectionName);
    QDBusConnectionInterface* bus = connection.interface();
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus ? bus->registerService(name, QDBusConnectionInterface::DontQueueService,
                                   QDBusConnectionInterface::DontAllowReplacement)
            : QDBusReply<QDBusConnectionInterface::RegisterServiceReply>();
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        std::string why;
        if (reply.isValid()) {
            const QString owner = bus->serviceOwner(name).value();
            why = "the name is owned by another process (" + owner.toStdString() + ")";
        } else {
            why = reply.error().message().toStdString();
        }
        SorvaneLog::error("[Sorvane] IMKServer: cannot own " + connectionName + ": " + why);
        connection.unregisterObject(QString::fromLatin1(imkwire::kServerPath));
        return nullptr;
    }
    server->registered_ = true;
    return server;
}

IMKServer::IMKServer(QDBusConnection connection, std::string connectionName, std::string bundleIdentifier,
                     ControllerFactory factory)
    : connection_(std::move(connection)),
      connectionName_(std::move(connectionName)),
      bundleIdentifier_(std::move(bundleIdentifier)),
      factory_(std::move(factory)) {
    watcher_ = new QDBusServiceWatcher(this);
    watcher_->setConnection(connection_);
    watcher_->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(watcher_, &QDBusServiceWatcher::serviceUnregistered, this, &IMKServer::ownerVanished);
}

IMKServer::~IMKServer() {
    // Controllers go before the clients they point at.
    for (auto& [id, s] : sessions_) s.controller.reset();
    sessions_.clear();
    if (registered_) {
        if (QDBusConnectionInterface* bus = connection_.interface())
            bus->unregisterService(QString::fromStdString(connectionName_));
        connection_.unregisterObject(QString::fromLatin1(imkwire::kServerPath));
    }
}

uint IMKServer::OpenSession(const QString& bundleId) {
    if (const QString fault = faultOfBundleIdentifier(bundleId); !fault.isEmpty()) {
        sendErrorReply(QDBusError::InvalidArgs, fault);
        return 0;
    }
    const QString owner = message().service();
    const auto known = sessionsOfOwner_.find(owner);
    const std::size_t held = known == sessionsOfOwner_.end() ? 0 : known->second;
    if (held >= kMaxSessionsPerConnection) {
        sendErrorReply(
            QDBusError::LimitsExceeded,
            QStringLiteral("a connection may hold at most %1 sessions").arg(kMaxSessionsPerConnection));
        return 0;
    }
    const bool firstOfOwner = held == 0;
    const uint id = nextSession_++;
    Session s;
    s.owner = owner;
    std::optional<std::string> bundle;
    if (!bundleId.isEmpty()) bundle = bundleId.toStdString();
    s.client = std::make_unique<IMKSessionClient>(connection_, owner, id, bundle);
    if (factory_) s.controller = factory_(this, *s.client);
    if (!s.controller) s.controller = std::make_unique<IMKInputController>(this, s.client.get());
    sessions_.emplace(id, std::move(s));
    ++sessionsOfOwner_[owner];
    if (firstOfOwner) {
        watcher_->addWatchedService(owner);
        confirmOwnerPresent(owner);
    }
    return id;
}

// An application may leave the bus before its call is handled; nobody was
// watching it then, so its departure went unseen. The bus handles this
// connection's requests in order, so asked after the watch is in place, it
// either still knows the application (and the watch will report it leaving)
// or it does not, and the sessions go now.
void IMKServer::confirmOwnerPresent(const QString& owner) {
    QDBusMessage ask = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    ask << owner;
    auto* pending = new QDBusPendingCallWatcher(connection_.asyncCall(ask), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this, owner](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        const QDBusPendingReply<bool> present = *call;
        if (present.isValid() && !present.value()) ownerVanished(owner);
    });
}

IMKServer::Session* IMKServer::sessionOfCaller(uint session) {
    auto it = sessions_.find(session);
    if (it == sessions_.end() || it->second.owner != message().service()) {
        sendErrorReply(QString::fromLatin1(imkwire::kErrorUnknownSession),
                       QStringLiteral("no session %1 of this connection").arg(session));
        return nullptr;
    }
    return &it->second;
}

IMKServer::Session* IMKServer::sessionOfCaller(uint session, const imkwire::ClientState& state) {
    Session* s = sessionOfCaller(session);
    if (!s) return nullptr;
    if (const QString fault = faultOfBundleIdentifier(state.bundleIdentifier); !fault.isEmpty()) {
        sendErrorReply(QDBusError::InvalidArgs, fault);
        return nullptr;
    }
    // Panels are placed from the caret; a rectangle of NaN or infinity
    // would put them nowhere.
    if (state.hasCaret && !(std::isfinite(state.caretX) && std::isfinite(state.caretY) &&
                            std::isfinite(state.caretWidth) && std::isfinite(state.caretHeight))) {
        sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("caret rectangle is not finite"));
        return nullptr;
    }
    s->client->update(state);
    return s;
}

void IMKServer::CloseSession(uint session) {
    if (!sessionOfCaller(session)) return;
    closeSession(sessions_.find(session));
}

// The controller finishes its composition into its own field while that is
// still the active one; from then on the session is sent nothing.
void IMKServer::deactivate(uint id, Session& s) {
    if (activeSession_ != id) return;
    s.controller->deactivateServer(s.client.get());
    s.client->setActive(false);
    activeSession_ = 0;
}

void IMKServer::closeSession(std::map<uint, Session>::iterator it) {
    Session& s = it->second;
    deactivate(it->first, s);
    const QString owner = s.owner;
    s.controller.reset();
    sessions_.erase(it);
    const auto held = sessionsOfOwner_.find(owner);
    if (held != sessionsOfOwner_.end() && --held->second == 0) {
        sessionsOfOwner_.erase(held);
        watcher_->removeWatchedService(owner);
    }
}

void IMKServer::ownerVanished(const QString& owner) {
    int closed = 0;
    for (auto it = sessions_.begin(); it != sessions_.end() && sessionsOfOwner_.contains(owner);) {
        auto next = std::next(it);
        if (it->second.owner == owner) {
            closeSession(it);
            ++closed;
        }
        it = next;
    }
    if (closed > 0)
        SorvaneLog::log("[Sorvane] IMKServer: client " + owner.toStdString() + " left the bus; closed " +
                        std::to_string(closed) + " session(s)");
}

void IMKServer::Activate(uint session, const imkwire::ClientState& state) {
    Session* s = sessionOfCaller(session, state);
    if (!s) return;
    if (activeSession_ != 0 && activeSession_ != session) {
        auto previous = sessions_.find(activeSession_);
        if (previous != sessions_.end()) deactivate(previous->first, previous->second);
    }
    activeSession_ = session;
    s->client->setActive(true);
    s->controller->activateServer(s->client.get());
}

void IMKServer::Deactivate(uint session) {
    if (Session* s = sessionOfCaller(session)) deactivate(session, *s);
}

IMKServer::Session* IMKServer::activeSessionOfCaller(uint session, const imkwire::ClientState& state) {
    Session* s = sessionOfCaller(session, state);
    return s && activeSession_ == session ? s : nullptr;
}

bool IMKServer::deliver(Session& s, const KeyEvent& event) {
    const std::uint64_t wanted = s.controller->recognizedEvents(s.client.get());
    const std::uint64_t bit =
        event.type == KeyEventType::keyDown ? EventMask::keyDown : EventMask::flagsChanged;
    if ((wanted & bit) == 0) return false;
    return s.controller->handleEvent(event, s.client.get());
}

bool IMKServer::KeyDown(uint session, const imkwire::ClientState& state, uint keyCode,
                        const QString& characters, const QString& charactersIgnoringModifiers,
                        qulonglong modifierFlags, double timestamp) {
    if (const QString fault = faultOfKey(keyCode, timestamp); !fault.isEmpty()) {
        sendErrorReply(QDBusError::InvalidArgs, fault);
        return false;
    }
    for (const QString& text : {characters, charactersIgnoringModifiers}) {
        if (const QString fault = faultOfCharacters(text); !fault.isEmpty()) {
            sendErrorReply(QDBusError::InvalidArgs, fault);
            return false;
        }
    }
    Session* s = activeSessionOfCaller(session, state);
    if (!s) return false;
    KeyEvent event{KeyEventType::keyDown,
                   static_cast<std::uint16_t>(keyCode),
                   characters.toStdString(),
                   charactersIgnoringModifiers.toStdString(),
                   modifierFlags,
                   timestamp};
    return deliver(*s, event);
}

bool IMKServer::FlagsChanged(uint session, const imkwire::ClientState& state, uint keyCode,
                             qulonglong modifierFlags, double timestamp) {
    if (const QString fault = faultOfKey(keyCode, timestamp); !fault.isEmpty()) {
        sendErrorReply(QDBusError::InvalidArgs, fault);
        return false;
    }
    Session* s = activeSessionOfCaller(session, state);
    if (!s) return false;
    KeyEvent event{
        KeyEventType::flagsChanged, static_cast<std::uint16_t>(keyCode), {}, {}, modifierFlags, timestamp};
    return deliver(*s, event);
}

void IMKServer::CommitComposition(uint session, const imkwire::ClientState& state) {
    if (Session* s = activeSessionOfCaller(session, state)) s->controller->commitComposition(s->client.get());
}

// The panels show the active session's composition: nobody else hides them.
void IMKServer::HidePalettes(uint session) {
    if (Session* s = sessionOfCaller(session); s && activeSession_ == session) s->controller->hidePalettes();
}

QList<imkwire::WireMenuItem> IMKServer::Menu(uint session) {
    Session* s = sessionOfCaller(session);
    if (!s) return {};
    return imkwire::toWire(s->controller->menu());
}

bool IMKServer::PerformMenuAction(uint session, const imkwire::ClientState& state, const QString& action) {
    Session* s = activeSessionOfCaller(session, state);
    if (!s) return false;
    return s->controller->performMenuAction(action.toStdString(), s->client.get());
}

}  // namespace sorvane
