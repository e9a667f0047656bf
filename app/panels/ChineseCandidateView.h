#pragma once
// One page of Chinese candidates: the preedit on top, then a row or a grid
// of candidates, the highlighted one on a filled rounded rectangle.
#include <QWidget>
#include <optional>

#include "app/panels/PanelContentView.h"
#include "app/panels/PanelStyle.h"
#include "kit/panel/ChineseCandidateLayout.h"

namespace sorvane {

class ChineseCandidateView final : public QWidget, public PanelContentView {
    Q_OBJECT
public:
    explicit ChineseCandidateView(const TextMetrics& metrics, QWidget* parent = nullptr);

    const std::optional<ChinesePanelModel>& model() const { return model_; }
    void setModel(ChinesePanelModel model);

    Size desiredContentSize() const override;

    // Draws a computed layout; shared with the benchmark and the tests.
    static void paintLayout(QPainter& painter, const ChineseCandidateLayout& layout,
                            const PanelPalette& palette);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The current model's layout: measured for the panel's size, then drawn
    // as it stands.
    const ChineseCandidateLayout& pageLayout() const;

    const TextMetrics& metrics_;
    std::optional<ChinesePanelModel> model_;
    mutable std::optional<ChineseCandidateLayout> pageLayout_;
};

}  // namespace sorvane
