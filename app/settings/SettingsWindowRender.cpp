// Offscreen renders of the settings window: the root view over a preview
// model, laid out and drawn without ever reaching the screen.
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QPalette>
#include <iostream>

#include "app/cli/RenderedFile.h"
#include "app/server/GuiApplication.h"
#include "app/settings/SettingsRootView.h"
#include "app/settings/SettingsWindow.h"
#include "app/settings/UrlOpener.h"
#include "app/settings/style/SettingsTheme.h"
#include "platform/qt/QtMainQueue.h"

namespace sorvane::SettingsWindow {
namespace {

struct Variant {
    std::string_view suffix;
    bool dark;
    double width;
    double height;
};

constexpr Variant kVariants[] = {
    {"", false, 760, 780},
    {"-dark", true, 760, 780},
    {"-full", false, 760, 1500},
    {"-narrow", false, 620, 1500},
};

constexpr double kPixelRatio = 2;
constexpr int kPasses = 5;
constexpr int kPassMs = 100;

// Timers, deferred deletions and layout requests of the pages are served as
// in a window: the page replaced at start is gone, the charts are laid out.
void runEventLoopFor(int milliseconds) {
    QElapsedTimer elapsed;
    elapsed.start();
    for (qint64 left = milliseconds; left > 0; left = milliseconds - elapsed.elapsed()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, int(left));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// The controls the toolkit draws itself (pop-up buttons, check boxes, text
// fields) take the appearance from the palette, as the window's do from the
// system's.
QPalette paletteOfAppearance() {
    QPalette palette = QApplication::palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Window, SettingsTheme::background());
        palette.setColor(group, QPalette::WindowText, SettingsTheme::label());
        palette.setColor(group, QPalette::Base, SettingsTheme::controlBackground());
        palette.setColor(group, QPalette::AlternateBase, SettingsTheme::card());
        palette.setColor(group, QPalette::Text, SettingsTheme::label());
        palette.setColor(group, QPalette::Button, SettingsTheme::controlBackground());
        palette.setColor(group, QPalette::ButtonText, SettingsTheme::label());
        palette.setColor(group, QPalette::PlaceholderText, SettingsTheme::tertiaryLabel());
        palette.setColor(group, QPalette::Highlight, SettingsTheme::blue());
    }
    palette.setColor(QPalette::Disabled, QPalette::Text, SettingsTheme::tertiaryLabel());
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, SettingsTheme::tertiaryLabel());
    return palette;
}

void printLine(const std::string& line) {
    std::cout << line << '\n' << std::flush;
}

}  // namespace

std::optional<std::vector<char>> renderPNG(SettingsModel& model, bool dark, double height, double width) {
    GuiApplication::ensure();
    const SettingsAppearance before = SettingsTheme::appearance();
    SettingsTheme::setAppearance(dark ? SettingsAppearance::dark : SettingsAppearance::light);
    std::optional<std::vector<char>> png;
    {
        SettingsRootView view(model, UrlOpener::live());
        if (dark) view.setPalette(paletteOfAppearance());
        view.setAttribute(Qt::WA_DontShowOnScreen);
        view.resize(int(width), int(height));
        // Shown to the toolkit only, so every page lays itself out as in a window.
        view.show();
        for (int pass = 0; pass < kPasses; ++pass) {
            runEventLoopFor(kPassMs);
            view.repaint();
        }
        QImage image(QSize(int(width * kPixelRatio), int(height * kPixelRatio)),
                     QImage::Format_ARGB32_Premultiplied);
        if (!image.isNull()) {
            image.setDevicePixelRatio(kPixelRatio);
            image.fill(Qt::transparent);
            view.render(&image);
            QByteArray bytes;
            QBuffer buffer(&bytes);
            if (buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "PNG"))
                png = std::vector<char>(bytes.begin(), bytes.end());
        }
        view.hide();
    }
    SettingsTheme::setAppearance(before);
    return png;
}

bool render(const std::vector<SettingsPreviews::State>& states, const std::filesystem::path& directory,
            std::string_view prefix) {
    if (states.empty()) return true;
    GuiApplication::ensure();
    std::error_code ignored;  // each write below then fails and says so
    std::filesystem::create_directories(directory, ignored);
    bool allWritten = true;
    for (const auto& state : states) {
        for (const auto& variant : kVariants) {
            const std::string name = state.name + std::string(variant.suffix);
            const auto path = directory / (std::string(prefix) + "-" + name + ".png");
            const auto png = renderPNG(*state.model, variant.dark, variant.height, variant.width);
            if (!png || !RenderedFile::write(path, std::string_view(png->data(), png->size()))) {
                printLine("render-settings " + name + " FAILED");
                allWritten = false;
                continue;
            }
            printLine("render-settings " + name + " -> " + path.string());
        }
    }
    return allWritten;
}

bool renderAccountPreviews(const std::filesystem::path& directory) {
    GuiApplication::ensure();
    auto all = SettingsPreviews::states(QtMainQueue::shared());
    std::vector<SettingsPreviews::State> account;
    for (auto& state : all)
        if (state.name.rfind("account", 0) == 0) account.push_back(std::move(state));
    return render(account, directory, "settings");
}

}  // namespace sorvane::SettingsWindow
