#include "app/cli/CommandLineOptions.h"

#include <signal.h>

#include <QApplication>
#include <QTimer>
#include <filesystem>
#include <iostream>

#include "app/cli/RenderedFile.h"
#include "app/cli/SorvaneCommandLine.h"
#include "app/panels/CandidatePanel.h"
#include "app/panels/ModeHUD.h"
#include "app/panels/QtScreens.h"
#include "app/server/GuiApplication.h"
#include "app/server/SorvaneApp.h"
#include "kit/account/AccountAPI.h"
#include "kit/account/AccountCredentials.h"
#include "kit/english/DecimalWord.h"
#include "kit/route/MacRouting.h"
#include "platform/Bundle.h"
#include "platform/files/Files.h"
#include "platform/process/RunningProcesses.h"

namespace sorvane::CommandLineOptions {
namespace {

namespace fs = std::filesystem;

void printLine(const std::string& line) {
    std::cout << line << '\n' << std::flush;
}

void printError(const std::string& line) {
    std::cerr << line << '\n' << std::flush;
}

std::string describe(const Rect& rect) {
    std::string text = "(";
    text.append(DecimalWord::format(rect.x)).append(", ").append(DecimalWord::format(rect.y)).append(", ");
    text.append(DecimalWord::format(rect.width)).append(", ").append(DecimalWord::format(rect.height));
    return text + ")";
}

}  // namespace

fs::path directoryArgument(const std::vector<std::string>& rest) {
    std::error_code ec;
    const fs::path dir = rest.empty() ? fs::current_path(ec) : fs::path(rest.front());
    return fs::absolute(dir, ec);
}

int printAccountStatus() {
    const AccountCredentials& credentials = AccountCredentials::live();
    printLine("api=" + AccountAPI::baseURL());
    printLine(std::string("deviceID=") + (credentials.existingDeviceID() ? "present" : "none") +
              " token=" + (credentials.token() ? "present" : "none"));
    const auto route = MacRouting::resolveRoute();
    if (!route) {
        printLine("route=none");
        printLine("reason=" + MacRouting::noRouteReason());
    } else {
        printLine(std::string("route=") +
                  (route->kind() == PredictionRoute::Kind::ownKey ? "ownKey" : "credits"));
    }
    return SorvaneCommandLine::kSuccess;
}

int runPanelDemo(const std::vector<std::string>& rest) {
    QApplication& app = GuiApplication::ensure();
    // The panel is a tool window: no taskbar entry, like an accessory application.
    const auto screen = QtScreenProvider::shared().mainScreen();
    const Rect visible = screen ? screen->visibleFrame : PanelGeometry::fallbackVisibleFrame;

    std::vector<double> numbers;
    for (const auto& word : rest)
        if (const auto number = DecimalWord::read(word)) numbers.push_back(*number);
    Point caret{visible.x + visible.width / 2, visible.y + visible.height / 2};
    double seconds = 4.0;
    if (numbers.size() >= 2) {
        caret = {numbers[0], numbers[1]};
        if (numbers.size() >= 3) seconds = numbers[2];
    } else if (numbers.size() == 1) {
        seconds = numbers[0];
    }
    const Rect caretRect{caret.x, caret.y, 1, 18};
    printLine("panel-demo caret=" + describe(caretRect) + " for " + DecimalWord::format(seconds) +
              "s (screen visibleFrame " + describe(visible) + ")");

    CandidatePanel& panel = CandidatePanel::shared();
    panel.show(PanelContent::chinese(
                   ChinesePanelModel("ni hao", {{"1", "你好", std::nullopt}, {"2", "尼豪", std::nullopt}}, 0,
                                     0, true, ChinesePanelLayout::horizontal)),
               caretRect);
    printLine("panel frame=" + describe(panel.frame()) +
              " visible=" + (panel.isVisible() ? "true" : "false"));

    // A negative or zero duration ends the loop as soon as it starts.
    const double milliseconds = std::clamp(seconds * 1000.0, 0.0, double(INT32_MAX));
    QTimer::singleShot(int(milliseconds), &app, &QCoreApplication::quit);
    app.exec();
    if (panel.isVisible()) panel.hide();
    return SorvaneCommandLine::kSuccess;
}

int renderHud(const std::vector<std::string>& rest) {
    const fs::path dir = directoryArgument(rest);
    // Made as the other renders make theirs; when it cannot be, no file can.
    const auto folder = Files::createDirectories(dir);
    if (!folder) printError("render-hud: " + folder.error().description());
    GuiApplication::ensure();
    bool allWritten = true;
    for (const auto& [mode, name] :
         {std::pair{InputMode::chinese, "chinese"}, std::pair{InputMode::english, "english"},
          std::pair{InputMode::ascii, "ascii"}}) {
        const fs::path file = dir / (std::string("hud-") + name + ".png");
        bool written = false;
        if (const auto png = folder ? ModeHUD::shared().renderPNG(mode, 2.0) : std::nullopt) {
            const auto saved = RenderedFile::write(file, std::string_view(png->constData(), png->size()));
            if (!saved) printError("render-hud: " + saved.error().description());
            written = bool(saved);
        }
        if (written) {
            printLine(std::string("render-hud ") + name + " -> " + file.string());
        } else {
            printLine(std::string("render-hud ") + name + " FAILED");
            allWritten = false;
        }
    }
    return allWritten ? SorvaneCommandLine::kSuccess : SorvaneCommandLine::kFailure;
}

int quit() {
    const std::string bundleIdentifier =
        Bundle::main().identifier.value_or(SorvaneApp::kDefaultBundleIdentifier);
    // A polite request, as a quit from the menu: each process finishes its own
    // closing steps. Nothing waits for them.
    for (const pid_t pid : RunningProcesses::ofBundle(bundleIdentifier)) ::kill(pid, SIGTERM);
    printLine("quit " + bundleIdentifier);
    return SorvaneCommandLine::kSuccess;
}

}  // namespace sorvane::CommandLineOptions
