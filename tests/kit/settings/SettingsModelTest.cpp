// The settings window's model without any view: what it writes, what it
// posts, and when it makes the account store.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <thread>

#include "kit/settings/SettingsHomePresenter.h"
#include "kit/settings/SettingsModel.h"
#include "platform/files/UserDefaults.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/FakeAccountService.h"
#include "tests/support/FilePermissions.h"
#include "tests/support/MemoryKeychain.h"
#include "tests/support/RecordingNotificationCenter.h"
#include "tests/support/TempHome.h"
#include "tests/support/VirtualTime.h"

namespace sorvane {
namespace {

namespace fs = std::filesystem;
using Kind = AccountStore::LoginState::Kind;

class SettingsModelTest : public ::testing::Test {
protected:
    std::unique_ptr<SettingsModel> model(bool postsChanges = true,
                                         SettingsPage page = SettingsPage::welcome) {
        SettingsModel::Inputs inputs;
        inputs.page = page;
        inputs.settingsFile = file_;
        inputs.postsChanges = postsChanges;
        inputs.makeAccount = [this] {
            ++accountsMade_;
            AccountStore::Services services;
            services.baseURL = "http://127.0.0.1:1/brindor/api";
            return std::make_unique<AccountStore>(AccountCredentials(secrets_),
                                                  AppStateFile{home_.path() / "s.json"}, time_, services);
        };
        inputs.billing = std::make_unique<MacBillingStore>(MacBillingStore::Services{}, time_);
        inputs.version = "1.2.3";
        inputs.mainQueue = &time_;
        return std::make_unique<SettingsModel>(std::move(inputs));
    }

