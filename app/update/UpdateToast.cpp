#include "app/update/UpdateToast.h"

#include <QBuffer>
#include <QEnterEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QPushButton>
#include <iostream>

#include "app/cli/RenderedFile.h"
#include "app/panels/CandidatePanel.h"
#include "app/panels/ModeHUD.h"
#include "app/panels/PanelStyle.h"
#include "app/panels/QtScreens.h"
#include "app/panels/QtText.h"
#include "app/server/GuiApplication.h"
#include "app/settings/SettingsLauncher.h"
#include "kit/update/UpdatePanelModel.h"
#include "platform/SorvaneLog.h"
#include "platform/qt/QtMainQueue.h"

namespace sorvane {
namespace {

constexpr double kRadius = 16;
constexpr int kButtonWidth = 64;
constexpr int kColumnX = int(UpdateToast::size.width) - 12 - kButtonWidth;  // 264

// The frosted material of the original look becomes a translucent fill.
QColor materialColor(bool dark) {
    return dark ? QColor(44, 44, 46, 235) : QColor(246, 246, 246, 235);
}
// The opaque window background of a rendering.
QColor windowColor(bool dark) {
    return dark ? QColor(50, 50, 50) : QColor(236, 236, 236);
}
QColor tileFill(bool dark) {
    return dark ? QColor::fromRgbF(0.34f, 0.34f, 0.34f, 1.0f) : QColor::fromRgbF(0.12f, 0.12f, 0.12f, 0.9f);
}
QColor borderColor(bool dark) {
    return dark ? QColor::fromRgbF(1, 1, 1, 0.16f) : QColor::fromRgbF(0, 0, 0, 0.12f);
}
QColor labelColor(bool dark) {
    return dark ? QColor::fromRgbF(1, 1, 1, 0.85f) : QColor::fromRgbF(0, 0, 0, 0.85f);
}
QColor secondaryColor(bool dark) {
    return dark ? QColor::fromRgbF(1, 1, 1, 0.55f) : QColor::fromRgbF(0, 0, 0, 0.5f);
}

bool liveAppearanceIsDark() {
    return &PanelPalette::current() == &PanelPalette::dark();
}

}  // namespace

// The rounded background, the outline on top, and the pointer's comings and goings.
class ToastContentView final : public QWidget {
public:
    std::function<void(bool)> onPointer;
    bool dark = false;
    // A rendering draws the window background instead of the material.
    bool opaqueBackground = false;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), kRadius, kRadius);
        painter.fillPath(shape, opaqueBackground ? windowColor(dark) : materialColor(dark));
    }
    void enterEvent(QEnterEvent*) override {
        if (onPointer) onPointer(true);
    }
    void leaveEvent(QEvent*) override {
        if (onPointer) onPointer(false);
    }
};

// The outline, drawn over every other view and transparent to clicks.
class ToastBorder final : public QWidget {
public:
    explicit ToastBorder(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    bool dark = false;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(borderColor(dark), 1));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 15.5, 15.5);
    }
};

// The application icon on a dark rounded tile, or "拼" when there is none.
class ToastIconTile final : public QWidget {
public:
    ToastIconTile(std::optional<QImage> image, QWidget* parent) : QWidget(parent), image_(std::move(image)) {}
    bool dark = false;
    bool hasImage() const { return image_.has_value(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        QPainterPath tile;
        tile.addRoundedRect(QRectF(rect()), 10, 10);
        painter.fillPath(tile, tileFill(dark));
        if (image_) {
            const double side = 0.8 * width();
            const QSizeF fitted = QSizeF(image_->size()).scaled(QSizeF(side, side), Qt::KeepAspectRatio);
            painter.drawImage(QRectF((width() - fitted.width()) / 2, (height() - fitted.height()) / 2,
                                     fitted.width(), fitted.height()),
                              *image_);
        } else {
            QFont font = panelFont({22, FontWeight::semibold});
            painter.setFont(font);
            painter.setPen(Qt::white);
            painter.drawText(QRectF(0, (height() - 28) / 2.0, width(), 28), Qt::AlignCenter,
                             QStringLiteral("拼"));
        }
    }

private:
    std::optional<QImage> image_;
};

UpdateToast& UpdateToast::shared() {
    static UpdateToast* toast =
        new UpdateToast({QtMainQueue::shared(), SystemClock::shared(), QtScreenProvider::shared(),
                         [] { SettingsLauncher::open(SettingsPage::about); }, ModeHUD::englishIconResource});
    return *toast;
}

UpdateToast::UpdateToast(Services services)
    : services_(std::move(services)),
      window_(std::make_unique<ToastContentView>()),
      timeline_(services_.queue, services_.clock, *this) {
    QWidget& w = *window_;
    // On top and never activated, but unlike the candidate panel it takes clicks.
    w.setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                     Qt::WindowDoesNotAcceptFocus);
    w.setAttribute(Qt::WA_ShowWithoutActivating);
    w.setAttribute(Qt::WA_TranslucentBackground);
    w.setFocusPolicy(Qt::NoFocus);
    w.setObjectName(QStringLiteral("SorvaneUpdateToast"));
    w.resize(int(size.width), int(size.height));

