#pragma once
// The candidate panel's content: the rounded background, its border, the
// small product badge, and whichever of the two content views is active.
#include <QImage>
#include <QWidget>
#include <optional>

#include "app/panels/ChineseCandidateView.h"
#include "app/panels/EnglishSuggestionView.h"
#include "kit/panel/PanelContent.h"

namespace sorvane {

class CandidateView final : public QWidget {
    Q_OBJECT
public:
    static constexpr double hInset = 10;
    static constexpr double vInset = 7;
    static constexpr double badgeGap = 8;
    static constexpr std::string_view badgeText = "Sorvane";

    CandidateView(const TextMetrics& metrics, MainQueue& queue, QWidget* parent = nullptr);

    // Hands the model to its view and makes that view the active one.
    void update(const PanelContent& content);

    ChineseCandidateView& chineseView() { return *chineseView_; }
    EnglishSuggestionView& englishView() { return *englishView_; }
    // The content view shown now; none before the first update.
    PanelContentView* active() const { return active_; }
    QWidget* activeWidget() const;

    static TextStyle badgeStyle();
    // The badge's text size, measured once: its text never changes.
    Size badgeSize() const;
    // Places the active view at the insets with the size it asked for; the
    // caller measured it already, so nothing is laid out here.
    void placeActive(Size contentSize);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The rounded background and its border at a small size: its corners are
    // the panel's corners, and its middle row and column hold the straight
    // edges and the inside, which are the same at any size.
    struct Chrome {
        QImage tile;
        int corner = 0;  // device pixels of each corner square
        // The edges drawn out to a length: the tile's middle column repeated
        // along the top rows and then the bottom rows, its middle row down
        // the left columns and then the right ones.
        QImage rows, columns;
        QColor inside;
        const PanelPalette* palette = nullptr;
        qreal ratio = 0;
    };
    // For edges of `length` and `height` device pixels at most.
    const Chrome& chrome(qreal ratio, int length, int height);
    void paintChrome(QPainter& painter);

    ChineseCandidateView* chineseView_;
    EnglishSuggestionView* englishView_;
    PanelContentView* active_ = nullptr;
    const TextMetrics& metrics_;
    // The panel changes size on most keys, and an antialiased fill of the
    // whole rounded shape hands its rows to Qt's thread pool and waits. The
    // shape is drawn once per appearance; each frame copies its corners and
    // fills the rest with plain rectangles, which stay on this thread.
    Chrome chrome_;
    mutable std::optional<Size> badge_;
};

}  // namespace sorvane
