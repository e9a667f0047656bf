// One candidate panel update as the composer causes it after a key: the model
// in, the layout for the size, the window placed, and the page painted into
// an offscreen image at device pixel ratio 2 (the layout computed again, as
// drawing does). Reported as time per update.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>

#include "app/panels/CandidatePanel.h"
#include "app/panels/QtScreens.h"
#include "bench/WidgetBenchMain.h"
#include "platform/qt/QtMainQueue.h"

namespace sorvane {
namespace {

ChinesePanelModel chinesePage(int highlighted, ChinesePanelLayout layout) {
    static const char* texts[] = {"你好", "尼豪", "拟好", "你", "呢", "妮",
                                  "泥",   "倪",   "腻",   "逆", "溺", "匿"};
    const int count = layout == ChinesePanelLayout::vertical ? 12 : 6;
    std::vector<ChineseCandidate> candidates;
    for (int i = 0; i < count; ++i) {
        candidates.push_back({std::to_string(i % 6 + 1), texts[i],
                              i == 1 ? std::optional<std::string>("ní háo") : std::nullopt});
    }
    return ChinesePanelModel("ni hao", candidates, highlighted, 1, false, layout);
}

void paintUpdate(benchmark::State& state, CandidatePanel& panel, const PanelContent& content) {
    panel.show(content, {400, 500, 1, 18});
    QWidget& view = panel.candidateView();
    QImage image(view.size() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Qt::transparent);
    view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    benchmark::DoNotOptimize(image.constBits());
    state.counters["width"] = view.width();
}

CandidatePanel& benchPanel() {
    // Never destroyed: windows must not outlive the application object.
    static auto* panel =
        new CandidatePanel({QtMainQueue::shared(), QtScreenProvider::shared(), QtTextMetrics::shared()});
    return *panel;
}

void BM_PanelUpdateChineseRow(benchmark::State& state) {
    int key = 0;
    for (auto _ : state) {
        paintUpdate(state, benchPanel(),
                    PanelContent::chinese(chinesePage(key++ % 6, ChinesePanelLayout::horizontal)));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PanelUpdateChineseRow)->Unit(benchmark::kMicrosecond);

void BM_PanelUpdateChineseGrid(benchmark::State& state) {
    int key = 0;
    for (auto _ : state) {
        paintUpdate(state, benchPanel(),
                    PanelContent::chinese(chinesePage(key++ % 12, ChinesePanelLayout::vertical)));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PanelUpdateChineseGrid)->Unit(benchmark::kMicrosecond);

void BM_PanelUpdateEnglishSuggestion(benchmark::State& state) {
    const std::string words[] = {"How are", "How are you", "How are you doing"};
    int key = 0;
    for (auto _ : state) {
        const EnglishPanelModel model(words[key++ % 3], " today? Let me know.", false, "how r u",
                                      EnglishPanelPhase::suggestion(), AcceptKeys::tabNormalized);
        paintUpdate(state, benchPanel(), PanelContent::english(model));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PanelUpdateEnglishSuggestion)->Unit(benchmark::kMicrosecond);

// What the key handler itself pays: model in, layout for the size, window
// placed. The paint follows on the event loop, once per frame however many
// updates came before it.
void BM_PanelShowOnlyChineseGrid(benchmark::State& state) {
    int key = 0;
    for (auto _ : state) {
        benchPanel().show(PanelContent::chinese(chinesePage(key++ % 12, ChinesePanelLayout::vertical)),
                          {400, 500, 1, 18});
    }
}
BENCHMARK(BM_PanelShowOnlyChineseGrid)->Unit(benchmark::kMicrosecond);

// The painting alone: an unchanged page drawn again.
void BM_PanelPaintOnlyChineseGrid(benchmark::State& state) {
    CandidatePanel& panel = benchPanel();
    panel.show(PanelContent::chinese(chinesePage(3, ChinesePanelLayout::vertical)), {400, 500, 1, 18});
    QWidget& view = panel.candidateView();
    QImage image(view.size() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    for (auto _ : state) {
        image.fill(Qt::transparent);
        view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_PanelPaintOnlyChineseGrid)->Unit(benchmark::kMicrosecond);

// The layout alone (one of the two per update), with Qt's measurement.
void BM_ChineseGridLayoutOnly(benchmark::State& state) {
    int key = 0;
    for (auto _ : state) {
        const auto layout = layoutChineseCandidates(chinesePage(key++ % 12, ChinesePanelLayout::vertical),
                                                    QtTextMetrics::shared());
        benchmark::DoNotOptimize(layout.size);
    }
}
BENCHMARK(BM_ChineseGridLayoutOnly)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace sorvane

int main(int argc, char** argv) {
    return sorvane::bench::runWidgetBenchmarks(argc, argv);
}
