// The update section drawn offscreen in each phase, on its own: no window
// shows it yet.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QTextLayout>
#include <cmath>

#include "app/settings/style/SettingsText.h"
#include "app/settings/style/SettingsTheme.h"
#include "app/update/UpdatePanelView.h"
#include "tests/app/panels/PanelTestSupport.h"

namespace sorvane {
namespace {

using Phase = UpdatePanelPhase;

class UpdatePanelViewTest : public ::testing::Test {
protected:
    UpdatePanelViewTest() {
        testing::panelTestApp();
        SettingsTheme::setAppearance(SettingsAppearance::light);
    }

    static std::unique_ptr<UpdatePanelView> show(Phase phase, bool autoCheck = true) {
        auto view = std::make_unique<UpdatePanelView>(
            UpdatePanelModel::preview(std::move(phase), std::nullopt, "0.2.0", autoCheck));
        view->setAttribute(Qt::WA_DontShowOnScreen);
        view->resize(520, std::max(view->sizeHint().height(), view->layout()->totalHeightForWidth(520)));
        view->show();
        QApplication::processEvents();
        QImage image(view->size() * 2, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(2);
        image.fill(Qt::white);
        view->render(&image);
        return view;
    }

    static bool visible(const QWidget& view, const char* name) {
        auto* child = view.findChild<QWidget*>(name);
        return child && child->isVisible();
    }
};

TEST_F(UpdatePanelViewTest, EachPhase) {
    const auto release = UpdatePanelModel::previewRelease();
    struct Case {
        Phase phase;
        bool checkEnabled;
        bool progress;
        bool box;
    };
    const std::vector<Case> cases = {
        {Phase::idle(), true, false, false},
        {Phase::checking(), false, false, false},
        {Phase::downloading(0.42), false, true, false},
        {Phase::verifying(), false, false, false},
        {Phase::ready(release), true, false, true},
        {Phase::installing(), false, false, false},
        {Phase::installerOpened("0.2.1"), true, false, false},
        {Phase::upToDate(), true, false, false},
        {Phase::failed("下载失败：HTTP 404"), true, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.phase.kind));
        auto view = show(c.phase);
        auto* status = dynamic_cast<SettingsText*>(view->findChild<QWidget*>("status"));
        ASSERT_NE(status, nullptr);
        EXPECT_EQ(status->text().toStdString(), view->model().statusLine());
        const bool failed = c.phase.kind == Phase::Kind::failed;
        EXPECT_EQ(status->color() != SettingsTheme::secondaryLabel(), failed);
        EXPECT_EQ(view->findChild<QAbstractButton*>("check")->isEnabled(), c.checkEnabled);
        EXPECT_EQ(visible(*view, "releaseBox"), c.box);
        // The widgets have no meta-object of their own: found by name.
        auto* bar = static_cast<ProgressBar*>(view->findChild<QWidget*>("progress"));
        EXPECT_EQ(bar->isVisible(), c.progress);
        if (c.progress) {
            EXPECT_EQ(bar->accessibleDescription().toStdString(), "42%");
        }
        EXPECT_FALSE(visible(*view, "autoCheckNote"));
    }
    EXPECT_TRUE(visible(*show(Phase::idle(), false), "autoCheckNote"));
}

TEST_F(UpdatePanelViewTest, ReleaseBoxWithAndWithoutNotes) {
    UpdateRelease release = UpdatePanelModel::previewRelease();
    auto view = show(Phase::ready(release));
    auto* notes = view->findChild<QLabel*>("notes");
    ASSERT_NE(notes, nullptr);
    EXPECT_EQ(notes->text().toStdString(), *release.notes);
    EXPECT_FALSE(visible(*view, "mandatory"));
    EXPECT_TRUE(visible(*view, "install"));

    release.notes = "\n  · 修复\n\n";
    release.mandatory = true;
    view = show(Phase::ready(release));
    EXPECT_EQ(view->findChild<QLabel*>("notes")->text(), "· 修复");
    EXPECT_TRUE(visible(*view, "mandatory"));

    release.notes = " \n\t\n";
    release.mandatory = false;
    view = show(Phase::ready(release));
    EXPECT_EQ(view->findChild<QLabel*>("notes"), nullptr);
    EXPECT_FALSE(visible(*view, "mandatory"));

    // Twenty lines of notes: eight whole ones show, the eighth ending in "…".
    std::string many;
    for (int i = 1; i <= 20; ++i) many += "· 第 " + std::to_string(i) + " 条：修复了一处 Shift 切换的问题\n";
    release.notes = many;
    view = show(Phase::ready(release));
    auto* label = view->findChild<QLabel*>("notes");
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(label->text().endsWith(QStringLiteral("…"))) << label->text().toStdString();
    QTextLayout layout(QString(label->text()).replace('\n', QChar::LineSeparator), label->font());
    QTextOption wrapping;
    wrapping.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(wrapping);
    int lines = 0;
    double height = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine(), ++lines) {
        line.setLineWidth(label->contentsRect().width());
        height += line.height();
    }
    layout.endLayout();
    EXPECT_EQ(lines, 8);
    EXPECT_LE(std::ceil(height), label->contentsRect().height()) << "the last line is cut";

    // A preview's buttons do nothing.
    view->findChild<QAbstractButton*>("install")->click();
    view->findChild<QAbstractButton*>("check")->click();
    EXPECT_EQ(view->model().phase(), Phase::ready(release));
}

TEST_F(UpdatePanelViewTest, ProgressBarFill) {
    const std::vector<std::pair<double, double>> fills = {{-0.5, 6},  {0, 6},   {0.01, 6},
                                                          {0.5, 150}, {1, 300}, {1.7, 300}};
    for (const auto& [fraction, width] : fills)
        EXPECT_DOUBLE_EQ(ProgressBar::filledWidth(fraction, 300), width);
}

}  // namespace
}  // namespace sorvane
