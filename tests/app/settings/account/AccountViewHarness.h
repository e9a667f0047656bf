#pragma once
// The account views over a real AccountStore that talks to the loopback
// account service, with a fake web engine and the Qt event loop as the main
// queue.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>

#include "app/settings/style/SettingsText.h"
#include "kit/account/AccountStore.h"
#include "platform/qt/QtMainQueue.h"
#include "tests/app/panels/PanelTestSupport.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/FakeAccountService.h"
#include "tests/support/FakeWebView.h"
#include "tests/support/MemoryUserDefaults.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/TempHome.h"

namespace sorvane::testing {

inline constexpr const char* kConfigReply =
    R"({"success":true,"data":{"appId":"wx1","redirectUri":"https://r.example/cb"}})";
inline constexpr const char* kLoginReply =
    R"({"success":true,"data":{"token":"T1","user":{"id":7,"nickname":"小明"}}})";

class AccountViewTest : public ::testing::Test {
protected:
    AccountViewTest() { panelTestApp(); }

    std::unique_ptr<AccountStore> makeStore(bool consent) {
        AppStateFile stateFile{dir.path() / "state.json"};
        if (consent) {
            EXPECT_TRUE(stateFile.acceptTerms("2026-09-15"));
        }
        return std::make_unique<AccountStore>(AccountCredentials(secrets), stateFile, QtMainQueue::shared(),
                                              AccountStore::Services{service.baseURL(), nullptr, defaults});
    }

    // Our widgets have no meta-object of their own, so qobject_cast (and with
    // it findChildren<T*>) cannot tell them apart: look them up by type.
    template <class T>
    static T* findText(QWidget& root, const QString& text) {
        for (QWidget* widget : root.findChildren<QWidget*>()) {
            auto* w = dynamic_cast<T*>(widget);
            if (w && w->isVisibleTo(&root) && w->text() == text) return w;
        }
        return nullptr;
    }
    // Clicks the visible button with this title; false when there is none.
    static bool click(QWidget& root, const QString& title) {
        auto* button = findText<QAbstractButton>(root, title);
        if (button) button->click();
        return button != nullptr;
    }
    static bool showsText(QWidget& root, const QString& text) {
        return findText<SettingsText>(root, text) || findText<QAbstractButton>(root, text);
    }

    ScopedLogCapture log;
    TempDir dir;
    FakeAccountService service;
    std::shared_ptr<FakeSecretStore> secrets = std::make_shared<FakeSecretStore>();
    std::shared_ptr<MemoryUserDefaults> defaults = std::make_shared<MemoryUserDefaults>();
    FakeWebViewFactory engine;
};

}  // namespace sorvane::testing
