#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>

#include "app/panels/ModeHUD.h"
#include "app/update/UpdateToast.h"
#include "tests/app/panels/PanelTestSupport.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempHome.h"
#include "tests/support/VirtualTime.h"

namespace sorvane {
namespace {

using namespace std::chrono_literals;

UpdateRelease release(std::string version, std::optional<std::string> notes = std::nullopt) {
    UpdateRelease r;
    r.version = std::move(version);
    r.notes = std::move(notes);
    return r;
}

class UpdateToastTest : public ::testing::Test {
protected:
    void SetUp() override { testing::panelTestApp(); }

    UpdateToast make(std::function<void()> openAbout = {}) {
        return UpdateToast({time_, time_, screens_, std::move(openAbout), ModeHUD::englishIconResource});
    }

    testing::VirtualTime time_;
    testing::FakeScreens screens_ = testing::FakeScreens::laptop();
};

TEST_F(UpdateToastTest, SitsTopRightAndInstallOpensAboutEvenWhenThatFails) {
    testing::ScopedLogCapture log;
    int opened = 0;
    UpdateToast toast({time_, time_, screens_, [&] { ++opened; }, ModeHUD::englishIconResource});
    toast.show(release("1.2.3", "· 更快的候选框\n第二行"));
    EXPECT_TRUE(toast.window().isVisible());
    EXPECT_FALSE(toast.window().isActiveWindow());
    const Rect visible = screens_.list.front().visibleFrame;
    EXPECT_EQ(toast.frame(),
              (Rect{visible.x + visible.width - 352, visible.y + visible.height - 88, 340, 76}));
    EXPECT_EQ(toast.titleLabel().toolTip(), "Sorvane输入法 1.2.3 已下载");
    EXPECT_EQ(toast.detailLabel().text(), "更快的候选框");
    EXPECT_EQ(toast.detailLabel().toolTip(), "· 更快的候选框\n第二行");

    toast.installButton().click();
    EXPECT_EQ(opened, 1);
    EXPECT_TRUE(log->contains("[Sorvane] update: toast 安装… → settings about"));
    EXPECT_EQ(toast.timeline().counting(), false);
}

TEST_F(UpdateToastTest, RendersBothAppearancesWithTransparentCorners) {
    auto toast = make();
    for (bool dark : {false, true}) {
        const auto png = toast.renderPNG(release("1.2.3"), dark, 2.0);
        ASSERT_TRUE(png);
        const QImage image = QImage::fromData(*png, "PNG");
        ASSERT_EQ(image.size(), QSize(680, 152));
        EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);
        EXPECT_EQ(image.pixelColor(679, 151).alpha(), 0);
        EXPECT_EQ(image.pixelColor(340, 4).alpha(), 255);
        EXPECT_EQ(image.pixelColor(100, 140).lightness() < 128, dark);
    }
    EXPECT_FALSE(toast.renderPNG(release("1"), false, 0));

    testing::TempDir dir;
    // A folder where the dark file should go: that one fails, the light one is written.
    std::filesystem::create_directory(dir.path() / "update-toast-dark.png");
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(UpdateToast::renderPreviews(dir.path()));
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "render-update-toast light -> " + (dir.path() / "update-toast-light.png").string() +
                       "\nrender-update-toast dark FAILED\n");
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(UpdateToast::renderPreviews("/proc/no-such/folder"));
    EXPECT_TRUE(::testing::internal::GetCapturedStdout().starts_with("render-update-toast: "));
}

TEST_F(UpdateToastTest, TheCommandWritesBothPreviews) {
    testing::TempDir dir;
    const auto folder = dir.path() / "made";
    const auto r = testing::ChildProcess::run(SORVANE_EXECUTABLE, {"--render-update-toast", folder.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    for (const std::string name : {"light", "dark"}) {
        const auto file = folder / ("update-toast-" + name + ".png");
        EXPECT_NE(r.out.find("render-update-toast " + name + " -> " + file.string() + "\n"),
                  std::string::npos)
            << r.out;
        const QImage image(QString::fromStdString(file.string()));
        ASSERT_EQ(image.size(), QSize(680, 152)) << name;
        EXPECT_EQ(image.pixelColor(1, 1).alpha(), 0) << name;
        EXPECT_EQ(image.pixelColor(340, 76).alpha(), 255) << name;
    }
    const auto failed =
        testing::ChildProcess::run(SORVANE_EXECUTABLE, {"--render-update-toast", "/proc/none/x"});
    EXPECT_EQ(failed.status, 1);
}

}  // namespace
}  // namespace sorvane
