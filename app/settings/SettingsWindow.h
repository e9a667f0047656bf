#pragma once
// The settings window process: the executable started with --settings [page]
// or --account. One window per user at a time: a process that finds the lock
// taken forwards its page to the open window and ends. The window itself
// ends the process when it closes. Main thread only.
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "kit/settings/SettingsPage.h"
#include "kit/settings/SettingsPreviews.h"

class QMenuBar;

namespace sorvane::SettingsWindow {

inline constexpr std::string_view lockFileName = "cn.kestrum.inputmethod.Sorvane.settings.lock";
inline constexpr std::string_view windowTitle = "Sorvane输入法";

// In the user's runtime folder, which no other user may write to: in a
// shared temporary folder another user could plant the file, hold its lock
// and keep every window of ours from opening.
std::filesystem::path lockPath();

// Takes the lock (or forwards the page and returns 0), shows the window on
// `page` and runs the event loop until the window closes or the process is
// told to quit (SIGTERM included); then 0. Uses the application object that
// exists, else makes its own.
int run(SettingsPage page);

// A preview model on `page` (signed out, default settings) in a live window
// that closes itself `seconds` after it is first shown; 0 or less closes it
// right away. The status of the window process.
int runDemo(SettingsPage page, double seconds);

// The root view over `model` drawn offscreen, never shown on screen, at
// width x height points, light or dark, as PNG at twice that in pixels; none
// when it cannot be drawn or encoded.
std::optional<std::vector<char>> renderPNG(SettingsModel& model, bool dark, double height, double width);

// Four images of each state into `directory` (made when missing), one line
// on standard output per image: "render-settings <name><variant> -> <path>"
// or "... FAILED". True when every image was written.
bool render(const std::vector<SettingsPreviews::State>& states, const std::filesystem::path& directory,
            std::string_view prefix);
// The account page's states only, with the prefix "settings".
bool renderAccountPreviews(const std::filesystem::path& directory);

// The application's menus (about, hide, quit; edit; window), with Ctrl where
// the system's own menus use Command. Items without a target act on the
// active window or its focused widget.
std::unique_ptr<QMenuBar> mainMenu(std::function<void()> showAbout);

}  // namespace sorvane::SettingsWindow
