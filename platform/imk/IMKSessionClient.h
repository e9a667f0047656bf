#pragma once
// The InputClient of one D-Bus session: answers from what the application
// sent with its last call and sends text operations back as signals
// addressed to the application alone.
#include <QDBusConnection>
#include <QString>

#include "platform/imk/IMKWire.h"
#include "platform/imk/InputClient.h"

namespace sorvane {

class IMKSessionClient final : public InputClient {
public:
    IMKSessionClient(QDBusConnection connection, QString owner, quint32 session,
                     std::optional<std::string> bundleId);

    void update(const imkwire::ClientState& state);
    // Text operations reach the application only while its session is the
    // active one; others are dropped.
    void setActive(bool active) { active_ = active; }

    std::optional<std::string> bundleIdentifier() const override { return bundleId_; }
    std::optional<Rect> caretRect(int characterIndex) const override;
    void setMarkedText(const std::string& text, TextRange selection,
                       const std::vector<StyleRun>& styleRuns) override;
    void insertText(const std::string& text) override;
    bool isSecureInputOn() const override { return secure_; }
    std::uint64_t currentModifierFlags() const override { return modifierFlags_; }

private:
    void send(const char* member, const QList<QVariant>& arguments);

    QDBusConnection connection_;
    QString owner_;
    QString path_;
    std::optional<std::string> bundleId_;
    std::optional<Rect> caret_;
    bool secure_ = false;
    bool active_ = false;
    std::uint64_t modifierFlags_ = 0;
};

}  // namespace sorvane
