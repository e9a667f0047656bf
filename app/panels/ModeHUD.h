#pragma once
// The mode indicator: a small dark tile under the caret for a moment after
// the input mode changes, fading out by itself. Never focused, never clicked.
#include <QByteArray>
#include <QImage>
#include <QString>
#include <QWidget>
#include <memory>
#include <optional>

#include "kit/panel/ModeIndicator.h"
#include "kit/panel/PanelGeometry.h"

class QPropertyAnimation;

namespace sorvane {

class ModeTileWidget;

class ModeHUD final : private ModeTileSurface {
public:
    static constexpr Size tileSize = ModeTile::tileSize;
    static constexpr double iconSide = ModeTile::iconSide;
    static constexpr double caretGap = ModeTile::caretGap;
    // The English-mode icon, a monochrome drawing tinted like a template.
    static const QString englishIconResource;

    struct Services {
        MainQueue& queue;
        const ScreenProvider& screens;
        QString englishIcon = englishIconResource;
    };

    // Made on first use with the Qt queue and screens.
    static ModeHUD& shared();

    explicit ModeHUD(Services services);
    ~ModeHUD() override;
    ModeHUD(const ModeHUD&) = delete;
    ModeHUD& operator=(const ModeHUD&) = delete;

    // Shows the tile for the mode near the caret (y-up screen coordinates).
    void show(InputMode mode, Rect caretRect);
    // Hides the tile at once.
    void dismiss();
    // The tile of the mode as PNG data at `scale` device pixels per point,
    // drawn offscreen; none when drawing or encoding fails.
    std::optional<QByteArray> renderPNG(InputMode mode, double scale);

    bool isVisible() const override;
    double opacity() const;
    Rect frame() const { return frame_; }
    QWidget& window();
    // The current face, as configured for the last mode.
    const ModeTileFace& face() const;
    std::uint64_t generation() const { return timeline_.generation(); }

private:
    void configure(InputMode mode);
    const QImage* englishIcon();

    void present(const Rect& frame) override;
    void beginFade(std::chrono::milliseconds duration) override;
    void orderOut() override;

    Services services_;
    std::unique_ptr<ModeTileWidget> window_;
    QPropertyAnimation* fade_ = nullptr;
    ModeIndicatorTimeline timeline_;
    bool iconLoaded_ = false;
    std::optional<QImage> icon_;
    Rect frame_;
};

}  // namespace sorvane
