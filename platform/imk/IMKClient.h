#pragma once
// The application side of the input-method protocol: one text field's
// session with the server. Calls wait for the server's answer while running
// the event loop, so the server may live in the same process (tests) and
// the text operations it sends during a call arrive before the call returns.
// Every call ends within its time-out, answered or not.
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Expected.h"
#include "platform/imk/IMKWire.h"
#include "platform/imk/InputClient.h"
#include "platform/imk/KeyEvent.h"

namespace sorvane {

struct MarkedTextUpdate {
    std::string text;
    TextRange selection;
    std::vector<StyleRun> styleRuns;
    bool operator==(const MarkedTextUpdate&) const = default;
};

class IMKClient final : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds defaultCallTimeout{10000};

    IMKClient(QDBusConnection connection, QString connectionName, QObject* parent = nullptr,
              std::chrono::milliseconds callTimeout = defaultCallTimeout);
    ~IMKClient() override;

    // Waits (running the event loop) until some process owns the connection
    // name.
    bool waitForServer(std::chrono::milliseconds timeout);

    // What the field tells the server with every call.
    void setBundleIdentifier(std::optional<std::string> bundleId) { bundleId_ = std::move(bundleId); }
    void setCaretRect(std::optional<Rect> rect) { caret_ = rect; }
    void setSecureInput(bool on) { secure_ = on; }
    std::uint64_t modifierFlags() const { return modifierFlags_; }

    Expected<void, std::string> openSession();
    Expected<void, std::string> closeSession();
    Expected<void, std::string> activate();
    Expected<void, std::string> deactivate();
    // True when the input method consumed the key.
    Expected<bool, std::string> keyDown(const KeyEvent& event);
    // Also remembers the flags as the keyboard's current modifier state.
    Expected<bool, std::string> flagsChanged(const KeyEvent& event);
    Expected<void, std::string> commitComposition();
    Expected<void, std::string> hidePalettes();
    Expected<std::vector<MenuItem>, std::string> menu();
    Expected<bool, std::string> performMenuAction(const std::string& action);

    std::optional<quint32> session() const { return session_; }

    std::function<void(const MarkedTextUpdate&)> onMarkedText;
    std::function<void(const std::string&)> onInsertText;

private Q_SLOTS:
    void receiveMarkedText(const QString& text, int selLocation, int selLength,
                           const QList<sorvane::imkwire::WireStyleRun>& runs);
    void receiveInsertText(const QString& text);

private:
    imkwire::ClientState state() const;
    // Sends `message` and waits for its answer, at most `timeout`.
    Expected<QDBusMessage, std::string> exchange(const QDBusMessage& message,
                                                 std::chrono::milliseconds timeout);
    Expected<QDBusMessage, std::string> call(const char* method, const QList<QVariant>& args);
    void watchSession(bool on);
    Expected<void, std::string> callVoid(const char* method, const QList<QVariant>& args);

    QDBusConnection connection_;
    QString connectionName_;
    std::chrono::milliseconds callTimeout_;
    std::optional<quint32> session_;
    // The unique bus name of the server that opened the session: its signals
    // come from it, and matching on it needs no name look-up on the bus.
    QString serverOwner_;
    std::optional<std::string> bundleId_;
    std::optional<Rect> caret_;
    bool secure_ = false;
    std::uint64_t modifierFlags_ = 0;
};

}  // namespace sorvane
