#include "app/panels/QtScreens.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace sorvane {

namespace {

Rect rect(const QRect& r) {
    return {double(r.x()), double(r.y()), double(r.width()), double(r.height())};
}

ScreenDescription describe(const QScreen& screen, const ScreenFlip& flip) {
    return {flip.toYUp(rect(screen.geometry())), flip.toYUp(rect(screen.availableGeometry()))};
}

}  // namespace

const QtScreenProvider& QtScreenProvider::shared() {
    static const QtScreenProvider provider;
    return provider;
}

ScreenFlip QtScreenProvider::flip() {
    const QScreen* primary = QGuiApplication::primaryScreen();
    return ScreenFlip{primary ? rect(primary->geometry()) : PanelGeometry::fallbackVisibleFrame};
}

std::vector<ScreenDescription> QtScreenProvider::screens() const {
    const ScreenFlip f = flip();
    std::vector<ScreenDescription> result;
    for (const QScreen* screen : QGuiApplication::screens()) result.push_back(describe(*screen, f));
    return result;
}

std::optional<ScreenDescription> QtScreenProvider::mainScreen() const {
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary) return std::nullopt;
    return describe(*primary, flip());
}

Point QtScreenProvider::mouseLocation() const {
    const QPoint pos = QCursor::pos();
    return flip().toYUp(Point{double(pos.x()), double(pos.y())});
}

QRect QtScreenProvider::toQt(const Rect& yUp) {
    const Rect r = flip().toYDown(yUp);
    return QRect(int(std::lround(r.x)), int(std::lround(r.y)), int(std::lround(r.width)),
                 int(std::lround(r.height)));
}

Rect QtScreenProvider::fromQt(const QRect& yDown) {
    return flip().toYUp(rect(yDown));
}

}  // namespace sorvane
