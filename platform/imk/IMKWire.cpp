#include "platform/imk/IMKWire.h"

#include <QDBusMetaType>

namespace sorvane::imkwire {

QString sessionPath(quint32 session) {
    return QStringLiteral("/cn/kestrum/inputmethod/IMKSession/%1").arg(session);
}

void registerTypes() {
    static const bool once = [] {
        qDBusRegisterMetaType<ClientState>();
        qDBusRegisterMetaType<WireStyleRun>();
        qDBusRegisterMetaType<QList<WireStyleRun>>();
        qDBusRegisterMetaType<WireMenuItem>();
        qDBusRegisterMetaType<QList<WireMenuItem>>();
        return true;
    }();
    (void)once;
}

QList<WireStyleRun> toWire(const std::vector<StyleRun>& runs) {
    QList<WireStyleRun> out;
    for (const auto& r : runs) out.append({r.range.location, r.range.length, static_cast<qint32>(r.style)});
    return out;
}

std::vector<StyleRun> fromWire(const QList<WireStyleRun>& runs) {
    std::vector<StyleRun> out;
    for (const auto& r : runs) out.push_back({{r.location, r.length}, static_cast<MarkedTextStyle>(r.style)});
    return out;
}

QList<WireMenuItem> toWire(const std::vector<MenuItem>& items) {
    QList<WireMenuItem> out;
    for (const auto& m : items)
        out.append({QString::fromStdString(m.title), QString::fromStdString(m.action),
                    QString::fromStdString(m.keyEquivalent)});
    return out;
}

std::vector<MenuItem> fromWire(const QList<WireMenuItem>& items) {
    std::vector<MenuItem> out;
    for (const auto& m : items)
        out.push_back({m.title.toStdString(), m.action.toStdString(), m.keyEquivalent.toStdString()});
    return out;
}

}  // namespace sorvane::imkwire

using sorvane::imkwire::ClientState;
using sorvane::imkwire::WireMenuItem;
using sorvane::imkwire::WireStyleRun;

QDBusArgument& operator<<(QDBusArgument& arg, const ClientState& s) {
    arg.beginStructure();
    arg << s.bundleIdentifier << s.hasBundleIdentifier << s.hasCaret << s.caretX << s.caretY << s.caretWidth
        << s.caretHeight << s.secureInput << s.modifierFlags;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, ClientState& s) {
    arg.beginStructure();
    arg >> s.bundleIdentifier >> s.hasBundleIdentifier >> s.hasCaret >> s.caretX >> s.caretY >>
        s.caretWidth >> s.caretHeight >> s.secureInput >> s.modifierFlags;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const WireStyleRun& r) {
    arg.beginStructure();
    arg << r.location << r.length << r.style;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, WireStyleRun& r) {
    arg.beginStructure();
    arg >> r.location >> r.length >> r.style;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const WireMenuItem& m) {
    arg.beginStructure();
    arg << m.title << m.action << m.keyEquivalent;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, WireMenuItem& m) {
    arg.beginStructure();
    arg >> m.title >> m.action >> m.keyEquivalent;
    arg.endStructure();
    return arg;
}
