#pragma once
// The process's one Qt application object for the command-line options that
// draw (renders, the panel demo). Made on first use; on a machine without a
// display it runs on the offscreen platform, so renders work over ssh and in CI.
class QApplication;

namespace sorvane::GuiApplication {

QApplication& ensure();

}  // namespace sorvane::GuiApplication
