#pragma once
// The application object and made-up screens for the panel tests.
#include <QApplication>
#include <optional>
#include <vector>

#include "kit/panel/PanelGeometry.h"

namespace sorvane::testing {

// One per test process (every test runs in its own); made on first use.
inline QApplication& panelTestApp() {
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return *existing;
    static int argc = 1;
    static char name[] = "tests_app";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

class FakeScreens final : public ScreenProvider {
public:
    std::vector<ScreenDescription> list;
    std::optional<ScreenDescription> main;
    Point mouse{0, 0};

    // One 1440 × 900 screen, with a 25-point bar on top and a 70-point dock.
    static FakeScreens laptop() {
        FakeScreens screens;
        screens.list = {{{0, 0, 1440, 900}, {0, 70, 1440, 805}}};
        screens.main = screens.list.front();
        return screens;
    }

    std::vector<ScreenDescription> screens() const override { return list; }
    std::optional<ScreenDescription> mainScreen() const override { return main; }
    Point mouseLocation() const override { return mouse; }
};

}  // namespace sorvane::testing
