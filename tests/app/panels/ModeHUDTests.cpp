#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QLineEdit>

#include "app/panels/ModeHUD.h"
#include "app/panels/QtScreens.h"
#include "tests/app/panels/PanelTestSupport.h"
#include "tests/support/TempHome.h"
#include "tests/support/VirtualTime.h"

namespace sorvane {
namespace {

using namespace std::chrono_literals;
using testing::FakeScreens;
using testing::panelTestApp;
using testing::TempDir;
using testing::VirtualTime;

QImage decode(const std::optional<QByteArray>& png) {
    if (!png) return {};
    return QImage::fromData(*png, "PNG");
}

// Pixels within a tile rectangle (points, y-down) that are nearly white.
int whitePixels(const QImage& image, QRectF points, double scale) {
    int count = 0;
    for (int y = int(points.top() * scale); y < int(points.bottom() * scale); ++y) {
        for (int x = int(points.left() * scale); x < int(points.right() * scale); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() > 200 && c.red() > 200 && c.green() > 200 && c.blue() > 200) ++count;
        }
    }
    return count;
}

TEST(ModeHUD, RenderPNGWritesTheThreeModeTiles) {
    panelTestApp();
    TempDir dir;
    ModeHUD& hud = ModeHUD::shared();
    for (InputMode mode : {InputMode::chinese, InputMode::english, InputMode::ascii}) {
        const auto png = hud.renderPNG(mode, 2.0);
        ASSERT_TRUE(png) << inputModeName(mode);
        const QString path = QString::fromStdString(
            (dir.path() / ("hud-" + std::string(inputModeName(mode)) + ".png")).string());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(*png), png->size());
        file.close();

        QImage image(path);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(128, 120)) << inputModeName(mode);
        EXPECT_TRUE(image.hasAlphaChannel());
        // Rounded corners are transparent; the tile's middle is dark and
        // mostly opaque (white 0.12 at 0.82).
        EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);
        EXPECT_EQ(image.pixelColor(127, 119).alpha(), 0);
        const QColor edge = image.pixelColor(2, 60);  // left edge, clear of glyph and caption
        EXPECT_NEAR(edge.alpha(), 209, 2);
        EXPECT_NEAR(edge.red(), 31, 2);
        // Something white is drawn where the glyph or icon stands, and in the caption.
        EXPECT_GT(whitePixels(image, QRectF(0, 6, 64, 34), 2), 30) << inputModeName(mode);
    }
    EXPECT_FALSE(hud.isVisible());  // rendering never shows the window
}

TEST(ModeHUD, EnglishTileUsesTheIconAndFallsBackToTheGlyph) {
    panelTestApp();
    VirtualTime time;
    FakeScreens screens = FakeScreens::laptop();

    ModeHUD withIcon({time, screens});
    const QImage icon = decode(withIcon.renderPNG(InputMode::english, 2));
    EXPECT_TRUE(withIcon.face().showsIcon);

    ModeHUD withoutIcon({time, screens, QStringLiteral(":/sorvane/no-such-icon.svg")});
    const QImage glyph = decode(withoutIcon.renderPNG(InputMode::english, 2));
    EXPECT_FALSE(withoutIcon.face().showsIcon);
    EXPECT_EQ(withoutIcon.face().glyph, "英");

    ASSERT_FALSE(icon.isNull());
    ASSERT_FALSE(glyph.isNull());
    EXPECT_NE(icon, glyph);
    // Captions agree; the upper part differs.
    EXPECT_EQ(icon.copy(0, 84, 128, 24), glyph.copy(0, 84, 128, 24));
    // The icon is drawn in white inside its 34-point square only.
    EXPECT_GT(whitePixels(icon, QRectF(15, 6, 34, 34), 2), 50);
    EXPECT_EQ(whitePixels(icon, QRectF(0, 6, 14, 34), 2), 0);
}

TEST(ModeHUD, RenderPNGAtOtherScalesAndRefusesNonsense) {
    panelTestApp();
    VirtualTime time;
    FakeScreens screens = FakeScreens::laptop();
    ModeHUD hud({time, screens});
    EXPECT_EQ(decode(hud.renderPNG(InputMode::ascii, 1)).size(), QSize(64, 60));
    EXPECT_EQ(decode(hud.renderPNG(InputMode::ascii, 3)).size(), QSize(192, 180));
    EXPECT_FALSE(hud.renderPNG(InputMode::ascii, 0));
    EXPECT_FALSE(hud.renderPNG(InputMode::ascii, -2));
}

TEST(ModeHUD, ShowHoldsFadesAndHidesOnTheQueue) {
    panelTestApp();
    QLineEdit editor;
    editor.show();
    editor.activateWindow();
    editor.setFocus();
    QApplication::processEvents();

    VirtualTime time;
    FakeScreens screens = FakeScreens::laptop();
    ModeHUD hud({time, screens});
    hud.show(InputMode::ascii, {300, 500, 1, 18});
    EXPECT_TRUE(hud.isVisible());
    EXPECT_EQ(hud.face().glyph, "A");
    EXPECT_EQ(hud.frame(), (Rect{300, 500 - 6 - 60, 64, 60}));
    EXPECT_EQ(hud.window().geometry(), QtScreenProvider::toQt(hud.frame()));
    EXPECT_EQ(QApplication::focusWidget(), &editor);
    EXPECT_FALSE(hud.window().isActiveWindow());

    time.advance(500ms);
    hud.show(InputMode::chinese, {300, 500, 1, 18});
    time.advance(800ms);  // 0.8 s after the second show: fading, still up
    EXPECT_TRUE(hud.isVisible());
    time.advance(250ms);
    EXPECT_FALSE(hud.isVisible());
    EXPECT_DOUBLE_EQ(hud.opacity(), 1.0);
}

TEST(ModeHUD, DismissDuringTheFadeIsFinalAndRestoresOpacity) {
    panelTestApp();
    VirtualTime time;
    FakeScreens screens = FakeScreens::laptop();
    ModeHUD hud({time, screens});
    hud.show(InputMode::english, {300, 100, 1, 18});
    EXPECT_EQ(hud.frame().y, 100 + 18 + 6);  // no room below: above the caret
    time.advance(900ms);
    hud.dismiss();
    EXPECT_FALSE(hud.isVisible());
    EXPECT_DOUBLE_EQ(hud.opacity(), 1.0);
    const auto generation = hud.generation();
    time.advance(2s);
    EXPECT_FALSE(hud.isVisible());
    EXPECT_EQ(hud.generation(), generation);
    EXPECT_EQ(time.pendingCount(), 0u);
}

}  // namespace
}  // namespace sorvane
