#pragma once
// The candidate panel's content: the rounded background, its border, the
// small product badge, and whichever of the two content views is active.
#include <QWidget>

#include "app/ChineseCandidateView.h"
#include "app/EnglishSuggestionView.h"
#include "kit/PanelContent.h"

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
    // Re-places the active view at the insets with its desired size.
    void layoutActive();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ChineseCandidateView* chineseView_;
    EnglishSuggestionView* englishView_;
    PanelContentView* active_ = nullptr;
    const TextMetrics& metrics_;
};

}  // namespace sorvane
