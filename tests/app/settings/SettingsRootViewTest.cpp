// The settings window's root view and pages, offscreen, over a model in a
// temporary HOME with a recording notification center.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>

#include "app/settings/SettingsRootView.h"
#include "app/settings/SettingsWindow.h"
#include "app/settings/account/AccountPage.h"
#include "app/settings/blocks/SaveFailureLine.h"
#include "app/settings/blocks/SettingsLinkRow.h"
#include "app/settings/blocks/SettingsSpinner.h"
#include "app/settings/blocks/SettingsSwitch.h"
#include "app/settings/pages/GeneralPage.h"
#include "app/settings/pages/HotkeysPage.h"
#include "app/settings/pages/RewriteServicePage.h"
#include "app/settings/style/SettingsText.h"
#include "tests/app/panels/PanelTestSupport.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/FakeAccountService.h"
#include "tests/support/MemoryKeychain.h"
#include "tests/support/RecordingNotificationCenter.h"
#include "tests/support/RecordingUrlOpener.h"
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
            return std::make_unique<AccountStore>(
                AccountCredentials(std::make_shared<testing::FakeSecretStore>()),
                AppStateFile{home_.path() / "state.json"}, time_, services);
        };
        inputs.billing = std::make_unique<MacBillingStore>(MacBillingStore::Services{}, time_);
        inputs.version = "1.0";
        inputs.mainQueue = &time_;
        return std::make_unique<SettingsModel>(std::move(inputs));
    }

    std::unique_ptr<SettingsRootView> view(SettingsModel& m, int width = 760) {
        auto v = std::make_unique<SettingsRootView>(m, opener_);
        v->resize(width, 780);
        v->show();
        QApplication::processEvents();
        return v;
    }

    static bool spinning(const SettingsRootView& v) {
        if (!v.pageView()) return false;
        const auto children = v.pageView()->findChildren<QWidget*>();
        return std::any_of(children.begin(), children.end(),
                           [](QWidget* w) { return dynamic_cast<SettingsSpinner*>(w) && w->isVisible(); });
    }

    testing::TempHome home_;
    testing::ScopedMemoryKeychain keychain_;
    testing::RecordingUrlOpener opener_;
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
    EXPECT_TRUE(spinning(*v));
    m->prepareAccount();
    EXPECT_FALSE(spinning(*v));
    EXPECT_TRUE(dynamic_cast<AccountPage*>(v->pageView()));
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

