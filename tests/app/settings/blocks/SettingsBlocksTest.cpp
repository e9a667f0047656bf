#include <gtest/gtest.h>

#include <QApplication>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPalette>
#include <QVBoxLayout>

#include "app/settings/blocks/SettingsButton.h"
#include "app/settings/blocks/SettingsHeading.h"
#include "app/settings/blocks/SettingsLinkRow.h"
#include "app/settings/blocks/SettingsScroll.h"
#include "app/settings/style/AppGlyphTile.h"
#include "app/settings/style/AppMark.h"
#include "app/settings/style/SettingsSymbols.h"
#include "app/settings/style/SettingsTheme.h"
#include "platform/Bundle.h"
#include "tests/app/panels/PanelTestSupport.h"

namespace sorvane {
namespace {

// Lays the widget out at the size and paints it at device pixel ratio 2 on
// a transparent image.
QImage render(QWidget& widget, QSize size) {
    widget.setAttribute(Qt::WA_DontShowOnScreen);
    widget.resize(size);
    widget.show();
    QApplication::processEvents();
    QImage image(size * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Qt::transparent);
    // Without the window background, so that what the widget leaves
    // transparent stays so.
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

QColor pixel(const QImage& image, double x, double y) {
    return image.pixelColor(static_cast<int>(x * 2), static_cast<int>(y * 2));
}

class SettingsBlocksTest : public ::testing::Test {
protected:
    SettingsBlocksTest() {
        testing::panelTestApp();
        SettingsTheme::setAppearance(SettingsAppearance::light);
        previousLookup_ = BundleResources::setLookup({});
        AppMark::resetForTests();
    }
    ~SettingsBlocksTest() override {
        SettingsTheme::setAppearance(SettingsAppearance::light);
        BundleResources::setLookup(previousLookup_);
        AppMark::resetForTests();
    }

    static void useBuiltBundle(bool withMark) {
        BundleResources::setLookup([withMark](std::string_view name, std::string_view ext) {
            if (!withMark) return std::optional<std::filesystem::path>();
            return Bundle::load(SORVANE_BUNDLE_DIR).resourcePath(name, ext);
        });
        AppMark::resetForTests();
    }

    BundleResources::Lookup previousLookup_;
};

void click(QWidget& widget) {
    const QPointF centre(widget.width() / 2.0, widget.height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, centre, widget.mapToGlobal(centre), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, centre, widget.mapToGlobal(centre), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &press);
    QApplication::sendEvent(&widget, &release);
}

TEST_F(SettingsBlocksTest, LinkRowTakesClicksOnlyWithAnAction) {
    int clicks = 0;
    SettingsLinkRow plain(
        "lock", [] { return QColor(Qt::red); }, "A");
    SettingsLinkRow active(
        "lock", [] { return QColor(Qt::red); }, "B", std::nullopt, std::nullopt, [&] { ++clicks; });
    render(plain, {400, 62});
    render(active, {400, 62});
    click(plain);
    click(active);
    EXPECT_FALSE(plain.isClickable());
    EXPECT_TRUE(active.isClickable());
    EXPECT_EQ(clicks, 1);
}

TEST_F(SettingsBlocksTest, CompositeKeyboardSymbolGetsABadgeOverTheTileCorner) {
    auto iconImage = [](const QString& symbol) {
        SettingsLinkRow row(
            symbol, [] { return QColor(0, 160, 0); }, "输入法已就绪");
        const QImage image = render(row, {400, 62});
        const QRect icon = row.layout()->itemAt(0)->widget()->geometry();
        return image.copy(QRect(icon.topLeft() * 2, icon.size() * 2));
    };
    const QImage composite = iconImage(SettingsLinkRow::compositeSymbol);
    const QImage keyboard = iconImage("keyboard");
    // The badge hangs 2 past the tile's bottom-trailing corner: a white ring
    // around the check.
    EXPECT_EQ(keyboard.size(), QSize(60, 60));
    EXPECT_EQ(composite.size(), QSize(64, 64));
    EXPECT_GT(composite.pixelColor(61, 52).alpha(), 200);
    EXPECT_EQ(composite.pixelColor(52, 44), QColor(Qt::white));
    // Away from the corner both are the same keyboard tile.
    EXPECT_EQ(composite.copy(0, 0, 30, 30), keyboard.copy(0, 0, 30, 30));
}

TEST_F(SettingsBlocksTest, WrappedSubtitleGrowsTheRowPastItsMinimum) {
    struct Case {
        std::optional<QString> subtitle;
        bool taller;
    };
    for (const Case& c : {Case{std::nullopt, false}, Case{QString("很长的说明文字，").repeated(12), true}}) {
        QWidget box;
        auto* column = new QVBoxLayout(&box);
        column->setContentsMargins(0, 0, 0, 0);
        auto* row = new SettingsLinkRow(
            "key", [] { return QColor(Qt::gray); }, "标题", c.subtitle);
        column->addWidget(row);
        column->addStretch(1);
        render(box, {320, 600});
        if (c.taller) {
            EXPECT_GT(row->height(), SettingsLinkRow::minimumRowHeight + 20);
        } else {
            EXPECT_EQ(row->height(), SettingsLinkRow::minimumRowHeight);
        }
    }
}

TEST_F(SettingsBlocksTest, ColumnIsAtMost700WideAndCentred) {
    struct Case {
        int window;
        int column;
    };
    for (const Case& c : {Case{1000, 700}, Case{776, 700}, Case{600, 524}}) {
        SettingsScroll scroll;
        scroll.addBlock(new SettingsHeading("隐私与数据", "清楚知道，你输入的内容去了哪里。"));
        render(scroll, {c.window, 500});
        const QPoint origin = scroll.column()->mapTo(&scroll, QPoint(0, 0));
        EXPECT_EQ(scroll.column()->width(), c.column) << c.window;
        EXPECT_EQ(origin.x(), (c.window - c.column) / 2) << c.window;
        EXPECT_EQ(origin.y(), 28);
    }
}

TEST_F(SettingsBlocksTest, DisabledActionButtonIsDrawnAtHalfOpacityEvenWhenPressed) {
    SettingsButton button("验证并保存", SettingsActionStyle{QColor(0, 0, 255), Qt::white});
    button.setDown(true);
    EXPECT_DOUBLE_EQ(button.drawnOpacity(), 0.8);
    button.setEnabled(false);
    EXPECT_DOUBLE_EQ(button.drawnOpacity(), 0.5);
    const QImage image = render(button, {300, 44});
    const QColor fill = pixel(image, 6, 22);
    EXPECT_NEAR(fill.alpha(), 128, 2);
    EXPECT_EQ(fill.blue(), 255);
}

TEST_F(SettingsBlocksTest, PageBackgroundFollowsTheAppearanceAndPaletteChanges) {
    const QPalette before = QApplication::palette();
    SettingsTheme::followApplicationPalette();
    QApplication::setPalette(QPalette(QColor(236, 236, 236)));
    SettingsScroll scroll;
    EXPECT_EQ(pixel(render(scroll, {400, 300}), 5, 5).rgb(), QColor::fromRgbF(0.953, 0.957, 0.969).rgb());

    // The same window, not reopened, after the desktop turned dark.
    QApplication::setPalette(QPalette(QColor(30, 30, 30)));
    EXPECT_EQ(SettingsTheme::appearance(), SettingsAppearance::dark);
    EXPECT_EQ(pixel(render(scroll, {400, 300}), 5, 5).rgb(), QColor::fromRgbF(0.11, 0.11, 0.11).rgb());
    QApplication::setPalette(before);
}

TEST_F(SettingsBlocksTest, DockIconIsTheMarkOnARoundedWhitePlate) {
    useBuiltBundle(true);
    ASSERT_TRUE(AppMark::image());
    const auto icon = AppMark::dockIcon();
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->size(), QSize(512, 512));
    for (QPoint outside : {QPoint(10, 10), QPoint(256, 40), QPoint(470, 256), QPoint(256, 470)})
        EXPECT_EQ(icon->pixelColor(outside).alpha(), 0) << outside.x() << "," << outside.y();
    // The plate's corner is cut on a radius of 92.16.
    EXPECT_EQ(icon->pixelColor(60, 60).alpha(), 0);
    EXPECT_EQ(icon->pixelColor(256, 256).alpha(), 255);
    EXPECT_EQ(icon->pixelColor(55, 256).alpha(), 255);
}

TEST_F(SettingsBlocksTest, GlyphTileShowsTheMarkOrTheCharacterWithoutOne) {
    for (bool withMark : {true, false}) {
        SCOPED_TRACE(withMark);
        useBuiltBundle(withMark);
        EXPECT_EQ(AppMark::image().has_value(), withMark);
        EXPECT_EQ(AppMark::dockIcon().has_value(), withMark);
        AppGlyphTile tile(56);
        const QImage image = render(tile, {56, 56});
        EXPECT_EQ(pixel(image, 0.5, 0.5).alpha(), 0);  // the 13.44 corner
        int dark = 0, white = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.alpha() == 255 && c.lightness() < 40) ++dark;
                if (c.alpha() == 255 && c.lightness() > 250) ++white;
            }
        }
        // "拼" is bold black on white; the mark is neither.
        EXPECT_EQ(dark > 300 && white > 4000, !withMark);
    }
}

