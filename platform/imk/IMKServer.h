#pragma once
// The input-method server: owns the connection name on the D-Bus session
// bus, keeps one session per client text field, gives each session a
// controller from the factory and forwards the application's calls to it on
// the main thread. See IMKWire.h for the protocol.
//
// Every application's typing passes through here and all controllers share
// one engine, so one session at a time is active across all connections:
// only it types, and only it is sent text. Activating a session deactivates
// the one active before, as a focus change does on the desktop.
#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>

#include "platform/imk/IMKInputController.h"
#include "platform/imk/IMKWire.h"

class QDBusServiceWatcher;

namespace sorvane {

class IMKSessionClient;

class IMKServer final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "cn.kestrum.inputmethod.IMKServer")

public:
    // Builds the controller of a new session. `client` outlives the
    // controller; `server` is absent when a test builds one without a server.
    using ControllerFactory =
        std::function<std::unique_ptr<IMKInputController>(IMKServer* server, InputClient& client)>;

    // Owns `connectionName` on `connection`. Gives nothing, after a log
    // record saying why, when the bus cannot be reached or another process
    // owns the name.
    static std::unique_ptr<IMKServer> create(const std::string& connectionName,
                                             const std::string& bundleIdentifier, ControllerFactory factory,
                                             QDBusConnection connection = QDBusConnection::sessionBus());
    ~IMKServer() override;

    const std::string& connectionName() const { return connectionName_; }
    const std::string& bundleIdentifier() const { return bundleIdentifier_; }
    // Applies to sessions opened from now on.
    void setControllerFactory(ControllerFactory factory) { factory_ = std::move(factory); }
    std::size_t sessionCount() const { return sessions_.size(); }

    // What one client may send; past these the call fails with InvalidArgs
    // (or LimitsExceeded for sessions) and the server goes on serving.
    static constexpr std::size_t kMaxKeyCharactersBytes = 256;
    static constexpr std::size_t kMaxBundleIdentifierBytes = 255;
    static constexpr std::size_t kMaxSessionsPerConnection = 1024;

public Q_SLOTS:
    Q_SCRIPTABLE uint OpenSession(const QString& bundleId);
    Q_SCRIPTABLE void CloseSession(uint session);
    Q_SCRIPTABLE void Activate(uint session, const sorvane::imkwire::ClientState& state);
    Q_SCRIPTABLE void Deactivate(uint session);
    Q_SCRIPTABLE bool KeyDown(uint session, const sorvane::imkwire::ClientState& state, uint keyCode,
                              const QString& characters, const QString& charactersIgnoringModifiers,
                              qulonglong modifierFlags, double timestamp);
    Q_SCRIPTABLE bool FlagsChanged(uint session, const sorvane::imkwire::ClientState& state, uint keyCode,
                                   qulonglong modifierFlags, double timestamp);
    Q_SCRIPTABLE void CommitComposition(uint session, const sorvane::imkwire::ClientState& state);
    Q_SCRIPTABLE void HidePalettes(uint session);
    Q_SCRIPTABLE QList<sorvane::imkwire::WireMenuItem> Menu(uint session);
    Q_SCRIPTABLE bool PerformMenuAction(uint session, const sorvane::imkwire::ClientState& state,
                                        const QString& action);

private:
    struct Session {
        QString owner;  // unique bus name of the application
        std::unique_ptr<IMKSessionClient> client;
        std::unique_ptr<IMKInputController> controller;
    };

    IMKServer(QDBusConnection connection, std::string connectionName, std::string bundleIdentifier,
              ControllerFactory factory);
    // The caller's session, or none after replying with an error.
    Session* sessionOfCaller(uint session);
    Session* sessionOfCaller(uint session, const imkwire::ClientState& state);
    // The same, but none (without an error) unless the session is active:
    // an inactive session's keys and commands are not handled.
    Session* activeSessionOfCaller(uint session, const imkwire::ClientState& state);
    bool deliver(Session& s, const KeyEvent& event);
    void deactivate(uint id, Session& s);
    void closeSession(std::map<uint, Session>::iterator it);
    void ownerVanished(const QString& owner);
    void confirmOwnerPresent(const QString& owner);

    QDBusConnection connection_;
    std::string connectionName_;
    std::string bundleIdentifier_;
    ControllerFactory factory_;
    std::map<uint, Session> sessions_;
    // How many sessions each application holds, so the limit and the watch
    // on its departure cost the same however many sessions are open.
    std::unordered_map<QString, std::size_t> sessionsOfOwner_;
    uint nextSession_ = 1;
    uint activeSession_ = 0;  // 0: none
    QDBusServiceWatcher* watcher_ = nullptr;
    bool registered_ = false;
};

}  // namespace sorvane
