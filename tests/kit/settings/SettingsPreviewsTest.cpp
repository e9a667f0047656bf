// The preview models: fixed contents, files of their own, and nothing of the
// user's (HOME, keychain, user defaults, the settings-changed notification)
// read or touched.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "kit/settings/PreviewFiles.h"
#include "kit/settings/SettingsPreviews.h"
#include "platform/NotificationCenter.h"
#include "platform/files/UserDefaults.h"
#include "tests/support/MemoryKeychain.h"
#include "tests/support/RecordingNotificationCenter.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempHome.h"
#include "tests/support/VirtualTime.h"

namespace sorvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Every file under `root` with its contents.
std::map<fs::path, std::string> tree(const fs::path& root) {
    std::map<fs::path, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::string bytes;
        if (entry.is_regular_file()) {
            std::ifstream in(entry.path(), std::ios::binary);
            bytes.assign(std::istreambuf_iterator<char>(in), {});
        }
        files[entry.path()] = bytes;
    }
    return files;
}

class SettingsPreviewsTest : public ::testing::Test {
protected:
    SettingsPreviewsTest() : tmp_("TMPDIR", temp_.path().string()) {
        previous_ = NotificationCenter::setShared(center_);
    }
    ~SettingsPreviewsTest() override {
        NotificationCenter::setShared(previous_);
        PreviewFiles::removeAll();
    }

    std::vector<fs::path> previewFolders() const {
        std::vector<fs::path> folders;
        for (const auto& entry : fs::directory_iterator(temp_.path())) folders.push_back(entry.path());
        std::sort(folders.begin(), folders.end());
        return folders;
    }

    testing::TempHome home_;
    testing::TempDir temp_;
    testing::ScopedEnvironment tmp_;
    testing::ScopedMemoryKeychain keychain_;
    std::shared_ptr<testing::RecordingNotificationCenter> center_ =
        std::make_shared<testing::RecordingNotificationCenter>();
    std::shared_ptr<NotificationCenter> previous_;
    testing::VirtualTime time_;
};

TEST_F(SettingsPreviewsTest, TheSeventeenStatesInOrderTouchingNothingOfTheUsers) {
    const auto before = tree(home_.path());
    using Page = SettingsPage;
    const std::vector<std::pair<std::string, SettingsPage>> expected = {{"welcome", Page::welcome},
                                                                        {"welcome-signed-out", Page::welcome},
                                                                        {"welcome-signing-in", Page::welcome},
                                                                        {"welcome-own-key", Page::welcome},
                                                                        {"service", Page::service},
                                                                        {"own-key-signed-out", Page::ownKey},
                                                                        {"own-key", Page::ownKey},
                                                                        {"own-key-filled", Page::ownKey},
                                                                        {"privacy", Page::privacy},
                                                                        {"account-signed-out", Page::account},
                                                                        {"account-signed-in", Page::account},
                                                                        {"hotkeys", Page::hotkeys},
                                                                        {"hotkeys-off", Page::hotkeys},
                                                                        {"general", Page::general},
                                                                        {"about", Page::about},
                                                                        {"rhythm", Page::rhythm},
                                                                        {"rhythm-empty", Page::rhythm}};
    for (int round = 0; round < 2; ++round) {
        const auto states = SettingsPreviews::states(time_);
        std::vector<std::pair<std::string, SettingsPage>> names;
        for (const auto& state : states) {
            names.emplace_back(state.name, state.model->page());
            EXPECT_TRUE(state.model->billing().isPreview());
            EXPECT_EQ(state.model->version(), "0.2.0");
        }
        EXPECT_EQ(names, expected);
        const auto& off = *states[12].model;
        EXPECT_EQ(off.settings().toggleKey, ToggleKey::off);
        EXPECT_EQ(off.settings().acceptKeys, AcceptKeys::tabFull);
        EXPECT_EQ(states[11].model->settings(), AppSettings{});
        EXPECT_EQ(states[15].model->rhythmSnapshot().samples.size(),
                  TypingRhythm::Snapshot::preview(std::chrono::system_clock::now()).samples.size());
        EXPECT_TRUE(states[16].model->rhythmSnapshot().samples.empty());
        EXPECT_EQ(states[10].model->account()->login().user->nickname, "Sorvane用户");
        EXPECT_EQ(states[7].model->billing().state().keySuffix, "8f2a");
        EXPECT_FALSE(states[5].model->billing().signedIn());
    }
    // Seventeen settings folders per round, each of its own; nothing else.
    const auto folders = previewFolders();
    EXPECT_EQ(folders.size(), 34u);
    for (const auto& folder : folders) {
        EXPECT_EQ(folder.filename().string().rfind("sorvane-settings-preview-", 0), 0u) << folder;
        EXPECT_TRUE(fs::is_regular_file(folder / "settings.json"));
    }
    EXPECT_EQ(tree(home_.path()), before);
    EXPECT_EQ(keychain_->itemCount(), 0u);
    EXPECT_EQ(keychain_->adds() + keychain_->updates() + keychain_->removes(), 0);
    EXPECT_TRUE(center_->posted().empty());
}

