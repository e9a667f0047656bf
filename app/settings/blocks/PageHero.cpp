#include "app/settings/blocks/PageHero.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "app/settings/style/SettingsText.h"
#include "app/settings/style/SettingsTheme.h"

namespace sorvane {

// The platform's title-3 and callout text styles.
constexpr double title3Size = 15;
constexpr double calloutSize = 12;

PageHero::PageHero(const QString& title, const QString& subtitle, QWidget* icon, QWidget* parent)
    : QWidget(parent),
      title_(new SettingsText(title, settingsFont(title3Size, QFont::DemiBold))),
      subtitle_(new SettingsText(subtitle, settingsFont(calloutSize), SettingsText::Tone::secondary)) {
    subtitle_->setWraps(true);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 4, 0, 4);
    row->setSpacing(14);
    row->addWidget(icon, 0, Qt::AlignVCenter);
    auto* column = new QVBoxLayout;
    column->setSpacing(3);
    column->addWidget(title_);
    column->addWidget(subtitle_);
    row->addLayout(column, 1);
}

}  // namespace sorvane
