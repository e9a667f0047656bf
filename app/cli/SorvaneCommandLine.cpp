#include "app/cli/SorvaneCommandLine.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <set>
#include <string_view>
#include <utility>

#include "app/cli/CommandLineOptions.h"
#include "app/cli/RegistrationOptions.h"
#include "app/server/EngineBootstrap.h"
#include "app/server/GuiApplication.h"
#include "app/settings/SettingsWindow.h"
#include "app/update/UpdateCenter.h"
#include "app/update/UpdateToast.h"
#include "kit/english/DecimalWord.h"
#include "platform/Keychain.h"
#include "platform/SorvaneLog.h"
#include "platform/files/Files.h"
#include "platform/qt/QtMainQueue.h"

namespace sorvane::SorvaneCommandLine {
namespace {

// Descriptions start in column 24; an option text over 19 characters gets
// exactly two spaces instead.
std::string optionLine(const std::string& option, const std::string& description) {
    const std::size_t pad = option.size() > 19 ? 2 : 21 - option.size();
    return "  " + option + std::string(pad, ' ') + description;
}

// `[dir]`: the first word as a path against the current folder, else the
// current folder itself.
void writeRaw(std::FILE* stream, const std::string& bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

// A diagnostic of the run: the window logs it; a command says it on
// standard error, with its other diagnostics.
void report(const std::string& option, std::string_view line) {
    if (option == "--settings" || option == "--account" || option == "--account-demo") {
        SorvaneLog::log("[Sorvane] " + std::string(line));
    } else {
        writeRaw(stderr, std::string(line) + "\n");
    }
}

// Outside the server no keychain call may hold a command or the settings
// window for long: a Secret Service that never answers costs one short wait,
// then fails every later call at once.
void boundKeychain(const std::string& option) {
    KeychainAccess::setShared(std::make_shared<SecretServiceKeychain>(
        SecretServiceKeychain::answerLimit, [option](std::string_view line) { report(option, line); }));
}

// The options that read or write the user's files: the input-source registry
// and preferences, the settings window's files and lock, the update state,
// the route state. The renders, demos and checks work on files of their own.
bool touchesStoredFiles(const std::string& option) {
    static const std::set<std::string_view> options = {
        "--install",        "--register", "--enable",  "--disable",      "--select",
        "--restore",        "--current",  "--status",  "--list",         "--ensure-enabled",
        "--remove-enabled", "--settings", "--account", "--check-update", "--account-status"};
    return options.contains(option);
}

}  // namespace

std::string helpText() {
    static const std::pair<const char*, const char*> rows[] = {
        {"--install", "TISRegisterInputSource(this bundle)"},
        {"--enable", "enable the Sorvane input mode"},
        {"--disable", "disable it"},
        {"--select", "make it the active keyboard input source"},
        {"--restore <id>", "select the given input source ID (e.g. com.apple.keylayout.ABC)"},
        {"--current", "print the current keyboard input source ID"},
        {"--status", "print registered/enabled/selected + ghost-test flag"},
        {"--list", "print every installed input source ID"},
        {"--ensure-enabled", "TIS enable + merge into the system enabled list (installer)"},
        {"--remove-enabled", "disable + drop from the system enabled list (uninstaller)"},
        {"--settings [page]",
         "unified window; page = welcome|service|ownKey|hotkeys|general|privacy|about|account"},
        {"--account", "the unified window on its account page"},
        {"--render-settings [dir]", "PNGs of every settings page and account state (offscreen)"},
        {"--check-update", "ask the update feed now"},
        {"--account-demo [s]", "the account window with preview data, closed after s seconds"},
        {"--account-status", "which route English prediction takes (no secrets printed)"},
        {"--render-account [dir]", "write settings-account-{signed-out,signed-in}*.png (offscreen)"},
        {"--quit", "terminate running SorvaneIME processes"},
        {"--engine-check", "start librime from this bundle, type nihao, print candidate 1"},
        {"--panel-demo [x y] [s]", "show the candidate panel at a fake caret rect"},
        {"--render-hud [dir]", "write hud-{chinese,english,ascii}.png of the mode HUD tile (offscreen)"},
        {"--render-update-toast [dir]",
         "write update-toast-{light,dark}.png of the update toast (offscreen)"},
    };
    std::string text = "SorvaneIME (Sorvane输入法) — Phase 0 shell\n\n";
    for (const auto& [option, description] : rows) text += optionLine(option, description) + "\n";
    text += "\nWith no arguments the process starts the IMKServer; only TextInputSources\nshould do that.";
    return text;
}

double accountDemoSeconds(const std::vector<std::string>& rest) {
    const auto seconds = rest.empty() ? std::nullopt : DecimalWord::read(rest.front());
    return seconds.value_or(5.0);
}

int run(const std::vector<std::string>& arguments) {
    const std::string& option = arguments.front();
    const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
    // Never kept in a shared folder instead, where another user could read
    // them or make our folders first.
    if (touchesStoredFiles(option)) {
        if (const auto home = Files::findHomeDirectory(); !home) {
            report(option, "no home folder found: " + home.error().description());
            return kFailure;
        }
    }
    // In the order the options are documented: the first whole match wins.
    if (auto status = RegistrationOptions::run(option, rest)) return *status;
    if (option == "--settings") {
        const auto page = rest.empty() ? std::nullopt : settingsPageFromRaw(rest.front());
        return SettingsWindow::run(page.value_or(SettingsPage::welcome));
    }
    if (option == "--account") return SettingsWindow::run(SettingsPage::account);
    if (option == "--render-settings") {
        GuiApplication::ensure();
        const auto states = SettingsPreviews::states(QtMainQueue::shared());
        return SettingsWindow::render(states, CommandLineOptions::directoryArgument(rest), "settings")
                   ? kSuccess
                   : kFailure;
    }
    if (option == "--check-update") return UpdateCenter::runCheckCLI(rest);
    if (option == "--render-update-toast")
        return UpdateToast::renderCommand(CommandLineOptions::directoryArgument(rest));
    if (option == "--account-demo")
        return SettingsWindow::runDemo(SettingsPage::account, accountDemoSeconds(rest));
    if (option == "--account-status") return CommandLineOptions::printAccountStatus();
    if (option == "--render-account")
        return SettingsWindow::renderAccountPreviews(CommandLineOptions::directoryArgument(rest)) ? kSuccess
                                                                                                  : kFailure;
    if (option == "--quit") return CommandLineOptions::quit();
    if (option == "--engine-check") return EngineBootstrap::runCheck(rest);
    if (option == "--panel-demo") return CommandLineOptions::runPanelDemo(rest);
    if (option == "--render-hud") return CommandLineOptions::renderHud(rest);
    if (option == "--help" || option == "-h") {
        std::cout << helpText() << '\n' << std::flush;
        return kSuccess;
    }
    writeRaw(stderr, "unknown argument: " + option + "\n" + helpText() + "\n");
    return kUsage;
}

bool handleIfPresent(const std::vector<std::string>& arguments) {
    if (arguments.empty()) return false;
    boundKeychain(arguments.front());
    const int status = run(arguments);
    std::cout.flush();
    std::exit(status);
}

}  // namespace sorvane::SorvaneCommandLine
