#pragma once
// The English line: typed text, rewrite and continuation with their accept
// keys, the waiting dots while a request runs, or why it failed.
#include <QWidget>
#include <optional>

#include "app/panels/PanelContentView.h"
#include "app/panels/PanelStyle.h"
#include "app/panels/WrappedParagraph.h"
#include "kit/panel/EnglishPanelModel.h"
#include "kit/panel/WaitingAnimation.h"

namespace sorvane {

class EnglishSuggestionView final : public QWidget, public PanelContentView {
    Q_OBJECT
public:
    EnglishSuggestionView(const TextMetrics& metrics, MainQueue& queue, QWidget* parent = nullptr);

    const std::optional<EnglishPanelModel>& model() const { return model_; }
    void setModel(EnglishPanelModel model);
    int animationStep() const { return animation_.step(); }
    bool isAnimating() const { return animation_.isRunning(); }
    void startWaitingAnimation() { animation_.start(); }
    void stopWaitingAnimation() { animation_.stop(); }

    Size desiredContentSize() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    bool stillWaiting() const;
    // Lays the line out again for the model and the lit dot, and asks for the
    // part of the view that changed to be drawn again.
    void relayout();
    // The top of the line as drawn in a view of `viewHeight`.
    double lineTop(double viewHeight) const;

    std::optional<EnglishPanelModel> model_;
    // The line at the maximum width, from which the panel takes its size; a
    // view of its natural width or of the maximum draws this same layout.
    WrappedParagraph line_;
    // The line at any other width the view is given.
    WrappedParagraph atOtherWidth_;
    WaitingAnimation animation_;
};

}  // namespace sorvane
