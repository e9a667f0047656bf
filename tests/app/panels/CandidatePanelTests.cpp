#include <gtest/gtest.h>

#include <QImage>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

#include "app/panels/CandidatePanel.h"
#include "app/panels/QtScreens.h"
#include "tests/app/panels/PanelTestSupport.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/VirtualTime.h"

namespace sorvane {
namespace {

using namespace std::chrono_literals;
using testing::FakeScreens;
using testing::panelTestApp;
using testing::ScopedLogCapture;
using testing::VirtualTime;

ChinesePanelModel gridPage() {
    std::vector<ChineseCandidate> candidates;
    const char* texts[] = {"你好", "尼豪", "拟好", "你", "呢", "妮", "泥", "倪"};
    for (int i = 0; i < 8; ++i) candidates.push_back({std::to_string(i % 6 + 1), texts[i], std::nullopt});
    candidates[1].comment = "ní háo";
    return ChinesePanelModel("ni hao", candidates, 2, 1, false, ChinesePanelLayout::vertical);
}

ChinesePanelModel rowPage() {
    return ChinesePanelModel("ni hao", {{"1", "你好", std::nullopt}, {"2", "尼豪", std::nullopt}}, 0, 0,
                             true);
}

EnglishPanelModel englishModel(EnglishPanelPhase phase, std::string buffer = "how are") {
    const bool waiting = phase.kind() == EnglishPanelPhase::Kind::requesting;
    return EnglishPanelModel({}, {}, waiting, std::move(buffer), std::move(phase), AcceptKeys::tabNormalized);
}

// The size the panel must take for a content size: both insets, the badge gap
// and the badge itself.
QSize expectedPanelSize(Size content) {
    const double badge = std::ceil(
        QtTextMetrics::shared().measure(CandidateView::badgeText, CandidateView::badgeStyle().font).width);
    return QSize(int(std::ceil(content.width + 28 + badge)), int(std::ceil(content.height + 14)));
}

TEST(CandidatePanel, SharedPanelShowsAGridPageWithoutTakingFocus) {
    panelTestApp();
    QLineEdit editor;
    editor.show();
    editor.activateWindow();
    editor.setFocus();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), &editor);

    CandidatePanel& panel = CandidatePanel::shared();
    EXPECT_EQ(&panel, &CandidatePanel::shared());
    panel.show(PanelContent::chinese(gridPage()), {100, 300, 1, 18});
    QApplication::processEvents();

    const Size content = layoutChineseCandidates(gridPage(), QtTextMetrics::shared()).size;
    EXPECT_TRUE(panel.isVisible());
    EXPECT_EQ(panel.window().size(), expectedPanelSize(content));
    EXPECT_EQ(QtScreenProvider::toQt(panel.frame()), panel.window().geometry());
    EXPECT_EQ(QApplication::focusWidget(), &editor);
    EXPECT_NE(QApplication::activeWindow(), &panel.window());
    EXPECT_FALSE(panel.window().isActiveWindow());

    const Qt::WindowFlags flags = panel.window().windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(flags.testFlag(Qt::WindowTransparentForInput));
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(panel.window().testAttribute(Qt::WA_ShowWithoutActivating));

    // The active content view sits at the insets with its own size.
    QWidget* view = panel.candidateView().activeWidget();
    ASSERT_EQ(view, &panel.candidateView().chineseView());
    EXPECT_EQ(view->geometry(), QRect(10, 7, int(content.width), int(content.height)));

    panel.hide();
    EXPECT_FALSE(panel.isVisible());
    EXPECT_EQ(QApplication::focusWidget(), &editor);
}

