#include "app/settings/blocks/SettingsScroll.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include "app/settings/style/SettingsTheme.h"

namespace sorvane {
namespace {

// Scrolled content that paints the page background behind everything, so a
// switch of appearance needs only a repaint.
class PageSurface final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), SettingsTheme::background());
    }
};

}  // namespace

SettingsScroll::SettingsScroll(QWidget* parent)
    : QScrollArea(parent), column_(new QWidget), columnLayout_(new QVBoxLayout(column_)) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    columnLayout_->setContentsMargins(0, 0, 0, 0);
    columnLayout_->setSpacing(22);
    // No alignment on this layout: an aligned layout is sized by its size
    // hint, which ignores wrapped lines, and would squeeze the blocks.
    column_->setMaximumWidth(columnWidth);

    auto* surface = new PageSurface;
    // The column takes the width first, up to its maximum; the two spacers
    // share what is left, which centres it.
    column_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* centred = new QHBoxLayout;
    centred->setSpacing(0);
    centred->addSpacerItem(new QSpacerItem(0, 0, QSizePolicy::Preferred, QSizePolicy::Minimum));
    centred->addWidget(column_);
    centred->addSpacerItem(new QSpacerItem(0, 0, QSizePolicy::Preferred, QSizePolicy::Minimum));
    auto* outer = new QVBoxLayout(surface);
    outer->setContentsMargins(sidePadding, 28, sidePadding, 36);
    outer->setSpacing(0);
    outer->addLayout(centred);
    outer->addStretch(1);
    setWidget(surface);
}

void SettingsScroll::addBlock(QWidget* block) {
    columnLayout_->addWidget(block);
}

void SettingsScroll::addBlock(QLayout* block) {
    columnLayout_->addLayout(block);
}

}  // namespace sorvane
