#include "platform/imk/IMKSessionClient.h"

#include <QDBusMessage>
#include <QVariant>

namespace sorvane {

IMKSessionClient::IMKSessionClient(QDBusConnection connection, QString owner, quint32 session,
                                   std::optional<std::string> bundleId)
    : connection_(std::move(connection)),
      owner_(std::move(owner)),
      path_(imkwire::sessionPath(session)),
      bundleId_(std::move(bundleId)) {}

void IMKSessionClient::update(const imkwire::ClientState& state) {
    if (state.hasBundleIdentifier)
        bundleId_ = state.bundleIdentifier.toStdString();
    else
        bundleId_.reset();
    if (state.hasCaret)
        caret_ = Rect{state.caretX, state.caretY, state.caretWidth, state.caretHeight};
    else
        caret_.reset();
    secure_ = state.secureInput;
    modifierFlags_ = state.modifierFlags;
}

// The application reports one caret rectangle: where its marked text begins.
std::optional<Rect> IMKSessionClient::caretRect(int) const {
    return caret_;
}

void IMKSessionClient::setMarkedText(const std::string& text, TextRange selection,
                                     const std::vector<StyleRun>& styleRuns) {
    send("SetMarkedText", {QString::fromStdString(text), selection.location, selection.length,
                           QVariant::fromValue(imkwire::toWire(styleRuns))});
}

void IMKSessionClient::insertText(const std::string& text) {
    send("InsertText", {QString::fromStdString(text)});
}

void IMKSessionClient::send(const char* member, const QList<QVariant>& arguments) {
    if (!active_) return;
    // Targeted: other applications on the bus never see this field's text.
    QDBusMessage signal = QDBusMessage::createTargetedSignal(owner_, path_, imkwire::kSessionInterface,
                                                             QString::fromLatin1(member));
    signal.setArguments(arguments);
    connection_.send(signal);
}

}  // namespace sorvane