TEST(CandidatePanel, PlacementFollowsTheCaretOnTheGivenScreens) {
    panelTestApp();
    VirtualTime time;
    FakeScreens screens = FakeScreens::laptop();
    screens.mouse = {700, 500};
    CandidatePanel panel({time, screens, QtTextMetrics::shared()});
    const PanelContent content = PanelContent::chinese(rowPage());

    panel.show(content, {300, 500, 1, 18});
    const Rect below = panel.frame();
    EXPECT_EQ(below.x, 300);
    EXPECT_EQ(below.maxY(), 500 - 4);

    panel.show(content, {300, 80, 1, 18});
    EXPECT_EQ(panel.frame().y, 80 + 18 + 4);

    panel.show(content, {1430, 500, 1, 18});
    EXPECT_EQ(panel.frame().maxX(), 1440);

    ScopedLogCapture capture;
    panel.show(content, {0, 0, 0, 0});
    EXPECT_EQ(panel.frame().x, 700);
    EXPECT_EQ(panel.frame().maxY(), 500 - 18 - 4);
    EXPECT_EQ(capture->messages(),
              std::vector<std::string>{"[Sorvane] caret rect was zero — falling back to mouse location"});
}

TEST(CandidatePanel, ContentViewsSwapOnlyWhenTheKindChanges) {
    panelTestApp();
    VirtualTime time;
    FakeScreens screens = FakeScreens::laptop();
    CandidatePanel panel({time, screens, QtTextMetrics::shared()});
    CandidateView& view = panel.candidateView();
    EXPECT_EQ(view.active(), nullptr);

    panel.show(PanelContent::chinese(rowPage()), {300, 500, 1, 18});
    QWidget* chinese = view.activeWidget();
    EXPECT_EQ(chinese, &view.chineseView());
    panel.show(PanelContent::chinese(gridPage()), {300, 500, 1, 18});
    EXPECT_EQ(view.activeWidget(), chinese);
    EXPECT_FALSE(view.englishView().isVisibleTo(&view));

    panel.show(PanelContent::english(englishModel(EnglishPanelPhase::typing())), {300, 500, 1, 18});
    EXPECT_EQ(view.activeWidget(), &view.englishView());
    EXPECT_TRUE(view.englishView().isVisibleTo(&view));
    EXPECT_FALSE(view.chineseView().isVisibleTo(&view));
    // The Chinese view keeps its last model while swapped out.
    ASSERT_TRUE(view.chineseView().model());
    EXPECT_EQ(*view.chineseView().model(), gridPage());
}

TEST(CandidatePanel, WaitingDotsCycleAndStopOnAPhaseChange) {
    panelTestApp();
    VirtualTime time;
    FakeScreens screens = FakeScreens::laptop();
    CandidatePanel panel({time, screens, QtTextMetrics::shared()});
    EnglishSuggestionView& english = panel.candidateView().englishView();

    panel.show(PanelContent::english(englishModel(EnglishPanelPhase::requesting())), {300, 500, 1, 18});
    EXPECT_TRUE(english.isAnimating());
    std::vector<int> steps{english.animationStep()};
    for (int i = 0; i < 4; ++i) {
        time.advance(280ms);
        steps.push_back(english.animationStep());
    }
    EXPECT_EQ(steps, (std::vector<int>{0, 1, 2, 0, 1}));

    // A refresh during the same request does not restart the sequence.
    panel.show(PanelContent::english(englishModel(EnglishPanelPhase::requesting(), "how are you")),
               {300, 500, 1, 18});
    EXPECT_EQ(english.animationStep(), 1);

    panel.show(PanelContent::english(englishModel(EnglishPanelPhase::suggestion())), {300, 500, 1, 18});
    EXPECT_FALSE(english.isAnimating());
    EXPECT_EQ(english.animationStep(), 0);
    time.advance(1s);
    EXPECT_EQ(english.animationStep(), 0);
    EXPECT_EQ(time.pendingCount(), 0u);
}

