#pragma once
// The one floating candidate window of the process: Chinese candidates or the
// English line, just below the caret (above it when there is no room), never
// focused, never clicked, above other windows.
#include <QWidget>
#include <memory>

#include "app/panels/CandidateView.h"
#include "kit/panel/PanelGeometry.h"

namespace sorvane {

class CandidatePanel {
public:
    static constexpr double caretGap = 4;
    // Window size before the badge when there is no content view yet.
    static constexpr Size emptyContentFrame{88, 34};

    struct Services {
        MainQueue& queue;
        const ScreenProvider& screens;
        const TextMetrics& metrics;
    };

    // Made on first use with the Qt queue, screens and fonts.
    static CandidatePanel& shared();

    explicit CandidatePanel(Services services);
    ~CandidatePanel();
    CandidatePanel(const CandidatePanel&) = delete;
    CandidatePanel& operator=(const CandidatePanel&) = delete;

    // Shows or refreshes the panel for the content next to the caret (y-up
    // screen coordinates, as the client reports it).
    void show(const PanelContent& content, Rect caretRect);
    // Orders the panel out; it keeps its views and models.
    void hide();
    bool isVisible() const;
    // The last frame set, in y-up screen coordinates.
    Rect frame() const { return frame_; }

    CandidateView& candidateView() { return *candidateView_; }
    QWidget& window() { return *window_; }

private:
    class ConfirmedGeometryFilter;

    Services services_;
    std::unique_ptr<QWidget> window_;
    CandidateView* candidateView_;
    // Made with the native window, on the first show.
    ConfirmedGeometryFilter* geometryFilter_ = nullptr;
    Rect frame_;
};

// Window flags and attributes shared by the floating panels: frameless, on
// top, never activated and transparent for input.
void makeFloatingPanel(QWidget& window);
// Shows the window, or brings an already visible one to the front, without
// activating it.
void orderFront(QWidget& window);

}  // namespace sorvane