TEST_F(SettingsPreviewsTest, AChangeRewritesOnlyItsOwnFileAndPostsNothing) {
    auto first = SettingsPreviews::model({}, time_);
    auto second = SettingsPreviews::model({}, time_);
    const auto folders = previewFolders();
    ASSERT_EQ(folders.size(), 2u);
    const auto contents = tree(temp_.path());

    AppSettings changed;
    changed.toggleKey = ToggleKey::leftShift;
    first->setSettings(changed);
    const auto after = tree(temp_.path());
    int rewritten = 0;
    for (const auto& [path, bytes] : after) rewritten += contents.at(path) != bytes;
    EXPECT_EQ(rewritten, 1);
    EXPECT_EQ(first->settings(), changed);
    const auto stored = [&](int i) {
        return AppSettingsFile{folders[i] / "settings.json", nullptr}.load().value_or(AppSettings{});
    };
    EXPECT_NE(stored(0) == changed, stored(1) == changed);
    EXPECT_TRUE(center_->posted().empty());
    EXPECT_FALSE(fs::exists(home_.path() / "Library" / "SorvaneIME" / "settings.json"));
}

TEST_F(SettingsPreviewsTest, TheAccountNameKeepsItsThreeValuesApart) {
    const std::optional<std::optional<std::string>> cases[] = {std::nullopt, std::optional<std::string>{},
                                                               std::optional<std::string>{"Sorvane用户"}};
    for (const auto& name : cases) {
        SettingsPreviews::Arguments arguments;
        arguments.accountName = name;
        EXPECT_EQ(SettingsPreviews::model(std::move(arguments), time_)->previewAccountName, name);
    }
}

TEST_F(SettingsPreviewsTest, NoRhythmGivenShowsNoneWhateverTheUserDefaultsHold) {
    {
        TypingRhythm recorded(std::make_shared<FileUserDefaults>(kSorvaneBundleId));
        for (int i = 0; i < 30; ++i) recorded.record(0.2);
        recorded.save();
    }
    ASSERT_EQ(TypingRhythm(std::make_shared<FileUserDefaults>(kSorvaneBundleId)).snapshot().samples.size(),
              30u);
    SettingsPreviews::Arguments arguments;
    arguments.page = SettingsPage::rhythm;
    const auto model = SettingsPreviews::model(std::move(arguments), time_);
    EXPECT_TRUE(model->rhythmSnapshot().samples.empty());
    EXPECT_EQ(model->page(), SettingsPage::rhythm);
}

TEST_F(SettingsPreviewsTest, FoldersAreForgottenOnlyWhenRemoved) {
    SettingsPreviews::states(time_);
    // Seventeen settings folders and the four account folders that are only named.
    EXPECT_EQ(PreviewFiles::tracked().size(), 17u + 4u);
    // A consent ticked in a preview writes its state file and the lock beside it.
    const auto model = SettingsPreviews::model({}, time_);
    model->show(SettingsPage::account);
    ASSERT_TRUE(model->account());
    model->account()->setTermsAccepted(true);
    PreviewFiles::removeAll();
    EXPECT_TRUE(previewFolders().empty());
    EXPECT_TRUE(PreviewFiles::tracked().empty());
}

}  // namespace
}  // namespace sorvane
