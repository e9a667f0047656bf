#include "app/settings/style/SettingsSymbols.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPaintDevice>
#include <QSvgRenderer>
#include <cmath>
#include <map>
#include <memory>
#include <optional>

// Resources compiled into a static library need a reference to be linked.
static void initSymbolResources() {
    Q_INIT_RESOURCE(symbols);
}

namespace sorvane::SettingsSymbols {
namespace {

const QString folder = QStringLiteral(":/sorvane/symbols/");
const QString detailSuffix = QStringLiteral(".detail");

// Never destroyed: renderers must not outlive the application object's exit.
QSvgRenderer* renderer(const QString& file) {
    static auto& cache = *[] {
        initSymbolResources();
        return new std::map<QString, std::unique_ptr<QSvgRenderer>>();
    }();
    auto it = cache.find(file);
    if (it == cache.end()) {
        // Checked first: the renderer warns about every file it cannot open.
        const QString path = folder + file + QStringLiteral(".svg");
        std::unique_ptr<QSvgRenderer> svg;
        if (QFile::exists(path)) svg = std::make_unique<QSvgRenderer>(path);
        if (svg && !svg->isValid()) svg.reset();
        it = cache.emplace(file, std::move(svg)).first;
    }
    return it->second.get();
}

QRectF squareIn(const QRectF& box) {
    const double side = std::min(box.width(), box.height());
    return QRectF(box.center().x() - side / 2, box.center().y() - side / 2, side, side);
}

// The layer rendered at the painter's resolution and tinted; transparent
// where the drawing is.
QImage layer(QSvgRenderer& svg, const QSize& pixels, double ratio, const QColor& color) {
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        svg.render(&p, QRectF(QPointF(0, 0), QSizeF(pixels)));
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(image.rect(), color);
    }
    image.setDevicePixelRatio(ratio);
    return image;
}

void drawLayers(QPainter& painter, const QString& name, const QRectF& box, const QColor& primary,
                const std::optional<QColor>& secondary) {
    QSvgRenderer* body = renderer(name);
    if (!body || box.isEmpty()) return;
    const QRectF square = squareIn(box);
    const double ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const int side = std::max(1, static_cast<int>(std::ceil(square.width() * ratio)));
    const QSize pixels(side, side);
    QImage image = layer(*body, pixels, ratio, primary);
    if (QSvgRenderer* detail = renderer(name + detailSuffix)) {
        QPainter p(&image);
        p.setCompositionMode(secondary ? QPainter::CompositionMode_SourceOver
                                       : QPainter::CompositionMode_DestinationOut);
        p.drawImage(QPointF(0, 0), layer(*detail, pixels, ratio, secondary.value_or(Qt::black)));
    }
    painter.drawImage(square.topLeft(), image);
}

}  // namespace

bool contains(const QString& name) {
    return !name.endsWith(detailSuffix) && renderer(name) != nullptr;
}

QStringList names() {
    renderer(QString());  // registers the resources
    QStringList list;
    for (const QString& file : QDir(folder).entryList({QStringLiteral("*.svg")})) {
        const QString name = file.chopped(4);
        if (!name.endsWith(detailSuffix)) list << name;
    }
    return list;
}

void draw(QPainter& painter, const QString& name, const QRectF& box, const QColor& color) {
    if (name.endsWith(detailSuffix)) return;
    drawLayers(painter, name, box, color, std::nullopt);
}

void drawPalette(QPainter& painter, const QString& name, const QRectF& box, const QColor& primary,
                 const QColor& secondary) {
    if (name.endsWith(detailSuffix)) return;
    drawLayers(painter, name, box, primary, secondary);
}

}  // namespace sorvane::SettingsSymbols
