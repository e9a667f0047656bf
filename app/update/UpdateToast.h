#pragma once
// The toast in the top right corner that tells the user, inside the
// input-method server, that a verified update is ready: "安装…" opens the
// settings window's about page, "稍后" closes it, and it closes by itself
// after 15 s unless the pointer rests on it. On top, never focused, yet it
// takes clicks on its buttons. One process-wide instance; renders make their own.
#include <QByteArray>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "kit/panel/PanelGeometry.h"
#include "kit/panel/UpdateToastTimeline.h"
#include "kit/update/UpdateRelease.h"

class QLabel;
class QPropertyAnimation;
class QPushButton;

namespace sorvane {

class ToastContentView;
class ToastIconTile;
class ToastBorder;

class UpdateToast final : private UpdateToastSurface {
public:
    static constexpr Size size{340, 76};
    static constexpr double margin = 12;  // from the right and top of the visible frame

    struct Services {
        MainQueue& queue;
        const Clock& clock;
        const ScreenProvider& screens;
        // Opens the settings window on its about page.
        std::function<void()> openAbout;
        QString icon;  // a monochrome SVG resource; empty or broken: "拼"
    };

    // Made on first use with the Qt queue, the system clock and the real screens.
    static UpdateToast& shared();

    explicit UpdateToast(Services services);
    ~UpdateToast() override;
    UpdateToast(const UpdateToast&) = delete;
    UpdateToast& operator=(const UpdateToast&) = delete;

    void show(const UpdateRelease& release);
    void dismiss();
    // The toast drawn offscreen at `scale`, with the window background inside
    // its rounded corners and transparency outside; none when drawing fails.
    std::optional<QByteArray> renderPNG(const UpdateRelease& release, bool dark, double scale);
    // Writes update-toast-light.png and update-toast-dark.png of the preview
    // release into the folder (made when missing), printing a line for each;
    // true when both were written.
    static bool renderPreviews(const std::filesystem::path& folder);
    // `--render-update-toast [dir]`: makes the application object when there
    // is none (offscreen without a display); 0 when both files were written.
    static int renderCommand(const std::filesystem::path& folder);

    QWidget& window();
    UpdateToastTimeline& timeline() { return timeline_; }
    QPushButton& installButton() { return *install_; }
    QPushButton& laterButton() { return *later_; }
    QLabel& titleLabel() { return *title_; }
    QLabel& detailLabel() { return *detail_; }
    // The last frame set, in y-up screen coordinates.
    Rect frame() const { return frame_; }

private:
    void configure(const UpdateRelease& release);
    void installPressed();

    bool isVisible() const override;
    double alpha() const override;
    void present() override;
    void fadeOut(std::chrono::milliseconds duration, std::function<void()> done) override;
    void orderOut() override;

    Services services_;
    std::unique_ptr<ToastContentView> window_;
    ToastIconTile* icon_;
    ToastBorder* border_;
    QLabel* title_;
    QLabel* detail_;
    QPushButton* install_;
    QPushButton* later_;
    QPropertyAnimation* fade_;
    UpdateToastTimeline timeline_;
    Rect frame_;
};

}  // namespace sorvane
