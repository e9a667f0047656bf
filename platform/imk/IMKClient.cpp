#include "platform/imk/IMKClient.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QElapsedTimer>
#include <QThread>

namespace sorvane {
namespace {

constexpr int kCallTimeoutMs = 10000;

QString sessionInterface() {
    return QString::fromLatin1(imkwire::kSessionInterface);
}

}  // namespace

IMKClient::IMKClient(QDBusConnection connection, QString connectionName, QObject* parent)
    : QObject(parent), connection_(std::move(connection)), connectionName_(std::move(connectionName)) {
    imkwire::registerTypes();
}

IMKClient::~IMKClient() {
    if (session_) closeSession();
}

bool IMKClient::waitForServer(std::chrono::milliseconds timeout) {
    QElapsedTimer timer;
    timer.start();
    QDBusConnectionInterface* bus = connection_.interface();
    if (!bus) return false;
    while (true) {
        const QDBusReply<bool> owned = bus->isServiceRegistered(connectionName_);
        if (owned.isValid() && owned.value()) return true;
        if (timer.elapsed() >= timeout.count()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
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

Expected<QList<QVariant>, std::string> IMKClient::call(const char* method, const QList<QVariant>& args) {
    QDBusMessage msg = QDBusMessage::createMethodCall(
        connectionName_, QString::fromLatin1(imkwire::kServerPath),
        QString::fromLatin1(imkwire::kServerInterface), QString::fromLatin1(method));
    msg.setArguments(args);
    const QDBusMessage reply = connection_.call(msg, QDBus::BlockWithGui, kCallTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage)
        return unexpected(reply.errorName().toStdString() + ": " + reply.errorMessage().toStdString());
    // Text operations sent before the reply are queued already: hand them on
    // now so that they come before the call's answer.
    QCoreApplication::processEvents();
    return reply.arguments();
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
    if (r->isEmpty()) return unexpected(std::string("OpenSession gave no session"));
    session_ = r->first().toUInt();
    const QString path = imkwire::sessionPath(*session_);
    connection_.connect(connectionName_, path, sessionInterface(), QStringLiteral("SetMarkedText"), this,
                        SLOT(receiveMarkedText(QString, int, int, QList<sorvane::imkwire::WireStyleRun>)));
    connection_.connect(connectionName_, path, sessionInterface(), QStringLiteral("InsertText"), this,
                        SLOT(receiveInsertText(QString)));
    return {};
}

Expected<void, std::string> IMKClient::closeSession() {
    if (!session_) return unexpected(std::string("no session"));
    const quint32 id = *session_;
    const QString path = imkwire::sessionPath(id);
    auto r = callVoid("CloseSession", {id});
    connection_.disconnect(connectionName_, path, sessionInterface(), QStringLiteral("SetMarkedText"), this,
                           SLOT(receiveMarkedText(QString, int, int, QList<sorvane::imkwire::WireStyleRun>)));
    connection_.disconnect(connectionName_, path, sessionInterface(), QStringLiteral("InsertText"), this,
                           SLOT(receiveInsertText(QString)));
    session_.reset();
    return r;
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
    return !r->isEmpty() && r->first().toBool();
}

Expected<bool, std::string> IMKClient::flagsChanged(const KeyEvent& event) {
    if (!session_) return unexpected(std::string("no session"));
    modifierFlags_ = event.modifierFlags;
    auto r = call("FlagsChanged", {*session_, QVariant::fromValue(state()), uint(event.keyCode),
                                   qulonglong(event.modifierFlags), event.timestamp});
    if (!r) return unexpected(r.error());
    return !r->isEmpty() && r->first().toBool();
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
    if (r->isEmpty()) return std::vector<MenuItem>{};
    QList<imkwire::WireMenuItem> items;
    qvariant_cast<QDBusArgument>(r->first()) >> items;
    return imkwire::fromWire(items);
}

Expected<bool, std::string> IMKClient::performMenuAction(const std::string& action) {
    if (!session_) return unexpected(std::string("no session"));
    auto r =
        call("PerformMenuAction", {*session_, QVariant::fromValue(state()), QString::fromStdString(action)});
    if (!r) return unexpected(r.error());
    return !r->isEmpty() && r->first().toBool();
}

void IMKClient::receiveMarkedText(const QString& text, int selLocation, int selLength,
                                  const QList<imkwire::WireStyleRun>& runs) {
    if (onMarkedText) onMarkedText({text.toStdString(), {selLocation, selLength}, imkwire::fromWire(runs)});
}

void IMKClient::receiveInsertText(const QString& text) {
    if (onInsertText) onInsertText(text.toStdString());
}

}  // namespace sorvane