TEST(CandidatePanel, WaitingDotsStopWhenThePanelIsHiddenOrSwappedOut) {
    panelTestApp();
    VirtualTime time;
    FakeScreens screens = FakeScreens::laptop();
    CandidatePanel panel({time, screens, QtTextMetrics::shared()});
    EnglishSuggestionView& english = panel.candidateView().englishView();

    panel.show(PanelContent::english(englishModel(EnglishPanelPhase::requesting())), {300, 500, 1, 18});
    time.advance(280ms);
    panel.hide();
    time.advance(280ms);  // the tick finds the window gone
    EXPECT_FALSE(english.isAnimating());

    panel.show(PanelContent::english(englishModel(EnglishPanelPhase::requesting())), {300, 500, 1, 18});
    EXPECT_TRUE(english.isAnimating());
    panel.show(PanelContent::chinese(rowPage()), {300, 500, 1, 18});
    EXPECT_FALSE(english.isAnimating());
}

TEST(CandidatePanel, LongFailureWrapsAndTheEnglishPanelGrowsInHeight) {
    panelTestApp();
    VirtualTime time;
    FakeScreens screens = FakeScreens::laptop();
    CandidatePanel panel({time, screens, QtTextMetrics::shared()});
    panel.show(PanelContent::english(englishModel(EnglishPanelPhase::failed("短"))), {300, 500, 1, 18});
    const Rect single = panel.frame();

    std::string reason;
    for (int i = 0; i < 60; ++i) reason += "服务暂不可用";
    panel.show(PanelContent::english(englishModel(EnglishPanelPhase::failed(reason))), {300, 500, 1, 18});
    const Size content = panel.candidateView().englishView().desiredContentSize();
    EXPECT_EQ(content.width, 520);
    EXPECT_GT(panel.frame().height, 2 * single.height);
    EXPECT_EQ(panel.window().width(), expectedPanelSize(content).width());
}

// A key at the end of a long English line redraws the line's last lines, not
// the whole panel, and what the window then shows is what a panel showing
// the final text from the start shows.
TEST(CandidatePanel, TypingOnALongEnglishLineRedrawsOnlyItsEnd) {
    panelTestApp();
    QApplication::setPalette(QPalette(Qt::white));
    VirtualTime time;
    FakeScreens screens = FakeScreens::laptop();
    CandidatePanel panel({time, screens, QtTextMetrics::shared()});
    struct PaintLog : QObject {
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint) rects.push_back(static_cast<QPaintEvent*>(event)->rect());
            return false;
        }
        std::vector<QRect> rects;
    } log;
    QWidget& english = panel.candidateView().englishView();
    english.installEventFilter(&log);

    std::string text;
    while (text.size() < 3000) text += "we could book a table for two tonight ";
    const auto show = [&](CandidatePanel& target) {
        target.show(PanelContent::english(englishModel(EnglishPanelPhase::typing(), text)),
                    {300, 500, 1, 18});
        QApplication::processEvents();
    };
    show(panel);
    int partial = 0;
    for (char key : std::string("and at seven")) {
        text += key;
        const int heightBefore = panel.window().height();
        log.rects.clear();
        show(panel);
        if (panel.window().height() != heightBefore) continue;  // a new line: drawn whole
        ASSERT_EQ(log.rects.size(), 1u) << text.size();
        EXPECT_GT(log.rects[0].top(), english.height() * 3 / 4) << text.size();
        ++partial;
    }
    EXPECT_GE(partial, 8);

    CandidatePanel fresh({time, screens, QtTextMetrics::shared()});
    show(fresh);
    QScreen* screen = QGuiApplication::primaryScreen();
    const QImage typed = screen->grabWindow(panel.window().winId()).toImage();
    ASSERT_FALSE(typed.isNull());
    EXPECT_EQ(typed, screen->grabWindow(fresh.window().winId()).toImage());
}

// Counts what the panel measures, measuring with Qt.
class CountingMetrics final : public TextMetrics {
public:
    Size measure(std::string_view text, const FontSpec& font) const override {
        ++calls;
        if (text == CandidateView::badgeText) ++badgeCalls;
        return QtTextMetrics::shared().measure(text, font);
    }
    Size measureWrapped(const std::vector<StyledRun>& runs, double width) const override {
        ++calls;
        return QtTextMetrics::shared().measureWrapped(runs, width);
    }
    mutable int calls = 0;
    mutable int badgeCalls = 0;
};