TEST_F(SettingsBlocksTest, EverySymbolOfThePagesDrawsAndUnknownNamesDrawNothing) {
    const QStringList used = {"keyboard",
                              "checkmark.circle.fill",
                              "chevron.right",
                              "chevron.left",
                              "person.crop.circle",
                              "person.crop.circle.fill",
                              "exclamationmark.triangle.fill",
                              "qrcode",
                              "envelope",
                              "lock.shield",
                              "doc.text",
                              "arrow.triangle.2.circlepath",
                              "circle.hexagongrid",
                              "key",
                              "1.circle",
                              "2.circle",
                              "lock",
                              "a",
                              "command",
                              "metronome",
                              "gearshape",
                              "info.circle",
                              "iphone.gen3",
                              "no.such.symbol",
                              "checkmark.circle.fill.detail",
                              ""};
    for (const QString& name : used) {
        QImage image(48, 48, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        SettingsSymbols::draw(painter, name, QRectF(0, 0, 48, 48), Qt::black);
        painter.end();
        int inked = 0;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 48; ++x) inked += image.pixelColor(x, y).alpha() > 128;
        const bool known = SettingsSymbols::contains(name);
        EXPECT_EQ(known, inked > 20) << name.toStdString();
        EXPECT_EQ(known, SettingsSymbols::names().contains(name)) << name.toStdString();
    }
    EXPECT_EQ(SettingsSymbols::names().size(), used.size() - 3);
}

}  // namespace
}  // namespace sorvane
