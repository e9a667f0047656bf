#pragma once
// A check box drawn in the settings appearance, light or dark: a rounded box
// with a clear outline, filled with the window's accent and a white tick when
// ticked, and its label in the label colour. The toolkit's own box follows a
// palette that knows nothing of our appearance (its outline all but vanishes
// on a dark card); the toolkit still lays it out and takes its clicks.
//
//   auto* consent = new SettingsCheckBox("我已阅读并同意", settingsFont(12));
#include <QCheckBox>

namespace sorvane {

class SettingsCheckBox final : public QCheckBox {
public:
    SettingsCheckBox(const QString& text, const QFont& font, QWidget* parent = nullptr);

    // The box as drawn, in the widget's coordinates.
    QRectF boxRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace sorvane
