#include "app/settings/style/AppMark.h"

#include <QPainter>
#include <QPainterPath>
#include <mutex>

#include "platform/Bundle.h"
#include "platform/files/Files.h"

namespace sorvane::AppMark {
namespace {

// A mark is a few hundred kilobytes at most; anything bigger is not ours.
constexpr std::size_t maxMarkBytes = 8 * 1024 * 1024;

std::mutex markMutex;
std::optional<std::optional<QImage>> cached;

std::optional<QImage> readMark() {
    const auto path = BundleResources::find("AppMark", "png");
    if (!path) return std::nullopt;
    const auto bytes = Files::readFile(*path);
    if (!bytes || bytes->size() > maxMarkBytes) return std::nullopt;
    QImage image;
    if (!image.loadFromData(reinterpret_cast<const uchar*>(bytes->data()), static_cast<int>(bytes->size()),
                            "PNG"))
        return std::nullopt;
    return image;
}

}  // namespace

const std::optional<QImage>& image() {
    std::lock_guard lock(markMutex);
    if (!cached) cached = readMark();
    return *cached;
}

std::optional<QImage> dockIcon() {
    const auto& mark = image();
    if (!mark) return std::nullopt;
    constexpr double side = 512, inset = 51.2, inner = side - 2 * inset, radius = 0.225 * inner;
    QImage icon(static_cast<int>(side), static_cast<int>(side), QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath plate;
    const QRectF square(inset, inset, inner, inner);
    plate.addRoundedRect(square, radius, radius);
    painter.setClipPath(plate);
    painter.fillPath(plate, Qt::white);
    painter.drawImage(square, *mark);
    painter.end();
    return icon;
}

void resetForTests() {
    std::lock_guard lock(markMutex);
    cached.reset();
}

}  // namespace sorvane::AppMark
