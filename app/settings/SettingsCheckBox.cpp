#include "app/settings/SettingsCheckBox.h"

#include "app/settings/SettingsTheme.h"

namespace sorvane {

SettingsCheckBox::SettingsCheckBox(const QString& text, const QFont& font, QWidget* parent)
    : QCheckBox(text, parent) {
    setFont(font);
}

void SettingsCheckBox::paintEvent(QPaintEvent* event) {
    const QColor label = SettingsTheme::label();
    if (palette().color(QPalette::WindowText) != label) {
        QPalette colours = palette();
        colours.setColor(QPalette::WindowText, label);
        setPalette(colours);
    }
    QCheckBox::paintEvent(event);
}

}  // namespace sorvane
