// The home page as drawn: readiness per appearance, the account area and its
// preparation, the route cards and their switches, the narrow layout, and
// taps that lead to the other pages.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QImage>

#include "app/settings/SettingsRootView.h"
#include "app/settings/account/WeChatSignInCard.h"
#include "app/settings/blocks/SettingsLinkRow.h"
#include "app/settings/pages/HomeRouteCardView.h"
#include "app/settings/pages/SettingsHomePage.h"
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

using Source = MacBillingState::Source;

class SettingsHomePageTest : public ::testing::Test {
protected:
    SettingsHomePageTest() { testing::panelTestApp(); }

    std::unique_ptr<SettingsModel> model(std::unique_ptr<MacBillingStore> billing) {
        SettingsModel::Inputs inputs;
        inputs.settingsFile = file_;
        inputs.makeAccount = [this] {
            ++accountsMade_;
            AccountStore::Services services;
            services.baseURL = "http://127.0.0.1:1/brindor/api";
            return std::make_unique<AccountStore>(
                AccountCredentials(std::make_shared<testing::FakeSecretStore>()),
                AppStateFile{home_.path() / "state.json"}, time_, services);
        };
        inputs.billing = std::move(billing);
        inputs.version = "1.0";
        inputs.mainQueue = &time_;
        return std::make_unique<SettingsModel>(std::move(inputs));
    }
    std::unique_ptr<MacBillingStore> liveStore(bool signedIn) {
        MacBillingStore::Services services;
        services.hasToken = [signedIn] { return signedIn; };
        return std::make_unique<MacBillingStore>(services, time_);
    }
    std::unique_ptr<SettingsHomePage> page(SettingsModel& m, int width = 760) {
        SettingsHomePage::Services services;
        services.enabledInSystem = [this] {
            ++readinessAsked_;
            return systemEnabled_;
        };
        auto p = std::make_unique<SettingsHomePage>(m, m.billing(), opener_, services);
        p->resize(width, 900);
        p->show();
        QApplication::processEvents();
        return p;
    }

    testing::TempHome home_;
    testing::RecordingUrlOpener opener_;
    testing::ScopedMemoryKeychain keychain_;
    testing::VirtualTime time_;
    testing::ScopedLogCapture log_;
    std::shared_ptr<testing::RecordingNotificationCenter> center_ =
        std::make_shared<testing::RecordingNotificationCenter>();
    AppSettingsFile file_{home_.path() / "Library" / "SorvaneIME" / "settings.json", center_};
    int accountsMade_ = 0;
    int readinessAsked_ = 0;
    bool systemEnabled_ = false;
};

TEST_F(SettingsHomePageTest, ReadinessIsAskedOnEachAppearanceAndItsRowLeadsToGeneral) {
    auto m = model(liveStore(true));
    auto p = page(*m);
    EXPECT_EQ(readinessAsked_, 1);
    ASSERT_EQ(p->rows().size(), 6u);
    EXPECT_EQ(p->rows()[0]->fields().title, "设置输入法");
    ASSERT_TRUE(p->rows()[0]->isClickable());
    p->rows()[0]->fields().action();
    EXPECT_EQ(m->page(), SettingsPage::general);

    systemEnabled_ = true;
    m->billing().select(Source::credits);  // a redraw keeps the row
    EXPECT_EQ(p->rows()[0]->fields().title, "设置输入法");
    p->hide();
    p->show();
    QApplication::processEvents();
    EXPECT_EQ(readinessAsked_, 2);
    EXPECT_EQ(p->rows()[0]->fields().title, "输入法已就绪");
    EXPECT_EQ(p->rows()[0]->fields().value, "✓");
    EXPECT_FALSE(p->rows()[0]->isClickable());
    EXPECT_EQ(p->rows()[5]->fields().value, "1.0");

    // A preview store is ready whatever the system says.
    systemEnabled_ = false;
    auto preview = model(MacBillingStore::preview(false, MacBillingState::KeyStatus::ok, true, true, time_));
    auto pp = page(*preview);
    EXPECT_EQ(pp->rows()[0]->fields().title, "输入法已就绪");
    EXPECT_EQ(readinessAsked_, 2);

    // The window shows this page for `welcome`.
    SettingsRootView root(*preview, opener_);
    EXPECT_NE(dynamic_cast<SettingsHomePage*>(root.pageView()), nullptr);
}

TEST_F(SettingsHomePageTest, SignedOutWithoutAnAccountStoreAsksForItOnce) {
    auto m = model(liveStore(false));
    auto p = page(*m);
    EXPECT_EQ(accountsMade_, 1);
    ASSERT_NE(m->account(), nullptr);
    m->billing().select(Source::credits);
    QApplication::processEvents();
    EXPECT_EQ(accountsMade_, 1);
    EXPECT_EQ(p->content().account, HomePageContent::AccountArea::signInCard);
    ASSERT_NE(p->signInCard(), nullptr);
    EXPECT_FALSE(p->signInCard()->stacked());

    // Narrow: the same card, restacked.
    WeChatSignInCard* card = p->signInCard();
    p->resize(520, 900);
    QApplication::processEvents();
    EXPECT_EQ(p->signInCard(), card);
    EXPECT_TRUE(card->stacked());
}

TEST_F(SettingsHomePageTest, SwitchesChooseTheRouteAndNarrowWindowsStackTheCards) {
    auto m = model(MacBillingStore::preview(true, MacBillingState::KeyStatus::ok, true, true, time_));
    auto p = page(*m, 900);
    EXPECT_FALSE(p->pairStacked());
    EXPECT_TRUE(p->ownKeyCard()->card().inUse);
    EXPECT_TRUE(p->proxyCard()->card().dimmed);
    ASSERT_NE(p->proxyCard()->switchButton(), nullptr);
    p->proxyCard()->switchButton()->click();
    QApplication::processEvents();
    EXPECT_EQ(m->billing().state().source, Source::credits);
    EXPECT_TRUE(p->proxyCard()->card().inUse);
    EXPECT_EQ(p->ownKeyCard()->switchButton()->text(), "改用 Key");

    p->resize(520, 900);
    QApplication::processEvents();
    EXPECT_TRUE(p->pairStacked());
    EXPECT_LT(p->proxyCard()->geometry().top(), p->ownKeyCard()->geometry().top());

    p->ownKeyCard()->actionButton()->click();
    QApplication::processEvents();
    EXPECT_EQ(m->page(), SettingsPage::ownKey);
}

}  // namespace
}  // namespace sorvane