// Counts the paint events a widget gets.
class PaintCounter final : public QObject {
public:
    explicit PaintCounter(QWidget& widget) { widget.installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
    int paints = 0;
};

// Per key the Chinese page is laid out once, for the panel's size, and drawn
// from that layout, in one frame, also when the key shows the panel again
// after a commit hid it; a page that comes again unchanged is neither laid
// out nor drawn again; and nothing else is measured: the badge and the
// background of an unchanged size are drawn from what the first frame made.
TEST(CandidatePanel, LaysOutAndPaintsOncePerChangeAndReusesItsBackground) {
    panelTestApp();
    VirtualTime time;
    FakeScreens screens = FakeScreens::laptop();
    CountingMetrics metrics;
    CandidatePanel panel({time, screens, metrics});
    PaintCounter frames(panel.candidateView().chineseView());
    // A key arrives as an event, as the server's calls do, and its frames
    // follow it.
    const auto key = [&](const ChinesePanelModel& model) {
        QMetaObject::invokeMethod(
            &panel.window(),
            [&] {
                panel.show(PanelContent::chinese(model), {300, 500, 1, 18});
            },
            Qt::QueuedConnection);
        for (int round = 0; round < 3; ++round) QApplication::processEvents();
    };
    for (const ChinesePanelModel& page : {rowPage(), gridPage()}) {
        const ChinesePanelModel moved(page.preedit(), page.candidates(), 1, page.pageNo(), page.isLastPage(),
                                      page.layout());
        CountingMetrics once;
        layoutChineseCandidates(page, once);
        key(page);
        metrics.calls = 0;
        frames.paints = 0;
        for (int n = 0; n < 4; ++n) {
            if (n == 2) panel.hide();  // a commit
            key(n % 2 == 0 ? moved : page);
        }
        EXPECT_EQ(metrics.calls, 4 * once.calls);
        EXPECT_EQ(frames.paints, 4);
        key(page);
        EXPECT_EQ(metrics.calls, 4 * once.calls);
        EXPECT_EQ(frames.paints, 4);
    }
    EXPECT_EQ(metrics.badgeCalls, 1);  // sizing and drawing share one measurement
}

TEST(QtScreenProvider, DescribesTheRealScreensYUp) {
    panelTestApp();
    const QtScreenProvider& screens = QtScreenProvider::shared();
    const auto list = screens.screens();
    ASSERT_FALSE(list.empty());
    ASSERT_TRUE(screens.mainScreen());
    const QRect primary = QGuiApplication::primaryScreen()->geometry();
    // The primary screen's bottom-left corner is the origin.
    EXPECT_EQ(screens.mainScreen()->frame, (Rect{0, 0, double(primary.width()), double(primary.height())}));
    // A rectangle 10 pixels from the top, 20 high, is 30 below the top y-up.
    const Rect yUp = QtScreenProvider::fromQt(QRect(primary.x() + 5, primary.y() + 10, 40, 20));
    EXPECT_EQ(yUp, (Rect{5, double(primary.height()) - 30, 40, 20}));
    EXPECT_EQ(QtScreenProvider::toQt(yUp), QRect(primary.x() + 5, primary.y() + 10, 40, 20));
    EXPECT_EQ(PanelGeometry::visibleFrame({1, 1}, screens), screens.mainScreen()->visibleFrame);
}

// Renders the panel's content the way the window shows it.
QImage renderPanel(CandidatePanel& panel) {
    QWidget& view = panel.candidateView();
    QImage image(view.size() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Qt::transparent);
    view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// The background and border come out as the rounded shape drawn whole would,
// whatever the panel's size: corners, straight edges and the inside.
TEST(CandidatePanel, BackgroundMatchesTheWholeRoundedShapeAtEverySize) {
    panelTestApp();
    QApplication::setPalette(QPalette(Qt::white));
    VirtualTime time;
    FakeScreens screens = FakeScreens::laptop();
    CandidatePanel panel({time, screens, QtTextMetrics::shared()});
    for (const ChinesePanelModel& page : {rowPage(), gridPage()}) {
        panel.show(PanelContent::chinese(page), {300, 500, 1, 18});
        const QImage drawn = renderPanel(panel);
        QImage whole(drawn.size(), QImage::Format_ARGB32_Premultiplied);
        whole.setDevicePixelRatio(2);
        whole.fill(Qt::transparent);
        {
            QPainter painter(&whole);
            painter.setRenderHint(QPainter::Antialiasing);
            QPainterPath path;
            path.addRoundedRect(QRectF(panel.candidateView().rect()).adjusted(0.5, 0.5, -0.5, -0.5), 7, 7);
            painter.fillPath(path, PanelPalette::light().color({ColorRole::windowBackground, 0.98}));
            painter.setPen(QPen(PanelPalette::light().color(ColorRole::separator), 1));
            painter.drawPath(path);
        }
        // Clear of the content (inset 10, 7) and of the badge (bottom right).
        int worst = 0, wx = 0, wy = 0;
        for (int y = 0; y < drawn.height(); ++y) {
            for (int x = 0; x < drawn.width(); ++x) {
                if (y >= 14 && x >= 20) continue;
                const QColor a = drawn.pixelColor(x, y);
                const QColor b = whole.pixelColor(x, y);
                const int d = std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                                        std::abs(a.blue() - b.blue()), std::abs(a.alpha() - b.alpha())});
                if (d > worst) {
                    worst = d;
                    wx = x;
                    wy = y;
                }
            }
        }
        EXPECT_LE(worst, 3) << drawn.width() << "x" << drawn.height() << " at " << wx << "," << wy;
    }
}

