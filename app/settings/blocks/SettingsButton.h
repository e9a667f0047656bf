#pragma once
// The settings pages' buttons, drawn by us in one of three styles:
// - SettingsActionStyle: the primary action (the key page's save button):
//   13 semibold on a filled rounded rectangle (radius 11), full width, one
//   line that shrinks to 0.75 before it is cut short;
// - SettingsPillStyle: the home page's small buttons on coloured cards:
//   12 semibold on white at 0.16 (0.26 pressed), radius 10;
// - bordered: a plain secondary button ("重新验证", "删除 Key").
// A disabled button is drawn at half opacity and does not dim further when
// pressed; an enabled one at 0.8 while pressed (action style).
//
//   auto* save = new SettingsButton("验证并保存", SettingsActionStyle{SettingsTheme::blue(), Qt::white});
//   QObject::connect(save, &QAbstractButton::clicked, [&] { ... });
#include <QAbstractButton>
#include <QColor>
#include <variant>

namespace sorvane {

struct SettingsActionStyle {
    QColor background;
    QColor foreground;
};

struct SettingsPillStyle {
    // The label's colour, which the pill takes from where it stands.
    QColor foreground = Qt::white;
};

struct SettingsBorderedStyle {};

class SettingsButton final : public QAbstractButton {
public:
    using Style = std::variant<SettingsActionStyle, SettingsPillStyle, SettingsBorderedStyle>;

    SettingsButton(const QString& text, Style style, QWidget* parent = nullptr);

    // The opacity the button is drawn at now.
    double drawnOpacity() const;
    const Style& style() const { return style_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont labelFont() const;
    QMargins padding() const;

    Style style_;
};

}  // namespace sorvane