    std::optional<std::string> fileText() const {
        std::ifstream in(file_.url);
        if (!in) return std::nullopt;
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    testing::TempHome home_;
    testing::ScopedMemoryKeychain keychain_;
    testing::VirtualTime time_;
    testing::ScopedLogCapture log_;
    std::shared_ptr<testing::RecordingNotificationCenter> center_ =
        std::make_shared<testing::RecordingNotificationCenter>();
    AppSettingsFile file_{home_.path() / "Library" / "SorvaneIME" / "settings.json", center_};
    std::shared_ptr<testing::FakeSecretStore> secrets_ = std::make_shared<testing::FakeSecretStore>();
    int accountsMade_ = 0;
};

TEST_F(SettingsModelTest, ReadsTheFileKeyByKeyAndFallsBackToDefaults) {
    struct Case {
        const char* text;  // nullptr: no file
        AppSettings expected;
    };
    const Case cases[] = {
        {nullptr, AppSettings{}},
        {"not json", AppSettings{}},
        {R"({"toggleKey": "off"})", AppSettings{ToggleKey::off, true, AcceptKeys::tabNormalized, true}},
        {R"({"toggleKey": "rightShift", "doubleShiftLock": false, "acceptKeys": "tabFull",
             "autoCheckUpdates": false})",
         AppSettings{ToggleKey::rightShift, false, AcceptKeys::tabFull, false}},
    };
    for (const auto& c : cases) {
        fs::remove(file_.url);
        if (c.text) {
            ASSERT_TRUE(Files::atomicWrite(file_.url, c.text));
        }
        EXPECT_EQ(model()->settings(), c.expected) << (c.text ? c.text : "(none)");
    }
    EXPECT_TRUE(center_->posted().empty());
}

TEST_F(SettingsModelTest, OnlyRealChangesAreWrittenAndOnlyTheLiveKindPosts) {
    for (const bool posts : {true, false}) {
        fs::remove(file_.url);
        const auto postedBefore = center_->posted().size();
        auto m = model(posts);
        int told = 0;
        const auto watch = m->observeChanges([&] { ++told; });
        m->setSettings(AppSettings{});
        EXPECT_EQ(fileText(), std::nullopt) << "an equal value writes nothing";
        EXPECT_EQ(center_->posted().size(), postedBefore);
        EXPECT_EQ(told, 1);

        AppSettings changed;
        changed.autoCheckUpdates = false;
        m->setSettings(changed);
        EXPECT_EQ(file_.load(), changed);
        EXPECT_EQ(center_->posted().size(), postedBefore + (posts ? 1 : 0));
        if (posts) {
            EXPECT_EQ(center_->posted().back().first, AppSettingsFile::changedNotification);
        }
    }
}

// A change writes what the user changed. The rest of the file keeps its
// text: a newer version's value of a known key, keys this version does not
// know, numbers the JSON library cannot hold; so does the user-defaults file
// when another key is set, also after a byte-order mark.
TEST_F(SettingsModelTest, ASaveKeepsWhatTheUserDidNotChange) {
    ASSERT_TRUE(Files::atomicWrite(file_.url, R"({"toggleKey":"middleShift","doubleShiftLock":"yes",
        "serial":1234567890123456789012345,"theme":{"accent":"teal"},"autoCheckUpdates":true})"));
    auto m = model();
    AppSettings next = m->settings();
    next.autoCheckUpdates = false;
    m->setSettings(next);
    const std::string kept =
        "  \"doubleShiftLock\": \"yes\",\n"
        "  \"serial\": 1234567890123456789012345,\n"
        "  \"theme\": {\n    \"accent\": \"teal\"\n  },\n";
    // The absent acceptKeys is written: the file holds every known key.
    EXPECT_EQ(fileText(), "{\n  \"acceptKeys\": \"tabNormalized\",\n  \"autoCheckUpdates\": false,\n" + kept +
                              "  \"toggleKey\": \"middleShift\"\n}");
    EXPECT_TRUE(log_->messages().empty());
    next.toggleKey = ToggleKey::leftShift;
    m->setSettings(next);
    EXPECT_EQ(fileText(), "{\n  \"acceptKeys\": \"tabNormalized\",\n  \"autoCheckUpdates\": false,\n" + kept +
                              "  \"toggleKey\": \"leftShift\"\n}");
    EXPECT_EQ(log_->messages(),
              std::vector<std::string>{"[Sorvane] settings: replaced unreadable values of toggleKey"});
    EXPECT_EQ(center_->posted().size(), 2u);

    const auto defaultsFile = home_.path() / "Library" / "Preferences" / "cn.example.json";
    FileUserDefaults defaults{defaultsFile};
    for (const std::string byteOrderMark : {"", "\xEF\xBB\xBF"}) {
        ASSERT_TRUE(Files::atomicWrite(defaultsFile, byteOrderMark + R"({"big": 1234567890123456789012345,
            "round": 100000000000000000000, "tiny": 1e-400, "subnormal": 1.23456e-320, "plain": 2.50})"));
        ASSERT_TRUE(defaults.setBool("mine", true));
        EXPECT_EQ(
            Files::readFile(defaultsFile).valueOr(""),
            "{\n  \"big\": 1234567890123456789012345,\n  \"mine\": true,\n  \"plain\": 2.5,\n"
            "  \"round\": 100000000000000000000,\n  \"subnormal\": 1.23456e-320,\n  \"tiny\": 1e-400\n}")
            << byteOrderMark.size();
        struct stat st {};
        ASSERT_EQ(::stat(defaultsFile.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
}

// A change made on the general page never costs the user what the file held:
// a file the window cannot read stays as it is, with its mode, and the change
// is not written; one that is not a JSON object is set aside once.
TEST_F(SettingsModelTest, AFileItCannotReadStaysAndACorruptOneIsSetAside) {
    AppSettings change;
    change.autoCheckUpdates = false;
    const std::string choices = R"({"toggleKey": "rightShift"})";
    auto typeAndMode = [&] {
        struct stat st {};
        ::lstat(file_.url.c_str(), &st);
        return static_cast<unsigned>(st.st_mode);
    };
    auto changeThroughTheModel = [&] {
        auto m = model();
        EXPECT_EQ(m->settings(), AppSettings{});
        m->setSettings(change);
    };

    fs::create_directories(file_.url.parent_path());
    ASSERT_EQ(::mkfifo(file_.url.c_str(), 0640), 0);
    changeThroughTheModel();
    EXPECT_EQ(typeAndMode(), S_IFIFO | 0640u);
    EXPECT_EQ(log_->messages().back(),
              "[Sorvane] settings not written: Not a regular file (" + file_.url.string() + ")");

    fs::remove(file_.url);
    const std::string torn = R"({"toggleKey": "rightSh)";
    ASSERT_TRUE(Files::atomicWrite(file_.url, torn));
    log_->clear();
    changeThroughTheModel();
    auto again = model();
    change.toggleKey = ToggleKey::leftShift;
    again->setSettings(change);
    EXPECT_EQ(file_.load(), change);
    std::vector<fs::path> kept;
    for (const auto& entry : fs::directory_iterator(file_.url.parent_path()))
        if (entry.path().filename().string().starts_with("settings.json.corrupt-"))
            kept.push_back(entry.path());
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(Files::readFile(kept[0]).value(), torn);
    EXPECT_EQ(log_->messages(),
              (std::vector<std::string>{"[Sorvane] settings unreadable as a JSON object, kept as " +
                                        kept[0].string()}));
    EXPECT_EQ(center_->posted().size(), 2u) << "only the two changes that were written";

    ASSERT_TRUE(Files::atomicWrite(file_.url, choices));
    ::chmod(file_.url.c_str(), 0);
    log_->clear();
    {
        testing::ScopedFilePermissions permissions;
        if (!permissions.enforced()) GTEST_SKIP() << "file permissions cannot be enforced here";
        changeThroughTheModel();
    }
    EXPECT_EQ(typeAndMode(), S_IFREG | 0u);
    ::chmod(file_.url.c_str(), 0600);
    EXPECT_EQ(Files::readFile(file_.url).valueOr("<unreadable>"), choices);
    EXPECT_EQ(log_->messages(),
              (std::vector<std::string>{"[Sorvane] settings not written: Permission denied (" +
                                        file_.url.string() + ")"}));
    EXPECT_EQ(center_->posted().size(), 2u);
}

// A change the file refuses is not taken: the window shows the stored value
// and why, the server hears of nothing. The line goes with a change of page or
// the next change that is saved.
TEST_F(SettingsModelTest, ARefusedChangeKeepsTheStoredValueAndSaysWhy) {
    const AppSettings stored{ToggleKey::leftShift, true, AcceptKeys::tabNormalized, true};
    ASSERT_TRUE(file_.save(stored, false));
    auto m = model();
    std::vector<std::pair<AppSettings, std::optional<std::string>>> seen;
    const auto watch = m->observeChanges([&] { seen.emplace_back(m->settings(), m->saveFailure()); });
    fs::remove(file_.url);
    ASSERT_EQ(::mkfifo(file_.url.c_str(), 0600), 0);  // refused even for root

    m->setLockSwitch(false);
    const std::optional<std::string> why{"更改未能保存：现有的设置文件无法读取。仍在使用之前的设置。"};
    EXPECT_EQ(m->settings(), stored);
    EXPECT_TRUE(m->lockSwitch());
    EXPECT_EQ(m->saveFailure(), why);
    EXPECT_EQ(seen, (decltype(seen){{stored, why}}));
    m->show(SettingsPage::general);
    EXPECT_FALSE(m->saveFailure());
    AppSettings next = stored;
    next.autoCheckUpdates = false;
    m->setSettings(next);
    EXPECT_EQ(m->saveFailure(), why);
    EXPECT_TRUE(center_->posted().empty());

    fs::remove(file_.url);
    m->setSettings(next);
    EXPECT_EQ(m->settings(), next);
    EXPECT_FALSE(m->saveFailure());
    EXPECT_EQ(file_.load(), next);
    EXPECT_EQ(center_->posted().size(), 1u);
}

TEST_F(SettingsModelTest, LockSwitchFollowsTheToggleKey) {
    auto m = model();
    m->setLockSwitch(false);
    EXPECT_FALSE(m->settings().doubleShiftLock);
    m->setLockSwitch(true);
    ASSERT_TRUE(m->lockSwitch());

    AppSettings off = m->settings();
    off.toggleKey = ToggleKey::off;
    m->setSettings(off);
    const auto posted = center_->posted().size();
    EXPECT_FALSE(m->lockSwitch()) << "reads off although the stored lock is on";
    m->setLockSwitch(false);
    m->setLockSwitch(true);
    EXPECT_EQ(m->settings(), off);
    EXPECT_EQ(file_.load(), off);
    EXPECT_EQ(center_->posted().size(), posted);

    off.toggleKey = ToggleKey::leftShift;
    m->setSettings(off);
    EXPECT_TRUE(m->lockSwitch()) << "the stored value shows again";
}

TEST_F(SettingsModelTest, TheAccountPageMakesAndStartsOneStore) {
    auto m = model();
    EXPECT_EQ(m->account(), nullptr);
    m->show(SettingsPage::hotkeys);
    EXPECT_EQ(accountsMade_, 0);
    m->show(SettingsPage::account);
    AccountStore* store = m->account();
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(store->login().kind, Kind::checking);
    time_.runPending();  // its start-up check: no token, no consent
    EXPECT_EQ(store->login().kind, Kind::loggedOut);
    m->show(SettingsPage::welcome);
    m->show(SettingsPage::account);
    m->prepareAccount();
    EXPECT_EQ(m->account(), store);
    EXPECT_EQ(accountsMade_, 1);
}

TEST_F(SettingsModelTest, TheLiveModelOnTheAccountPage) {
    auto m = SettingsModel::live(SettingsPage::account, time_);
    EXPECT_EQ(m->page(), SettingsPage::account);
    ASSERT_NE(m->account(), nullptr);
    AccountStore* store = m->account();
    EXPECT_EQ(m->version(), "开发构建") << "the test binary's bundle has no Info.plist";
    EXPECT_EQ(m->noticesURL(), std::nullopt);
    EXPECT_EQ(m->updatePreview(), nullptr);
    time_.runPending();
    EXPECT_EQ(store->login().kind, Kind::loggedOut);
    m->show(SettingsPage::account);
    EXPECT_EQ(m->account(), store);
}

TEST_F(SettingsModelTest, OnlySettledLoginStatesRefreshTheRouteStore) {
    auto m = model();
    m->show(SettingsPage::account);
    time_.runPending();  // the store's start-up check settles as signed out
    MacBillingStore& billing = m->billing();
    EXPECT_FALSE(billing.signedIn());
    keychain_->put("cn.kestrum.inputmethod", "brindor-auth-token", "token");
    m->account()->setLogin(AccountStore::LoginState::checking());
    time_.runPending();
    EXPECT_FALSE(billing.signedIn()) << "checking settles nothing";
    m->account()->setLogin(AccountStore::LoginState::loggedIn(AccountUser{7, "小明", std::nullopt}));
    EXPECT_FALSE(billing.signedIn()) << "asked on the main queue, once the login is set";
    time_.runPending();
    EXPECT_TRUE(billing.signedIn());
    m->account()->setLogin(AccountStore::LoginState::loggedOut());
    m.reset();
    time_.runPending();  // a model that is gone does nothing
}

// A token is stored and the service is out of reach: the home page (through
// the route store) and the account page (the account store) show one state,
// still signed in with the error beside it, and the token stays.
TEST_F(SettingsModelTest, HomeAndAccountPagesShowOneStateWhenTheTokenCannotBeChecked) {
    keychain_->put("cn.kestrum.inputmethod", "brindor-auth-token", "T");
    ASSERT_TRUE(secrets_->write("T", "brindor-auth-token"));
    auto m = model();
    const SettingsHomePresenter home;
    const auto homeArea = [&] {
        HomePageInput input;
        input.signedIn = m->billing().signedIn();
        input.hasAccountStore = m->account() != nullptr;
        return home.content(input).account;
    };
    EXPECT_EQ(homeArea(), HomePageContent::AccountArea::summaryRow);

    m->show(SettingsPage::account);
    AccountStore& store = *m->account();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!store.errorMessage() && std::chrono::steady_clock::now() < deadline) {
        time_.runPending();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    time_.runPending();  // the route store hears of the settled state
    ASSERT_TRUE(store.errorMessage());
    EXPECT_EQ(store.login(), AccountStore::LoginState::loggedIn(std::nullopt));
    EXPECT_TRUE(m->billing().signedIn());
    EXPECT_EQ(homeArea(), HomePageContent::AccountArea::summaryRow);
    EXPECT_EQ(secrets_->read("brindor-auth-token"), "T");
}

TEST_F(SettingsModelTest, ANewPageDropsTheRouteStoresMessage) {
    auto m = model();
    m->billing().select(MacBillingState::Source::ownKey);  // no key yet
    ASSERT_EQ(m->billing().message(), "先填写 DeepSeek Key。");
    m->show(SettingsPage::welcome);
    EXPECT_TRUE(m->billing().message()) << "the same page keeps it";
    m->show(SettingsPage::service);
    EXPECT_FALSE(m->billing().message());
}

TEST_F(SettingsModelTest, VersionText) {
    EXPECT_EQ(SettingsModel::versionText("0.4.1"), "0.4.1");
    EXPECT_EQ(SettingsModel::versionText(std::nullopt), "开发构建");
}

}  // namespace
}  // namespace sorvane
