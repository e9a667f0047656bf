#include "app/panels/ModeHUD.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <cmath>

#include "app/panels/CandidatePanel.h"
#include "app/panels/PanelStyle.h"
#include "app/panels/QtScreens.h"
#include "app/panels/QtText.h"
#include "platform/qt/QtMainQueue.h"

namespace sorvane {

namespace {

// Frames in the tile's y-down coordinates (the glyph and icon sit above the
// caption, leaving the caption the bottom of the tile).
constexpr QRectF kGlyphFrame(0, 6, 64, 34);
constexpr QRectF kIconFrame(15, 6, 34, 34);
constexpr QRectF kCaptionFrame(0, 41, 64, 13);
constexpr double kCornerRadius = 12;
const QColor kTileColor = QColor::fromRgbF(0.12f, 0.12f, 0.12f, 0.82f);
const QColor kCaptionColor = QColor::fromRgbF(1, 1, 1, 0.7f);

}  // namespace

static void paintModeTile(QPainter& painter, const ModeTileFace& face, const QImage* icon) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath tile;
    tile.addRoundedRect(QRectF(0, 0, ModeTile::tileSize.width, ModeTile::tileSize.height), kCornerRadius,
                        kCornerRadius);
    painter.fillPath(tile, kTileColor);

    if (face.showsIcon && icon) {
        const QSizeF fitted = QSizeF(icon->size()).scaled(kIconFrame.size(), Qt::KeepAspectRatio);
        const QRectF target(kIconFrame.center() - QPointF(fitted.width() / 2, fitted.height() / 2), fitted);
        painter.drawImage(target, *icon);
    } else {
        painter.setFont(panelFont({26, FontWeight::semibold}));
        painter.setPen(Qt::white);
        painter.drawText(kGlyphFrame, Qt::AlignCenter, qstring(face.glyph));
    }
    painter.setFont(panelFont({10, FontWeight::medium}));
    painter.setPen(kCaptionColor);
    painter.drawText(kCaptionFrame, Qt::AlignCenter, qstring(face.caption));
}

class ModeTileWidget final : public QWidget {
public:
    ModeTileFace face = ModeTile::face(InputMode::chinese, false);
    const QImage* icon = nullptr;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        paintModeTile(painter, face, icon);
    }
};

const QString ModeHUD::englishIconResource = QStringLiteral(":/sorvane/sorvane-en-menu.svg");

ModeHUD& ModeHUD::shared() {
    static ModeHUD* hud = new ModeHUD({QtMainQueue::shared(), QtScreenProvider::shared()});
    return *hud;
}

ModeHUD::ModeHUD(Services services)
    : services_(std::move(services)),
      window_(std::make_unique<ModeTileWidget>()),
      timeline_(services_.queue, *this) {
    makeFloatingPanel(*window_);
    window_->setObjectName(QStringLiteral("SorvaneModeHUD"));
    window_->resize(int(tileSize.width), int(tileSize.height));
    fade_ = new QPropertyAnimation(window_.get(), "windowOpacity", window_.get());
}

ModeHUD::~ModeHUD() = default;

QWidget& ModeHUD::window() {
    return *window_;
}
const ModeTileFace& ModeHUD::face() const {
    return window_->face;
}
bool ModeHUD::isVisible() const {
    return window_->isVisible();
}
double ModeHUD::opacity() const {
    return window_->windowOpacity();
}

// Loaded once, at the first English tile; a missing or broken drawing leaves
// the glyph in its place. Drawn at four times the tile's largest scale so it
// stays crisp.
const QImage* ModeHUD::englishIcon() {
    if (!iconLoaded_) {
        iconLoaded_ = true;
        icon_ = whiteTemplateIcon(services_.englishIcon, int(iconSide) * 4);
    }
    return icon_ ? &*icon_ : nullptr;
}

void ModeHUD::configure(InputMode mode) {
    const QImage* icon = mode == InputMode::english ? englishIcon() : nullptr;
    window_->icon = icon;
    window_->face = ModeTile::face(mode, icon != nullptr);
    window_->update();
}

void ModeHUD::show(InputMode mode, Rect caretRect) {
    configure(mode);
    const Rect caret = PanelGeometry::caretOrMouse(caretRect, services_.screens);
    const Rect frame = PanelGeometry::modeTileFrame(caret, tileSize, caretGap, services_.screens);
    timeline_.show(frame);
}

void ModeHUD::dismiss() {
    timeline_.dismiss();
}

void ModeHUD::present(const Rect& frame) {
    fade_->stop();
    window_->setWindowOpacity(1.0);
    frame_ = frame;
    window_->setGeometry(QtScreenProvider::toQt(frame));
    orderFront(*window_);
    window_->update();
}

void ModeHUD::beginFade(std::chrono::milliseconds duration) {
    fade_->stop();
    fade_->setDuration(int(duration.count()));
    fade_->setStartValue(window_->windowOpacity());
    fade_->setEndValue(0.0);
    fade_->start();
}

void ModeHUD::orderOut() {
    fade_->stop();
    window_->hide();
    window_->setWindowOpacity(1.0);
}

std::optional<QByteArray> ModeHUD::renderPNG(InputMode mode, double scale) {
    if (!(scale > 0) || !std::isfinite(scale)) return std::nullopt;
    configure(mode);
    const QSize pixels(int(std::lround(tileSize.width * scale)), int(std::lround(tileSize.height * scale)));
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return std::nullopt;
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        if (!painter.isActive()) return std::nullopt;
        paintModeTile(painter, window_->face, window_->icon);
    }
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) return std::nullopt;
    return data;
}

}  // namespace sorvane