void click(QWidget& widget) {
    const QPointF at = QRectF(widget.rect()).center();
    QMouseEvent press(QEvent::MouseButtonPress, at, widget.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, widget.mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(&widget, &press);
    QApplication::sendEvent(&widget, &release);
}

// Picks a toggle key as the user does.
void choose(HotkeysPage& page, ToggleKey key) {
    const int index = page.picker()->findData(static_cast<int>(key));
    page.picker()->setCurrentIndex(index);
    emit page.picker()->activated(index);
}

TEST_F(SettingsRootViewTest, HotkeysPageOffKeepsTheStoredLock) {
    auto m = model(SettingsPage::hotkeys);
    auto v = view(*m);
    auto* page = dynamic_cast<HotkeysPage*>(v->pageView());
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(page->lockSwitch()->isChecked());
    choose(*page, ToggleKey::off);
    EXPECT_EQ(file_.load()->toggleKey, ToggleKey::off);
    EXPECT_FALSE(page->lockRow()->isEnabled());
    EXPECT_FALSE(page->lockSwitch()->isChecked());
    EXPECT_EQ(page->descriptionLine()->text(), HotkeysPage::description(ToggleKey::off));
    EXPECT_TRUE(file_.load()->doubleShiftLock) << "the stored lock is untouched";
    choose(*page, ToggleKey::leftShift);
    EXPECT_TRUE(page->lockRow()->isEnabled());
    EXPECT_TRUE(page->lockSwitch()->isChecked());
    EXPECT_EQ(page->descriptionLine()->text().toStdString(),
              "只有左 Shift 切换，右 Shift 用来打大写和符号。");
    page->lockSwitch()->click();
    EXPECT_FALSE(file_.load()->doubleShiftLock);
    EXPECT_FALSE(m->lockSwitch());
}

TEST_F(SettingsRootViewTest, HotkeysPageUndoesARefusedChangeAndSaysWhy) {
    auto m = model(SettingsPage::hotkeys);
    auto v = view(*m);
    auto* page = dynamic_cast<HotkeysPage*>(v->pageView());
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(page->saveFailureLine()->isHidden());
    std::filesystem::create_directories(file_.url);  // a folder where the file belongs
    page->lockSwitch()->click();
    EXPECT_TRUE(page->lockSwitch()->isChecked());
    choose(*page, ToggleKey::off);
    EXPECT_EQ(page->picker()->currentText(), HotkeysPage::pickerTitle(ToggleKey::eitherShift));
    EXPECT_FALSE(page->saveFailureLine()->isHidden());
    EXPECT_EQ(page->saveFailureLine()->text().toStdString(), m->saveFailure().value_or(""));

    std::filesystem::remove(file_.url);
    page->lockSwitch()->click();
    EXPECT_FALSE(page->lockSwitch()->isChecked());
    EXPECT_TRUE(page->saveFailureLine()->isHidden());
}

TEST_F(SettingsRootViewTest, GeneralPageWritesEachRealChangeAndOpensThePane) {
    auto m = model(SettingsPage::general);
    auto v = view(*m);
    auto* page = dynamic_cast<GeneralPage*>(v->pageView());
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(page->updateSwitch()->isChecked());
    page->updateSwitch()->click();
    EXPECT_EQ(file_.load()->autoCheckUpdates, false);
    page->updateSwitch()->click();
    EXPECT_EQ(file_.load()->autoCheckUpdates, true);
    EXPECT_EQ(center_->posted().size(), 2u);

    click(*page->keyboardRow());
    ASSERT_EQ(opener_.opened.size(), 1);
    EXPECT_EQ(opener_.opened[0].toString().toStdString(),
              "x-apple.systempreferences:com.apple.Keyboard-Settings.extension");
    click(*page->updatesRow());
    EXPECT_EQ(m->page(), SettingsPage::about);
    EXPECT_EQ(v->titleText().toStdString(), "关于与支持");
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // the page that was clicked goes now
}

TEST_F(SettingsRootViewTest, ServicePageOwnKeyRowOpensTheKeyPageOrMovesTheCheck) {
    auto m = model(SettingsPage::service);
    auto v = view(*m);
    auto* page = dynamic_cast<RewriteServicePage*>(v->pageView());
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->proxyRow()->fields().value, QStringLiteral("✓"));
    EXPECT_EQ(page->ownKeyRow()->fields().value, QStringLiteral("管理"));
    EXPECT_EQ(page->ownKeyRow()->fields().subtitle, QStringLiteral("还没填写 Key"));
    click(*page->ownKeyRow());
    EXPECT_EQ(m->page(), SettingsPage::ownKey) << "no key: the key page";
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // With a key recorded (as the key page leaves it) the row chooses the route.
    MacBillingStateFile::live().save(
        MacBillingState(MacBillingState::Source::credits, "8f2a", MacBillingState::KeyStatus::ok));
    v.reset();
    m = model(SettingsPage::service);
    v = view(*m);
    page = dynamic_cast<RewriteServicePage*>(v->pageView());
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->ownKeyRow()->fields().subtitle, QStringLiteral("sk-••••8f2a"));
    click(*page->ownKeyRow());
    EXPECT_EQ(m->page(), SettingsPage::service);
    EXPECT_EQ(MacBillingStateFile::live().load()->source, MacBillingState::Source::ownKey);
    EXPECT_EQ(page->ownKeyRow()->fields().value, QStringLiteral("✓"));
    EXPECT_EQ(page->proxyRow()->fields().value, std::nullopt);
    click(*page->proxyRow());
    EXPECT_EQ(MacBillingStateFile::live().load()->source, MacBillingState::Source::credits);
    EXPECT_EQ(page->proxyRow()->fields().value, QStringLiteral("✓"));
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
        {"窗口",
         {{"最小化", "Ctrl+M", true}, {"缩放", "", true}, {"", "", true}, {"关闭窗口", "Ctrl+W", true}}},
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
