#pragma once
// The settings window's colours and fonts, per appearance (light or dark).
//
// Settings widgets read their colours here at paint time, so changing the
// appearance only needs a repaint. Colours handed to something that keeps
// them (a style sheet, a palette, a chart's pens) are set through
// applyPerAppearance() instead, which sets them again on each change. The
// live window calls
// followApplicationPalette() once: the flag is derived from the application
// palette (a dark window colour means dark, as the panels decide) and follows
// each palette change. Renders call setAppearance() instead.
//
//   painter.fillRect(rect(), SettingsTheme::background());
//   painter.setPen(SettingsTheme::secondaryLabel());
//   painter.setFont(settingsFont(12, QFont::DemiBold));
#include <QColor>
#include <QFont>
#include <QPalette>
#include <functional>

class QObject;
class QWidget;

namespace sorvane {

enum class SettingsAppearance { light, dark };

namespace SettingsTheme {

SettingsAppearance appearance();
// Repaints every window when the flag changes.
void setAppearance(SettingsAppearance appearance);
// The rule: a window colour darker than half lightness is dark.
SettingsAppearance appearanceOf(const QPalette& palette);
// Takes the flag from the application palette now and on every change of it.
// Needs the application object; calling it again changes nothing.
void followApplicationPalette();
// Runs `apply` now and again after each change of the appearance, for as long
// as `owner` lives.
//
//   SettingsTheme::applyPerAppearance(label, [label] { label->setStyleSheet(…); });
void applyPerAppearance(QObject* owner, std::function<void()> apply);
// Gives a toolkit widget that draws its own text (a selectable QLabel) the
// label colour, now and after each change.
void useLabelColor(QWidget* widget);

// Fixed colours.
QColor blue();      // the window's accent, sRGB 43/92/230
QColor graphite();  // sRGB 29/33/41
QColor violet();    // sRGB 0.3/0.24/0.72
// Per appearance.
QColor background();  // behind every page: 0.953/0.957/0.969, or white 0.11
QColor card();        // fills every SettingsGroup (the control background)
// The typing-rhythm histogram's bars, opaque: the darker kind for the gaps
// shorter than the pause. Each kind stands out from card() at 3:1 or more.
QColor histogramBar(bool beforePause);

// The label colours of the appearance, at an extra opacity.
QColor label(double alpha = 1.0);
QColor secondaryLabel();
QColor tertiaryLabel();
QColor separator();
QColor controlBackground();
// The platform's standard colours of those names, per appearance.
QColor systemGreen();
QColor systemOrange();
QColor systemGray();
QColor systemTeal();

}  // namespace SettingsTheme

// The system font at a logical pixel size, with the CJK family behind it so
// that Chinese never falls back to boxes.
QFont settingsFont(double pixelSize, QFont::Weight weight = QFont::Normal, bool monospaced = false);

}  // namespace sorvane
