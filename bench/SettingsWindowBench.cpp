// What opening the settings window costs before the user sees it: the live
// model built, the root view made on the hotkeys page and its first frame
// painted offscreen at device pixel ratio 2; beside it, in the same loop and
// alternating which goes first, a plain widget of the same size painted the
// same way, the floor that Qt itself sets ("ratio" is the window's over it).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QImage>
#include <filesystem>
#include <string>

#include "app/settings/SettingsRootView.h"
#include "app/settings/UrlOpener.h"
#include "bench/KeyTimes.h"
#include "bench/WidgetBenchMain.h"
#include "platform/qt/QtMainQueue.h"

namespace sorvane {
namespace {

constexpr QSize kWindow{760, 780};

void paintFirstFrame(QWidget& widget) {
    widget.resize(kWindow);
    widget.setAttribute(Qt::WA_DontShowOnScreen);
    widget.show();
    QImage image(kWindow * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Qt::transparent);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    benchmark::DoNotOptimize(image.constBits());
}

void BM_SettingsWindowHotkeysFirstFrameOverPlainWidget(benchmark::State& state) {
    const auto settingsWindow = [] {
        auto model = SettingsModel::live(SettingsPage::hotkeys, QtMainQueue::shared());
        SettingsRootView view(*model, UrlOpener::live());
        paintFirstFrame(view);
    };
    const auto plainWidget = [] {
        QWidget plain;
        plain.setAutoFillBackground(true);
        paintFirstFrame(plain);
    };
    bench::alternate(state, "settings_window", settingsWindow, "plain_widget", plainWidget);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SettingsWindowHotkeysFirstFrameOverPlainWidget)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace sorvane

int main(int argc, char** argv) {
    // The live model reads the user's settings: give it a HOME of its own.
    std::string home = (std::filesystem::temp_directory_path() / "sorvane-bench-settings-XXXXXX").string();
    if (!mkdtemp(home.data())) return 1;
    setenv("HOME", home.c_str(), 1);
    return sorvane::bench::runWidgetBenchmarks(argc, argv, [&home] { std::filesystem::remove_all(home); });
}
