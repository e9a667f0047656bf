#include "app/settings/pages/KeyRow.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <cmath>

#include "app/settings/blocks/KeyCap.h"
#include "app/settings/style/SettingsText.h"
#include "app/settings/style/SettingsTheme.h"

namespace sorvane {

KeyRow::KeyRow(const std::optional<QString>& verb, const QStringList& keys, const QString& text,
               double keysWidth, QWidget* parent)
    : QWidget(parent), keyColumn_(new QWidget), text_(new SettingsText(text, settingsFont(13))) {
    text_->setWraps(true);
    keyColumn_->setFixedWidth(static_cast<int>(std::lround(keysWidth)));
    auto* keysLayout = new QHBoxLayout(keyColumn_);
    keysLayout->setContentsMargins(0, 0, 0, 0);
    keysLayout->setSpacing(4);
    if (verb) keysLayout->addWidget(new SettingsText(*verb, settingsFont(12), SettingsText::Tone::secondary));
    for (const QString& key : keys) keysLayout->addWidget(new KeyCap(key));
    keysLayout->addStretch(1);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    row->addWidget(keyColumn_, 0, Qt::AlignTop);
    // The caps are 22 high: the text's first line sits on their middle, which
    // is where its baseline meets the caps' labels.
    const double lineHeight = QFontMetricsF(text_->textFont()).height();
    auto* textBox = new QVBoxLayout;
    textBox->setContentsMargins(0, keys.isEmpty() ? 0 : std::max(0, static_cast<int>((22 - lineHeight) / 2)),
                                0, 0);
    textBox->addWidget(text_);
    row->addLayout(textBox, 1);
}

}  // namespace sorvane
