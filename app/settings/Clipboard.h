#pragma once
// The general pasteboard as the settings pages write to it: what was on it
// is cleared, then the plain text goes on. The live one is the system's
// clipboard; tests record instead.
//
//   clipboard.setPlainText(command);
#include <QString>

namespace sorvane {

class Clipboard {
public:
    virtual ~Clipboard() = default;
    virtual void setPlainText(const QString& text) = 0;
    // The application's clipboard; the application object must exist.
    static Clipboard& live();
};

}  // namespace sorvane
