#pragma once
// The D-Bus protocol between client applications and the input-method
// server: names, paths and the structures both sides marshal.
//
// Server object (on the connection name), interface kServerInterface:
//   OpenSession(s bundleId) -> u session
//   CloseSession(u session)
//   Activate(u session, (sbbddddbt) state)
//   Deactivate(u session)
//   KeyDown(u session, state, u keyCode, s chars, s charsIgnoringModifiers,
//           t modifierFlags, d timestamp) -> b consumed
//   FlagsChanged(u session, state, u keyCode, t modifierFlags, d timestamp) -> b consumed
//   CommitComposition(u session, state)
//   HidePalettes(u session)
//   Menu(u session) -> a(sss) items (title, action, key equivalent)
//   PerformMenuAction(u session, state, s action) -> b known
// Signals sent to the session's owner only, from sessionPath(id), interface
// kSessionInterface:
//   SetMarkedText(s text, i selLocation, i selLength, a(iii) styleRuns)
//   InsertText(s text)
// A session belongs to the bus connection that opened it; calls naming
// another connection's session fail with kErrorUnknownSession. One session
// of all is active: Activate deactivates the one before, KeyDown,
// FlagsChanged, CommitComposition, HidePalettes and PerformMenuAction on an
// inactive session are not handled, and only the active session is sent
// text. Characters over 256 bytes and bundle ids over 255 bytes fail with
// InvalidArgs; a connection's 1,025th session with LimitsExceeded.
#include <QDBusArgument>
#include <QList>
#include <QMetaType>
#include <QString>
#include <cstdint>

#include "platform/imk/IMKInputController.h"
#include "platform/imk/InputClient.h"

namespace sorvane::imkwire {

inline constexpr const char* kServerPath = "/cn/kestrum/inputmethod/IMKServer";
inline constexpr const char* kServerInterface = "cn.kestrum.inputmethod.IMKServer";
inline constexpr const char* kSessionInterface = "cn.kestrum.inputmethod.IMKSession";
inline constexpr const char* kErrorUnknownSession = "cn.kestrum.inputmethod.IMKServer.Error.UnknownSession";

QString sessionPath(quint32 session);

// What the application tells about its text field with every call.
struct ClientState {
    QString bundleIdentifier;  // empty: the application did not say
    bool hasBundleIdentifier = false;
    bool hasCaret = false;
    double caretX = 0, caretY = 0, caretWidth = 0, caretHeight = 0;
    bool secureInput = false;
    quint64 modifierFlags = 0;
};

struct WireStyleRun {
    qint32 location = 0;
    qint32 length = 0;
    qint32 style = 0;
};

struct WireMenuItem {
    QString title;
    QString action;
    QString keyEquivalent;
};

// Registers the structures with Qt's D-Bus type system; call before the
// first call or signal (idempotent).
void registerTypes();

QList<WireStyleRun> toWire(const std::vector<StyleRun>& runs);
std::vector<StyleRun> fromWire(const QList<WireStyleRun>& runs);
QList<WireMenuItem> toWire(const std::vector<MenuItem>& items);
std::vector<MenuItem> fromWire(const QList<WireMenuItem>& items);

}  // namespace sorvane::imkwire

QDBusArgument& operator<<(QDBusArgument& arg, const sorvane::imkwire::ClientState& s);
const QDBusArgument& operator>>(const QDBusArgument& arg, sorvane::imkwire::ClientState& s);
QDBusArgument& operator<<(QDBusArgument& arg, const sorvane::imkwire::WireStyleRun& r);
const QDBusArgument& operator>>(const QDBusArgument& arg, sorvane::imkwire::WireStyleRun& r);
QDBusArgument& operator<<(QDBusArgument& arg, const sorvane::imkwire::WireMenuItem& m);
const QDBusArgument& operator>>(const QDBusArgument& arg, sorvane::imkwire::WireMenuItem& m);

Q_DECLARE_METATYPE(sorvane::imkwire::ClientState)
Q_DECLARE_METATYPE(sorvane::imkwire::WireStyleRun)
Q_DECLARE_METATYPE(sorvane::imkwire::WireMenuItem)
