#include <gtest/gtest.h>

#include <QAreaSeries>
#include <QChartView>
#include <QGraphicsSimpleTextItem>
#include <QImage>
#include <QLineSeries>
#include <QPainter>
#include <QValueAxis>
#include <cmath>

#include "app/settings/pages/TypingRhythmPage.h"
#include "app/settings/style/SettingsText.h"
#include "app/settings/style/SettingsTheme.h"
#include "tests/app/panels/PanelTestSupport.h"
#include "tests/support/PumpUntil.h"

namespace sorvane {
namespace {

using namespace std::chrono_literals;

TypingRhythm::Snapshot samples(int count, std::int64_t ms) {
    TypingRhythm::Snapshot s;
    auto at = std::chrono::system_clock::now() - 3h;
    for (int i = 0; i < count; ++i) s.samples.push_back({at += 1s, ms + (i % 7) * 40});
    return s;
}

bool showsText(const QWidget& page, const QString& text) {
    // Our widgets have no meta-object of their own: qobject_cast cannot tell them apart.
    for (auto* widget : page.findChildren<QWidget*>())
        if (auto* label = dynamic_cast<SettingsText*>(widget); label && label->text() == text) return true;
    return false;
}

// WCAG relative luminance of `color` as drawn over `ground`.
double luminance(const QColor& color, const QColor& ground) {
    const auto linear = [&](double c, double g) {
        const double v = c * color.alphaF() + g * (1 - color.alphaF());
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(color.redF(), ground.redF()) + 0.7152 * linear(color.greenF(), ground.greenF()) +
           0.0722 * linear(color.blueF(), ground.blueF());
}

// The caption calls the bars before the pause the dark ones, in either appearance.
TEST(TypingRhythmPageTest, HistogramBarsStandOutFromTheCardAndTheOnesBeforeThePauseAreDarker) {
    testing::panelTestApp();
    const SettingsAppearance before = SettingsTheme::appearance();
    const auto contrast = [](double a, double b) {
        return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
    };
    for (const auto appearance : {SettingsAppearance::light, SettingsAppearance::dark}) {
        SettingsTheme::setAppearance(appearance);
        const QColor card = SettingsTheme::card();
        const double ground = luminance(card, card);
        const double early = luminance(SettingsTheme::histogramBar(true), card);
        const double late = luminance(SettingsTheme::histogramBar(false), card);
        SCOPED_TRACE(appearance == SettingsAppearance::dark ? "dark" : "light");
        EXPECT_GE(contrast(early, ground), 3.0);
        EXPECT_GE(contrast(late, ground), 3.0);
        EXPECT_GE((late + 0.05) / (early + 0.05), 1.5);
    }
    SettingsTheme::setAppearance(before);
}

TEST(TypingRhythmPageTest, RuleLabelsStayInsideThePlotAndCountsAreWhole) {
    testing::panelTestApp();
    // A slow typist's p90 stands near or at the plot's right end, where its
    // label would run out of the chart.
    for (std::int64_t slowest : {1700, 1900}) {
        SCOPED_TRACE(slowest);
        TypingRhythmPage page({}, samples(40, slowest));
        page.resize(760, 1400);
        page.show();
        QChart* chart = page.findChildren<QChartView*>().front()->chart();
        ASSERT_TRUE(testing::pumpUntil([&] { return chart->plotArea().width() > 300; }));
        const QRectF plot = chart->plotArea();
        QGraphicsSimpleTextItem* label = nullptr;
        for (auto* item : chart->childItems())
            if (auto* text = dynamic_cast<QGraphicsSimpleTextItem*>(item);
                text && text->text().startsWith("p90 "))
                label = text;
        ASSERT_NE(label, nullptr);
        EXPECT_GE(label->text().mid(4).toInt(), 1900);
        const QRectF box = label->mapRectToParent(label->boundingRect());
        EXPECT_GE(box.left(), plot.left());
        EXPECT_LE(box.right(), plot.right());
    }

    // Three samples: the count axis steps by whole numbers, never by halves.
    TypingRhythmPage few({}, samples(3, 180));
    for (auto* view : few.findChildren<QChartView*>()) {
        auto* y = dynamic_cast<QValueAxis*>(view->chart()->axes(Qt::Vertical).front());
        ASSERT_NE(y, nullptr);
        const double step = (y->max() - y->min()) / (y->tickCount() - 1);
        EXPECT_GE(step, 1);
        EXPECT_EQ(step, std::floor(step));
    }
}

TEST(TypingRhythmPageTest, EmptySnapshotShowsTheFallbackAndNoCharts) {
    testing::panelTestApp();
    TypingRhythmPage page({}, TypingRhythm::Snapshot{});
    EXPECT_TRUE(showsText(page, "1000"));
    EXPECT_TRUE(showsText(page, "—"));
    EXPECT_TRUE(showsText(page, "还没有记录。切到Sorvane模式打几句英文夹拼音，这里就会出现。"));
    EXPECT_TRUE(showsText(page, QString::fromStdString(TypingRhythm::rulesText())));
    EXPECT_TRUE(page.findChildren<QChartView*>().isEmpty());
}

TEST(TypingRhythmPageTest, RefreshReplacesOnlyADifferentSnapshot) {
    testing::panelTestApp();
    int calls = 0;
    auto current = samples(30, 180);
    TypingRhythmPage page(
        [&] {
            ++calls;
            return current;
        },
        current);
    ASSERT_EQ(page.findChildren<QChartView*>().size(), 2);
    const QChartView* chart = page.findChildren<QChartView*>().front();
    // The marks are named for what they measure: bars by x and by their top, rules by what they mark.
    const auto names = [](const QChartView* view) {
        QStringList all;
        for (auto* series : view->chart()->series()) {
            all << series->name();
            if (auto* area = dynamic_cast<QAreaSeries*>(series)) all << area->upperSeries()->name();
        }
        all.removeDuplicates();
        return all;
    };
    EXPECT_EQ(names(chart), (QStringList{"间隔", "次数", "停顿"}));
    EXPECT_EQ(names(page.findChildren<QChartView*>().back()), (QStringList{"时间", "中位间隔", "停顿"}));
    for (auto* view : page.findChildren<QChartView*>()) EXPECT_FALSE(view->chart()->legend()->isVisible());
    page.refresh();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(page.findChildren<QChartView*>().front(), chart) << "an equal snapshot redrew the page";
    current = samples(31, 180);
    page.refresh();
    EXPECT_EQ(page.snapshot(), current);
    EXPECT_TRUE(showsText(page, "31"));

    // The charts keep the colours they are drawn with: a change of appearance redraws them.
    chart = page.findChildren<QChartView*>().front();
    SettingsTheme::setAppearance(SettingsAppearance::dark);
    EXPECT_NE(page.findChildren<QChartView*>().front(), chart);
    for (auto* axis : page.findChildren<QChartView*>().front()->chart()->axes())
        EXPECT_EQ(axis->labelsColor(), SettingsTheme::secondaryLabel());
    SettingsTheme::setAppearance(SettingsAppearance::light);
}

TEST(TypingRhythmPageTest, TheTimerRunsOnlyWhileThePageIsShownAndDiesWithIt) {
    testing::panelTestApp();
    int calls = 0;
    auto* page = new TypingRhythmPage(
        [&] {
            ++calls;
            return TypingRhythm::Snapshot{};
        },
        {});
    page->resize(800, 900);
    page->show();
    EXPECT_TRUE(page->refreshing());
    page->hide();
    EXPECT_FALSE(page->refreshing());
    page->show();
    delete page;
    // Nothing to wait for: a timer left behind has this long to fire.
    testing::pumpFor(TypingRhythmPage::refreshInterval + 200ms);
    EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace sorvane
