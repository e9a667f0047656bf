#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>

#include "app/settings/blocks/SettingsButton.h"
#include "app/settings/blocks/SettingsGroup.h"
#include "app/settings/blocks/SettingsLink.h"
#include "app/settings/pages/MacOwnKeyPage.h"
#include "app/settings/pages/SettingsPrivacyPage.h"
#include "app/settings/style/SettingsText.h"
#include "app/settings/style/SettingsTheme.h"
#include "platform/files/Files.h"
#include "tests/app/panels/PanelTestSupport.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/RecordingUrlOpener.h"
#include "tests/support/TempHome.h"
#include "tests/support/VirtualTime.h"

namespace sorvane {
namespace {

using namespace std::chrono_literals;

class SettingsKeyPagesTest : public ::testing::Test {
protected:
    SettingsKeyPagesTest() {
        testing::panelTestApp();
        SettingsTheme::setAppearance(SettingsAppearance::light);
        server->Get("/user/balance",
                    [](const httplib::Request&, httplib::Response& response) { response.status = 200; });
        server.start();
        MacBillingStore::Services services;
        services.stateFile = AppStateFile{Files::supportDirectory() / "state.json"};
        services.keyStore = {[this](std::string_view key) -> Expected<void, Secrets::KeychainError> {
                                 stored = std::string(key);
                                 return {};
                             },
                             [this] { return stored; },
                             [this]() -> Expected<void, Secrets::KeychainError> {
                                 stored.reset();
                                 return {};
                             }};
        services.verifyKey = [url = server.baseURL()](const std::string& key, HttpCancellation& stop) {
            return DeepSeekKeyCheck{nullptr, url, 2s}.verify(key, &stop);
        };
        services.hasToken = [] { return true; };
        store = std::make_unique<MacBillingStore>(services, time);
    }

    bool pumpUntil(const std::function<bool()>& done) {
        return testing::pumpUntil([&] {
            time.runPending();
            return done();
        });
    }

    testing::ScopedLogCapture log;
    testing::TempHome home;
    testing::VirtualTime time;
    testing::LoopbackServer server;
    testing::RecordingUrlOpener opener;
    std::optional<std::string> stored;
    std::unique_ptr<MacBillingStore> store;
};

TEST_F(SettingsKeyPagesTest, PagesFollowASavedAndARemovedKey) {
    MacOwnKeyPage keyPage(*store, opener);
    SettingsPrivacyPage privacyPage(*store, opener);
    EXPECT_FALSE(keyPage.showsRecordedKey());
    EXPECT_EQ(keyPage.keyFieldGroup()->title()->text(), "API Key");
    EXPECT_EQ(privacyPage.pathLine()->text(), "这台 Mac → Kestrum服务器 → DeepSeek");
    EXPECT_FALSE(keyPage.saveButton()->isEnabled());

    const QString key = "sk-" + QString(17, 'k') + "1234";
    keyPage.keyField()->setText(key);
    ASSERT_TRUE(keyPage.saveButton()->isEnabled());
    keyPage.saveButton()->click();
    EXPECT_FALSE(keyPage.saveButton()->isEnabled());  // while the check runs
    ASSERT_TRUE(pumpUntil([&] { return keyPage.showsRecordedKey(); }));

    EXPECT_EQ(stored, key.toStdString());
    EXPECT_TRUE(keyPage.keyField()->text().isEmpty());
    EXPECT_EQ(keyPage.keyShortLine()->text(), "sk-••••1234");
    EXPECT_EQ(keyPage.keyStatusLine()->text(), "可用 · 改写直连 DeepSeek");
    EXPECT_EQ(keyPage.keyFieldGroup()->title()->text(), "更换 Key");
    EXPECT_EQ(keyPage.messageLine()->text(), "已保存，改写将直连 DeepSeek。");
    EXPECT_EQ(privacyPage.pathLine()->text(), "这台 Mac → DeepSeek");
    EXPECT_EQ(privacyPage.explanation()->text(),
              "正在输入的那句话直接发送到 DeepSeek，不经过Kestrum服务器。");

    keyPage.removeButton()->click();
    EXPECT_FALSE(keyPage.showsRecordedKey());
    EXPECT_FALSE(stored);
    EXPECT_EQ(keyPage.keyFieldGroup()->title()->text(), "API Key");
    EXPECT_EQ(privacyPage.pathLine()->text(), "这台 Mac → Kestrum服务器 → DeepSeek");
}

TEST_F(SettingsKeyPagesTest, PreviewStoreDisablesEveryKeyAction) {
    auto preview = MacBillingStore::preview(true, MacBillingState::KeyStatus::ok, true, true, time);
    MacOwnKeyPage page(*preview, opener);
    page.keyField()->setText("sk-" + QString(20, 'p'));
    EXPECT_TRUE(page.showsRecordedKey());
    EXPECT_FALSE(page.saveButton()->isEnabled());
    EXPECT_FALSE(page.recheckButton()->isEnabled());
    EXPECT_FALSE(page.removeButton()->isEnabled());
}

TEST_F(SettingsKeyPagesTest, ExplanationWrapsInANarrowWindowInsteadOfBeingCut) {
    SettingsPrivacyPage page(*store, opener);
    page.setAttribute(Qt::WA_DontShowOnScreen);
    page.resize(520, 640);
    page.show();
    QApplication::processEvents();
    SettingsText* explanation = page.explanation();
    EXPECT_GT(explanation->height(), explanation->sizeHint().height());  // more than one line
    EXPECT_EQ(explanation->height(), explanation->heightForWidth(explanation->width()));
}

TEST_F(SettingsKeyPagesTest, LinksOpenThroughTheOpener) {
    SettingsPrivacyPage page(*store, opener);
    page.setAttribute(Qt::WA_DontShowOnScreen);
    page.resize(700, 600);
    page.show();
    QApplication::processEvents();
    QList<SettingsLink*> links;
    for (QWidget* child : page.findChildren<QWidget*>()) {
        if (auto* link = dynamic_cast<SettingsLink*>(child)) links.append(link);
    }
    ASSERT_EQ(links.size(), 2);
    for (SettingsLink* link : links) {
        const QPointF centre(link->width() / 2.0, link->height() / 2.0);
        QMouseEvent press(QEvent::MouseButtonPress, centre, centre, Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, centre, centre, Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(link, &press);
        QApplication::sendEvent(link, &release);
    }
    EXPECT_EQ(opener.opened, (QList<QUrl>{QUrl("https://www.sorvane.example/brindor/sorvane/privacy"),
                                          QUrl("https://www.sorvane.example/brindor/sorvane/terms")}));
}

}  // namespace
}  // namespace sorvane