TEST(CandidatePanel, HighlightedCandidateIsDrawnInTheHighlightColour) {
    panelTestApp();
    QApplication::setPalette(QPalette(Qt::white));  // the light panel
    VirtualTime time;
    FakeScreens screens = FakeScreens::laptop();
    CandidatePanel panel({time, screens, QtTextMetrics::shared()});
    const ChinesePanelModel model = rowPage();
    panel.show(PanelContent::chinese(model), {300, 500, 1, 18});
    const QImage image = renderPanel(panel);

    const ChineseCandidateLayout layout = layoutChineseCandidates(model, QtTextMetrics::shared());
    const QColor highlight = PanelPalette::light().color(ColorRole::selectedContentBackground);
    const auto pixelAt = [&](const LayoutItem& item) {
        // Just inside the highlight's left edge, halfway down: clear of text
        // and of the rounded corners. Content sits at the panel's insets.
        const double x = 10 + item.highlightRect.x + 2;
        const double y = 7 + item.highlightRect.y + item.highlightRect.height / 2;
        return image.pixelColor(int(x * 2), int(y * 2));
    };
    ASSERT_TRUE(layout.items[0].isHighlighted);
    EXPECT_EQ(pixelAt(layout.items[0]).rgb(), highlight.rgb());
    EXPECT_EQ(pixelAt(layout.items[0]).alpha(), 255);
    EXPECT_NE(pixelAt(layout.items[1]).rgb(), highlight.rgb());

    // The highlighted text is drawn light on the highlight: some pixel in the
    // text's rectangle is close to white.
    const Rect text = layout.items[0].pieces[1].rect;
    int light = 0;
    for (int y = int((7 + text.y) * 2); y < int((7 + text.maxY()) * 2); ++y) {
        for (int x = int((10 + text.x) * 2); x < int((10 + text.maxX()) * 2); ++x) {
            if (qGray(image.pixel(x, y)) > 230) ++light;
        }
    }
    EXPECT_GT(light, 20);

    // Rounded corners: the very corner pixel is transparent, the middle of
    // the top edge is not.
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(image.pixel(image.width() - 1, image.height() - 1)), 0);
    EXPECT_GT(qAlpha(image.pixel(image.width() / 2, 4)), 200);
}

}  // namespace
}  // namespace sorvane
