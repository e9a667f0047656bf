#include "app/settings/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace sorvane {
namespace {

class SystemClipboard final : public Clipboard {
public:
    void setPlainText(const QString& text) override {
        QClipboard* board = QGuiApplication::clipboard();
        board->clear();
        board->setText(text);
    }
};

}  // namespace

Clipboard& Clipboard::live() {
    static SystemClipboard clipboard;
    return clipboard;
}

}  // namespace sorvane