    icon_ = new ToastIconTile(whiteTemplateIcon(services_.icon, 44 * 4), &w);
    icon_->setGeometry(12, 16, 44, 44);

    install_ = new QPushButton(qstring(UpdateToastCopy::install), &w);
    later_ = new QPushButton(qstring(UpdateToastCopy::later), &w);
    for (QPushButton* button : {install_, later_}) {
        button->setFont(panelFont({11, FontWeight::regular}));
        button->setFocusPolicy(Qt::NoFocus);
    }
    install_->setStyleSheet(
        QStringLiteral("QPushButton { background: #0A84FF; color: white; border: none; border-radius: 5px; "
                       "padding: 2px 6px; }"
                       "QPushButton:pressed { background: #0060DF; }"));
    QObject::connect(install_, &QPushButton::clicked, [this] { installPressed(); });
    QObject::connect(later_, &QPushButton::clicked, [this] { dismiss(); });
    // Two buttons of the fitting height, 4 apart, centred in the column.
    const int h = std::max(22, install_->sizeHint().height());
    const int b = int((size.height - (2 * h + 4)) / 2);
    install_->setGeometry(kColumnX, b, kButtonWidth, h);
    later_->setGeometry(kColumnX, b + h + 4, kButtonWidth, h);

    title_ = new QLabel(&w);
    title_->setFont(panelFont({13, FontWeight::semibold}));
    title_->setGeometry(66, 20, 190, 17);
    detail_ = new QLabel(&w);
    detail_->setFont(panelFont({12, FontWeight::regular}));
    detail_->setGeometry(66, 40, 190, 16);

    border_ = new ToastBorder(&w);
    border_->setGeometry(0, 0, int(size.width), int(size.height));
    border_->raise();

    fade_ = new QPropertyAnimation(&w, "windowOpacity", &w);
    window_->onPointer = [this](bool inside) {
        if (inside) {
            timeline_.pointerEntered();
        } else {
            timeline_.pointerExited();
        }
    };
}

UpdateToast::~UpdateToast() = default;

QWidget& UpdateToast::window() {
    return *window_;
}

void UpdateToast::configure(const UpdateRelease& release) {
    const bool dark = window_->dark;
    const QString title = "Sorvane输入法 " + qstring(release.version) + " 已下载";
    const QString detail = qstring(UpdateToastTimeline::detail(release.notes));
    // One line each, cut at the tail; the tool tips keep the whole texts.
    title_->setText(title_->fontMetrics().elidedText(title, Qt::ElideRight, title_->width()));
    detail_->setText(detail_->fontMetrics().elidedText(detail, Qt::ElideRight, detail_->width()));
    title_->setToolTip(title);
    detail_->setToolTip(release.notes ? qstring(*release.notes) : QString());
    QPalette palette = title_->palette();
    palette.setColor(QPalette::WindowText, labelColor(dark));
    title_->setPalette(palette);
    palette.setColor(QPalette::WindowText, secondaryColor(dark));
    detail_->setPalette(palette);
    // The plain bezel of the appearance: a light key on light, a grey one on dark.
    later_->setStyleSheet(
        dark ? QStringLiteral("QPushButton { background: #5A5A5E; color: white; border: none; "
                              "border-radius: 5px; padding: 2px 6px; }"
                              "QPushButton:pressed { background: #6E6E73; }")
             : QStringLiteral("QPushButton { background: white; color: black; border: 1px solid "
                              "#C8C8C8; border-radius: 5px; padding: 2px 6px; }"
                              "QPushButton:pressed { background: #E0E0E0; }"));
    icon_->dark = dark;
    border_->dark = dark;
    window_->update();
}

