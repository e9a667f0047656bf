#include "app/settings/blocks/SaveFailureLine.h"

#include "app/settings/style/SettingsTheme.h"

namespace sorvane {

SaveFailureLine::SaveFailureLine(QWidget* parent)
    : SettingsText(QString(), settingsFont(12), SettingsText::Tone::warning, parent) {
    setWraps(true);
    setVisible(false);
}

void SaveFailureLine::follow(const std::optional<std::string>& failure) {
    setVisible(failure.has_value());
    setText(failure ? QString::fromStdString(*failure) : QString());
}

}  // namespace sorvane
