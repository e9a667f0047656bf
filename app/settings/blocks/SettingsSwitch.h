#pragma once
// A switch-style toggle of the settings pages: a pill that slides its knob
// to the right and fills with the window's accent when on. Checkable; a
// click flips it and emits toggled(). Drawn at half opacity when disabled.
//
//   auto* update = new SettingsSwitch;
//   update->setChecked(model.settings().autoCheckUpdates);
//   QObject::connect(update, &QAbstractButton::toggled, [&](bool on) { ... });
#include <QAbstractButton>

namespace sorvane {

class SettingsSwitch final : public QAbstractButton {
public:
    explicit SettingsSwitch(QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace sorvane