void UpdateToast::show(const UpdateRelease& release) {
    window_->dark = liveAppearanceIsDark();
    configure(release);
    timeline_.show();
}

void UpdateToast::dismiss() {
    timeline_.dismiss();
}

void UpdateToast::installPressed() {
    SorvaneLog::log("[Sorvane] update: toast 安装… → settings about");
    // Fire and forget: the launcher logs its own failure; the toast goes either way.
    if (services_.openAbout) services_.openAbout();
    dismiss();
}

bool UpdateToast::isVisible() const {
    return window_->isVisible();
}

double UpdateToast::alpha() const {
    return window_->windowOpacity();
}

void UpdateToast::present() {
    const Rect visible = PanelGeometry::visibleFrame(services_.screens.mouseLocation(), services_.screens);
    frame_ = Rect{visible.x + visible.width - size.width - margin,
                  visible.y + visible.height - size.height - margin, size.width, size.height};
    fade_->stop();
    if (!window_->isVisible()) window_->setWindowOpacity(0.0);
    window_->setGeometry(QtScreenProvider::toQt(frame_));
    orderFront(*window_);
    fade_->setDuration(int(UpdateToastTimeline::fadeTime.count()));
    fade_->setStartValue(window_->windowOpacity());
    fade_->setEndValue(1.0);
    fade_->start();
}

void UpdateToast::fadeOut(std::chrono::milliseconds duration, std::function<void()> done) {
    fade_->stop();
    QObject::disconnect(fade_, &QPropertyAnimation::finished, nullptr, nullptr);
    fade_->setDuration(int(duration.count()));
    fade_->setStartValue(window_->windowOpacity());
    fade_->setEndValue(0.0);
    QObject::connect(fade_, &QPropertyAnimation::finished, window_.get(), [this, done] {
        QObject::disconnect(fade_, &QPropertyAnimation::finished, nullptr, nullptr);
        done();
    });
    fade_->start();
}

void UpdateToast::orderOut() {
    fade_->stop();
    window_->hide();
    window_->setWindowOpacity(1.0);
}

std::optional<QByteArray> UpdateToast::renderPNG(const UpdateRelease& release, bool dark, double scale) {
    if (!(scale > 0) || !std::isfinite(scale)) return std::nullopt;
    window_->dark = dark;
    configure(release);
    const QSize pixels(int(std::lround(size.width * scale)), int(std::lround(size.height * scale)));
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return std::nullopt;
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    window_->opaqueBackground = true;
    window_->ensurePolished();
    window_->render(&image, QPoint(), QRegion(), QWidget::DrawChildren | QWidget::DrawWindowBackground);
    window_->opaqueBackground = false;
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) return std::nullopt;
    return png;
}

bool UpdateToast::renderPreviews(const std::filesystem::path& folder) {
    const UpdateRelease& release = UpdatePanelModel::previewRelease();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        std::cout << "render-update-toast: " << ec.message() << '\n' << std::flush;
        return false;
    }
    bool allWritten = true;
    for (const auto& [name, dark] : {std::pair{"light", false}, std::pair{"dark", true}}) {
        const std::filesystem::path file = folder / (std::string("update-toast-") + name + ".png");
        UpdateToast toast({QtMainQueue::shared(),
                           SystemClock::shared(),
                           QtScreenProvider::shared(),
                           {},
                           ModeHUD::englishIconResource});
        const auto png = toast.renderPNG(release, dark, 2.0);
        if (png && RenderedFile::write(file, std::string_view(png->constData(), png->size()))) {
            std::cout << "render-update-toast " << name << " -> " << file.string() << '\n' << std::flush;
        } else {
            std::cout << "render-update-toast " << name << " FAILED" << '\n' << std::flush;
            allWritten = false;
        }
    }
    return allWritten;
}

int UpdateToast::renderCommand(const std::filesystem::path& folder) {
    GuiApplication::ensure();
    return renderPreviews(folder) ? 0 : 1;
}

}  // namespace sorvane
