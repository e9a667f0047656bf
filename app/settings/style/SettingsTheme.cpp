#include "app/settings/style/SettingsTheme.h"

#include <QApplication>
#include <QEvent>
#include <QFontDatabase>
#include <QPointer>
#include <QWidget>
#include <cmath>
#include <vector>

namespace sorvane {
namespace {

SettingsAppearance currentAppearance = SettingsAppearance::light;

struct AppearanceListener {
    QPointer<QObject> owner;
    std::function<void()> apply;
};

// Pages rebuild their rows, so listeners of gone owners are dropped whenever
// one is added or the list is walked.
std::vector<AppearanceListener>& listeners() {
    static std::vector<AppearanceListener> all;
    std::erase_if(all, [](const AppearanceListener& l) { return l.owner.isNull(); });
    return all;
}

bool dark() {
    return currentAppearance == SettingsAppearance::dark;
}

QColor grey(double white, double alpha = 1.0) {
    return QColor::fromRgbF(white, white, white, alpha);
}

QColor pick(QColor light, QColor darkColor) {
    return dark() ? darkColor : light;
}

// Lives as long as the application object and moves the flag on each change
// of its palette.
class PaletteFollower final : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange)
            SettingsTheme::setAppearance(SettingsTheme::appearanceOf(QApplication::palette()));
        return false;
    }
};

}  // namespace

namespace SettingsTheme {

SettingsAppearance appearance() {
    return currentAppearance;
}

void setAppearance(SettingsAppearance appearance) {
    if (appearance == currentAppearance) return;
    currentAppearance = appearance;
    // A listener may delete other owners (a page rebuilding its rows), so each
    // is checked right before it runs.
    const std::vector<AppearanceListener> now = listeners();
    for (const AppearanceListener& listener : now)
        if (listener.owner) listener.apply();
    // The rest take their colours at paint time.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        window->update();
        for (QWidget* child : window->findChildren<QWidget*>()) child->update();
    }
}

SettingsAppearance appearanceOf(const QPalette& palette) {
    return palette.color(QPalette::Window).lightnessF() < 0.5 ? SettingsAppearance::dark
                                                              : SettingsAppearance::light;
}

void followApplicationPalette() {
    static PaletteFollower* follower = nullptr;
    if (!qApp || follower) return;
    follower = new PaletteFollower(qApp);
    qApp->installEventFilter(follower);
    setAppearance(appearanceOf(QApplication::palette()));
}

void applyPerAppearance(QObject* owner, std::function<void()> apply) {
    apply();
    listeners().push_back({owner, std::move(apply)});
}

void useLabelColor(QWidget* widget) {
    applyPerAppearance(widget, [widget] {
        QPalette ink = widget->palette();
        ink.setColor(QPalette::WindowText, label());
        widget->setPalette(ink);
    });
}

QColor blue() {
    return QColor::fromRgbF(43 / 255.0, 92 / 255.0, 230 / 255.0);
}
QColor graphite() {
    return QColor::fromRgbF(29 / 255.0, 33 / 255.0, 41 / 255.0);
}
QColor violet() {
    return QColor::fromRgbF(0.3, 0.24, 0.72);
}

QColor background() {
    return dark() ? grey(0.11) : QColor::fromRgbF(0.953, 0.957, 0.969);
}
QColor card() {
    return controlBackground();
}
QColor histogramBar(bool beforePause) {
    // Shades of blue() lightened or darkened, not blue() at a lower opacity:
    // over the dark card a fainter bar would read as the darker one.
    if (beforePause) return pick(QColor(30, 66, 176), QColor(72, 124, 250));
    return pick(QColor(107, 142, 237), QColor(168, 192, 245));
}

QColor label(double alpha) {
    return dark() ? grey(1.0, 0.85 * alpha) : grey(0.0, 0.85 * alpha);
}
QColor secondaryLabel() {
    return dark() ? grey(1.0, 0.55) : grey(0.0, 0.5);
}
QColor tertiaryLabel() {
    return dark() ? grey(1.0, 0.25) : grey(0.0, 0.26);
}
QColor separator() {
    return dark() ? grey(1.0, 0.1) : grey(0.0, 0.1);
}
QColor controlBackground() {
    return dark() ? grey(0.118) : grey(1.0);
}

QColor systemGreen() {
    return pick(QColor(0x28, 0xCD, 0x41), QColor(0x32, 0xD7, 0x4B));
}
QColor systemOrange() {
    return pick(QColor(0xFF, 0x95, 0x00), QColor(0xFF, 0x9F, 0x0A));
}
QColor systemGray() {
    return pick(QColor(0x8E, 0x8E, 0x93), QColor(0x98, 0x98, 0x9D));
}
QColor systemTeal() {
    return pick(QColor(0x59, 0xAD, 0xC4), QColor(0x6A, 0xC4, 0xDC));
}

}  // namespace SettingsTheme

QFont settingsFont(double pixelSize, QFont::Weight weight, bool monospaced) {
    QStringList families;
    // The desktop's fixed font is often only the alias "monospace", which a
    // family list does not resolve: name real ones first.
    if (monospaced) families << QStringLiteral("DejaVu Sans Mono") << QStringLiteral("Noto Sans Mono CJK SC");
    const auto kind = monospaced ? QFontDatabase::FixedFont : QFontDatabase::GeneralFont;
    const QString system = QFontDatabase::systemFont(kind).family();
    if (!system.isEmpty()) families << system;
    families << QStringLiteral("Noto Sans CJK SC") << QStringLiteral("Noto Sans CJK");
    QFont font;
    font.setFamilies(families);
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixelSize))));
    font.setWeight(weight);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

}  // namespace sorvane
