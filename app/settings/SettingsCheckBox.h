#pragma once
// A check box whose label takes the label colour of the settings appearance
// at paint time (the platform palette knows nothing of our light and dark).
//
//   auto* consent = new SettingsCheckBox("我已阅读并同意", settingsFont(12));
#include <QCheckBox>

namespace sorvane {

class SettingsCheckBox final : public QCheckBox {
public:
    SettingsCheckBox(const QString& text, const QFont& font, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace sorvane
