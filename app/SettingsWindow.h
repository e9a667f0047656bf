#pragma once
// The settings window process: the executable started with --settings [page]
// or --account. One window per user at a time: a process that finds the lock
// taken forwards its page to the open window and ends. The window itself
// ends the process when it closes. Main thread only.
#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>

#include "kit/SettingsPage.h"

class QMenuBar;

namespace sorvane::SettingsWindow {

inline constexpr std::string_view lockFileName = "cn.kestrum.inputmethod.Sorvane.settings.lock";
inline constexpr std::string_view windowTitle = "Sorvane输入法";

// In the user's runtime folder: a shared temporary folder would let another
// user plant the file or a link in its place.
std::filesystem::path lockPath();

// Takes the lock (or forwards the page and returns 0), shows the window on
// `page` and runs the event loop until the window closes or the process is
// told to quit (SIGTERM included); then 0. Uses the application object that
// exists, else makes its own.
int run(SettingsPage page);

// The application's menus (about, hide, quit; edit; window), with Ctrl where
// the system's own menus use Command. Items without a target act on the
// active window or its focused widget.
std::unique_ptr<QMenuBar> mainMenu(std::function<void()> showAbout);

}  // namespace sorvane::SettingsWindow
