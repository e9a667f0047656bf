#include "platform/imk/IMKClient.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>

namespace sorvane {
namespace {

QString sessionInterface() {
    return QString::fromLatin1(imkwire::kSessionInterface);
}

// Runs the event loop until `loop` is told to quit or `timeout` passes.
void runFor(QEventLoop& loop, std::chrono::milliseconds timeout) {
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(timeout);
    loop.exec(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
}

}  // namespace

IMKClient::IMKClient(QDBusConnection connection, QString connectionName, QObject* parent,
                     std::chrono::milliseconds callTimeout)
    : QObject(parent),
      connection_(std::move(connection)),
      connectionName_(std::move(connectionName)),
      callTimeout_(callTimeout) {
    imkwire::registerTypes();
}

IMKClient::~IMKClient() {
    if (session_) closeSession();
}

bool IMKClient::waitForServer(std::chrono::milliseconds timeout) {
    const QDeadlineTimer deadline(timeout);
    const auto remaining = [&] {
        return std::chrono::milliseconds(std::max<qint64>(1, deadline.remainingTime()));
    };
    while (true) {
        QDBusMessage ask = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
        ask << connectionName_;
        const auto owned = exchange(ask, std::min(callTimeout_, remaining()));
        if (owned && !owned->arguments().isEmpty() && owned->arguments().first().toBool()) return true;
        if (deadline.hasExpired()) return false;
        QEventLoop pause;
        runFor(pause, std::min(std::chrono::milliseconds(20), remaining()));
    }
}

imkwire::ClientState IMKClient::state() const {
    imkwire::ClientState s;
    s.hasBundleIdentifier = bundleId_.has_value();
    if (bundleId_) s.bundleIdentifier = QString::fromStdString(*bundleId_);
    s.hasCaret = caret_.has_value();
    if (caret_) {
        s.caretX = caret_->x;
        s.caretY = caret_->y;
        s.caretWidth = caret_->width;
        s.caretHeight = caret_->height;
    }
    s.secureInput = secure_;
    s.modifierFlags = modifierFlags_;
    return s;
}

// Not QDBusConnection::call: in its event-loop mode it looks whether the
// answer is in without the call's lock and only then hangs its watcher on
// the call. An answer that the bus thread finishes in between wakes nobody,
// and the time-out went with it (libdbus drops a call's time-out once the
// answer is in), so the call waited for ever on an idle server. A watcher
// made under the call's lock sees an answer that came first, and the timer
// here ends the wait whatever the bus thread does.
Expected<QDBusMessage, std::string> IMKClient::exchange(const QDBusMessage& message,
                                                        std::chrono::milliseconds timeout) {
    QDBusPendingCall pending = connection_.asyncCall(message, static_cast<int>(timeout.count()));
    if (!pending.isFinished()) {
        QDBusPendingCallWatcher watcher(pending);
        QEventLoop loop;
        connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
        runFor(loop, timeout);
    }
    if (!pending.isFinished())
        return unexpected("org.freedesktop.DBus.Error.NoReply: no answer to " +
                          message.member().toStdString() + " within " + std::to_string(timeout.count()) +
                          " ms");
    const QDBusMessage reply = pending.reply();
    if (reply.type() == QDBusMessage::ErrorMessage)
        return unexpected(reply.errorName().toStdString() + ": " + reply.errorMessage().toStdString());
    return reply;
}

Expected<QDBusMessage, std::string> IMKClient::call(const char* method, const QList<QVariant>& args) {
    QDBusMessage msg = QDBusMessage::createMethodCall(
        connectionName_, QString::fromLatin1(imkwire::kServerPath),
        QString::fromLatin1(imkwire::kServerInterface), QString::fromLatin1(method));
    msg.setArguments(args);
    auto reply = exchange(msg, callTimeout_);
    if (!reply) return unexpected(reply.error());
    // Text operations sent before the reply are queued already: hand them on
    // now so that they come before the call's answer.
    QCoreApplication::processEvents();
    return reply;
}

Expected<void, std::string> IMKClient::callVoid(const char* method, const QList<QVariant>& args) {
    auto r = call(method, args);
    if (!r) return unexpected(r.error());
    return {};
}

Expected<void, std::string> IMKClient::openSession() {
    if (session_) return unexpected(std::string("a session is open already"));
    auto r = call("OpenSession", {QString::fromStdString(bundleId_.value_or(""))});
    if (!r) return unexpected(r.error());
    if (r->arguments().isEmpty()) return unexpected(std::string("OpenSession gave no session"));
    session_ = r->arguments().first().toUInt();
    serverOwner_ = r->service();
    watchSession(true);
    return {};
}

Expected<void, std::string> IMKClient::closeSession() {
    if (!session_) return unexpected(std::string("no session"));
    auto r = callVoid("CloseSession", {*session_});
    watchSession(false);
    session_.reset();
    return r;
}

// Matched on the server's unique name: with the well-known name Qt would ask
// the bus who owns it, a call of its own with no time-out of ours.
void IMKClient::watchSession(bool on) {
    const QString path = imkwire::sessionPath(*session_);
    const char* marked = SLOT(receiveMarkedText(QString, int, int, QList<sorvane::imkwire::WireStyleRun>));
    const char* insert = SLOT(receiveInsertText(QString));
    const QString interface = sessionInterface();
    if (on) {
        connection_.connect(serverOwner_, path, interface, QStringLiteral("SetMarkedText"), this, marked);
        connection_.connect(serverOwner_, path, interface, QStringLiteral("InsertText"), this, insert);
    } else {
        connection_.disconnect(serverOwner_, path, interface, QStringLiteral("SetMarkedText"), this, marked);
        connection_.disconnect(serverOwner_, path, interface, QStringLiteral("InsertText"), this, insert);
    }
}

Expected<void, std::string> IMKClient::activate() {
    if (!session_) return unexpected(std::string("no session"));
    return callVoid("Activate", {*session_, QVariant::fromValue(state())});
}

Expected<void, std::string> IMKClient::deactivate() {
    if (!session_) return unexpected(std::string("no session"));
    return callVoid("Deactivate", {*session_});
}

Expected<bool, std::string> IMKClient::keyDown(const KeyEvent& event) {
    if (!session_) return unexpected(std::string("no session"));
    auto r = call("KeyDown", {*session_, QVariant::fromValue(state()), uint(event.keyCode),
                              QString::fromStdString(event.characters),
                              QString::fromStdString(event.charactersIgnoringModifiers),
                              qulonglong(event.modifierFlags), event.timestamp});
    if (!r) return unexpected(r.error());
    return !r->arguments().isEmpty() && r->arguments().first().toBool();
}

Expected<bool, std::string> IMKClient::flagsChanged(const KeyEvent& event) {
    if (!session_) return unexpected(std::string("no session"));
    modifierFlags_ = event.modifierFlags;
    auto r = call("FlagsChanged", {*session_, QVariant::fromValue(state()), uint(event.keyCode),
                                   qulonglong(event.modifierFlags), event.timestamp});
    if (!r) return unexpected(r.error());
    return !r->arguments().isEmpty() && r->arguments().first().toBool();
}

Expected<void, std::string> IMKClient::commitComposition() {
    if (!session_) return unexpected(std::string("no session"));
    return callVoid("CommitComposition", {*session_, QVariant::fromValue(state())});
}

Expected<void, std::string> IMKClient::hidePalettes() {
    if (!session_) return unexpected(std::string("no session"));
    return callVoid("HidePalettes", {*session_});
}

Expected<std::vector<MenuItem>, std::string> IMKClient::menu() {
    if (!session_) return unexpected(std::string("no session"));
    auto r = call("Menu", {*session_});
    if (!r) return unexpected(r.error());
    if (r->arguments().isEmpty()) return std::vector<MenuItem>{};
    QList<imkwire::WireMenuItem> items;
    qvariant_cast<QDBusArgument>(r->arguments().first()) >> items;
    return imkwire::fromWire(items);
}

Expected<bool, std::string> IMKClient::performMenuAction(const std::string& action) {
    if (!session_) return unexpected(std::string("no session"));
    auto r =
        call("PerformMenuAction", {*session_, QVariant::fromValue(state()), QString::fromStdString(action)});
    if (!r) return unexpected(r.error());
    return !r->arguments().isEmpty() && r->arguments().first().toBool();
}

void IMKClient::receiveMarkedText(const QString& text, int selLocation, int selLength,
                                  const QList<imkwire::WireStyleRun>& runs) {
    if (onMarkedText) onMarkedText({text.toStdString(), {selLocation, selLength}, imkwire::fromWire(runs)});
}

void IMKClient::receiveInsertText(const QString& text) {
    if (onInsertText) onInsertText(text.toStdString());
}

}  // namespace sorvane
