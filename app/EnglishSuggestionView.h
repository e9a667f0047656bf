#pragma once
// The English line: typed text, rewrite and continuation with their accept
// keys, the waiting dots while a request runs, or why it failed.
#include <QWidget>
#include <optional>

#include "app/PanelContentView.h"
#include "app/PanelStyle.h"
#include "kit/EnglishPanelModel.h"
#include "kit/WaitingAnimation.h"

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

    // The line as last laid out for the panel's size; drawing reuses it when
    // nothing changed since, so a long line is shaped once per update.
    struct Prepared {
        std::vector<StyledRun> runs;
        const PanelPalette* palette = nullptr;
        std::unique_ptr<QTextLayout> layout;
        LaidOutLines lines;
    };
    const Prepared& prepare(std::vector<StyledRun> runs, double width) const;

    std::optional<EnglishPanelModel> model_;
    mutable std::optional<Prepared> prepared_;
    WaitingAnimation animation_;
};

}  // namespace sorvane
