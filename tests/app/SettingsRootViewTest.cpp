// The settings window's root view and pages, offscreen, over a model in a
// temporary HOME with a recording notification center.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>

#include "app/SettingsRootView.h"
#include "app/SettingsWindow.h"
#include "tests/app/PanelTestSupport.h"
#include "tests/kit/FakeAccountService.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/RecordingNotificationCenter.h"
#include "tests/support/TempHome.h"
#include "tests/support/VirtualTime.h"

namespace sorvane {
namespace {

class SettingsRootViewTest : public ::testing::Test {
protected:
    SettingsRootViewTest() { testing::panelTestApp(); }

    std::unique_ptr<SettingsModel> model(SettingsPage page) {
        SettingsModel::Inputs inputs;
        inputs.page = page;
        inputs.settingsFile = file_;
        inputs.makeAccount = [this] {
            AccountStore::Services services;
            services.baseURL = "http://127.0.0.1:1/brindor/api";
            return std::make_unique<AccountStore>(AccountCredentials(std::make_shared<testing::FakeSecretStore>()),
                                                  AppStateFile{home_.path() / "state.json"}, time_, services);
        };
        inputs.version = "1.0";
        inputs.mainQueue = &time_;
        return std::make_unique<SettingsModel>(std::move(inputs));
    }

    static std::unique_ptr<SettingsRootView> view(SettingsModel& m, int width = 760) {
        auto v = std::make_unique<SettingsRootView>(m);
        v->resize(width, 780);
        v->show();
        QApplication::processEvents();
        return v;
    }

    testing::TempHome home_;
    testing::VirtualTime time_;
    testing::ScopedLogCapture log_;
    std::shared_ptr<testing::RecordingNotificationCenter> center_ =
        std::make_shared<testing::RecordingNotificationCenter>();
    AppSettingsFile file_{home_.path() / "Library" / "SorvaneIME" / "settings.json", center_};
};

TEST_F(SettingsRootViewTest, TitlesFollowThePageTableAndBackLeadsHome) {
    const std::pair<SettingsPage, const char*> table[] = {
        {SettingsPage::welcome, "Sorvane输入法"}, {SettingsPage::account, "账号"},
        {SettingsPage::hotkeys, "快捷键"},        {SettingsPage::general, "通用"},
        {SettingsPage::about, "关于与支持"},      {SettingsPage::service, "改写服务"},
        {SettingsPage::ownKey, "DeepSeek Key"},   {SettingsPage::privacy, "隐私与数据"},
        {SettingsPage::rhythm, "打字节奏"}};
    auto m = model(SettingsPage::welcome);
    auto v = view(*m);
    EXPECT_TRUE(v->backButton().isHidden());
    for (const auto& [page, title] : table) {
        m->show(page);
        EXPECT_EQ(v->titleText().toStdString(), title);
        EXPECT_EQ(v->backButton().isHidden(), page == SettingsPage::welcome) << title;
    }
    m->show(SettingsPage::about);
    v->backButton().click();
    EXPECT_EQ(m->page(), SettingsPage::welcome);
    EXPECT_EQ(v->titleText().toStdString(), "Sorvane输入法");
    EXPECT_TRUE(v->backButton().isHidden());
}

TEST_F(SettingsRootViewTest, TheAccountSpinnerGoesOnceTheStoreIsThere) {
    auto m = model(SettingsPage::account);  // made without show(): no store yet
    auto v = view(*m);
    ASSERT_NE(v->pageView(), nullptr);
    EXPECT_NE(v->pageView()->findChild<QProgressBar*>(), nullptr);
    m->prepareAccount();
    EXPECT_TRUE(v->pageView() == nullptr || v->pageView()->findChild<QProgressBar*>() == nullptr);
}

TEST_F(SettingsRootViewTest, BackButtonGeometry) {
    // {window width, clickable area's left edge}: the chevron sits 10 further right.
    for (const auto& [width, left] : {std::pair{760, 28}, std::pair{1000, 140}, std::pair{620, 28}}) {
        auto m = model(SettingsPage::hotkeys);
        auto v = view(*m, width);
        const QRect frame = v->backButton().geometry();
        EXPECT_EQ(frame.left(), left) << width;
        EXPECT_NEAR(frame.top() + frame.height() / 2.0, SettingsRootView::headerHeight / 2.0, 0.5) << width;
    }
}

TEST(SettingsWindowMenuTest, TitlesShortcutsAndOrder) {
    testing::panelTestApp();
    int abouts = 0;
    const auto bar = SettingsWindow::mainMenu([&] { ++abouts; });
    const auto menus = bar->actions();
    ASSERT_EQ(menus.size(), 3);
    struct Item {
        const char* title;  // "" for a separator
        const char* keys;
        bool enabled;
    };
    const std::vector<std::pair<const char*, std::vector<Item>>> expected = {
        {"Sorvane输入法",
         {{"关于Sorvane输入法", "", true},
          {"", "", true},
          {"隐藏Sorvane输入法", "Ctrl+H", true},
          {"隐藏其他", "Ctrl+Alt+H", false},
          {"显示全部", "", false},
          {"", "", true},
          {"退出Sorvane输入法", "Ctrl+Q", true}}},
        {"编辑",
         {{"撤销", "Ctrl+Z", true},
          {"重做", "Ctrl+Shift+Z", true},
          {"", "", true},
          {"剪切", "Ctrl+X", true},
          {"拷贝", "Ctrl+C", true},
          {"粘贴", "Ctrl+V", true},
          {"全选", "Ctrl+A", true}}},
        {"窗口", {{"最小化", "Ctrl+M", true}, {"缩放", "", true}, {"", "", true}, {"关闭窗口", "Ctrl+W", true}}},
    };
    for (int m = 0; m < 3; ++m) {
        QMenu* menu = menus[m]->menu();
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(menu->title().toStdString(), expected[m].first);
        const auto items = menu->actions();
        ASSERT_EQ(items.size(), static_cast<qsizetype>(expected[m].second.size())) << expected[m].first;
        for (int i = 0; i < items.size(); ++i) {
            const Item& want = expected[m].second[i];
            EXPECT_EQ(items[i]->isSeparator(), *want.title == '\0');
            EXPECT_EQ(items[i]->text().toStdString(), want.title);
            EXPECT_EQ(items[i]->shortcut().toString(QKeySequence::PortableText).toStdString(), want.keys)
                << want.title;
            EXPECT_EQ(items[i]->isEnabled(), want.enabled) << want.title;
        }
    }
    menus[0]->menu()->actions()[0]->trigger();
    EXPECT_EQ(abouts, 1);
}

}  // namespace
}  // namespace sorvane
