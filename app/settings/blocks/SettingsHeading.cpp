#include "app/settings/blocks/SettingsHeading.h"

#include <QVBoxLayout>

#include "app/settings/style/SettingsText.h"
#include "app/settings/style/SettingsTheme.h"

namespace sorvane {

SettingsHeading::SettingsHeading(const QString& title, const QString& subtitle, QWidget* parent)
    : QWidget(parent),
      title_(new SettingsText(title, settingsFont(26, QFont::Bold))),
      subtitle_(new SettingsText(subtitle, settingsFont(12), SettingsText::Tone::secondary)) {
    subtitle_->setWraps(true);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(7);
    column->addWidget(title_);
    column->addWidget(subtitle_);
}

}  // namespace sorvane
