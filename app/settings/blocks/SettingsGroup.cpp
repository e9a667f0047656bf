#include "app/settings/blocks/SettingsGroup.h"

#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "app/settings/style/SettingsText.h"
#include "app/settings/style/SettingsTheme.h"

namespace sorvane {
namespace {

constexpr double cornerRadius = 13;

class Card final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
        painter.fillPath(shape, SettingsTheme::card());
        QPainterPath border;
        border.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius - 0.5,
                              cornerRadius - 0.5);
        painter.setPen(QPen(SettingsTheme::label(0.04 / 0.85), 1));
        painter.drawPath(border);
    }
};

class Divider final : public QWidget {
public:
    explicit Divider(int indent) : indent_(indent) {
        setFixedHeight(1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(QRect(indent_, 0, width() - indent_, 1), SettingsTheme::separator());
    }

private:
    int indent_;
};

}  // namespace

SettingsGroup::SettingsGroup(const std::optional<QString>& title, QWidget* parent)
    : QWidget(parent), card_(new Card), rows_(new QVBoxLayout(card_)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(9);
    if (title) {
        title_ = new SettingsText(*title, settingsFont(12), SettingsText::Tone::secondary);
        auto* titleRow = new QHBoxLayout;
        titleRow->setContentsMargins(3, 0, 0, 0);
        titleRow->addWidget(title_);
        column->addLayout(titleRow);
    }
    rows_->setContentsMargins(0, 0, 0, 0);
    rows_->setSpacing(0);
    column->addWidget(card_);
}

void SettingsGroup::addRow(QWidget* row) {
    rows_->addWidget(row);
}

void SettingsGroup::addRow(QLayout* row) {
    rows_->addLayout(row);
}

void SettingsGroup::addDivider(int indent) {
    rows_->addWidget(new Divider(indent));
}

}  // namespace sorvane
