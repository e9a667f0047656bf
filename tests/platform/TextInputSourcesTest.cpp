// The file-backed input-source registry and the system version it is judged by.
#include <gtest/gtest.h>

#include "platform/Bundle.h"
#include "platform/SystemInfo.h"
#include "platform/TextInputSources.h"
#include "platform/files/Files.h"
#include "tests/support/TempHome.h"

namespace sorvane {
namespace {

namespace fs = std::filesystem;
using Flag = TextInputSources::Flag;

struct Row {
    std::string id;
    bool enabled, selected, selectCapable;
    bool operator==(const Row&) const = default;
};

std::vector<Row> rows(FileTextInputSources& registry) {
    std::vector<Row> out;
    for (const auto& s : registry.list()) {
        out.push_back({*registry.id(*s), *registry.flag(*s, Flag::enabled),
                       *registry.flag(*s, Flag::selected), *registry.flag(*s, Flag::selectCapable)});
    }
    return out;
}

InputSourceRef find(FileTextInputSources& registry, const std::string& id) {
    for (auto& s : registry.list()) {
        if (registry.id(*s) == id) return s;
    }
    return nullptr;
}

TEST(TextInputSourcesTest, KernelReleasesReadAsMajorMinorPatch) {
    const struct {
        const char* release;
        std::optional<OperatingSystemVersion> version;
    } cases[] = {
        {"6.1.0-18-amd64", OperatingSystemVersion{6, 1, 0}},
        {"26", OperatingSystemVersion{26, 0, 0}},
        {"25.3", OperatingSystemVersion{25, 3, 0}},
        {"5.10.0+rt.7", OperatingSystemVersion{5, 10, 0}},
        {"4.x", OperatingSystemVersion{4, 0, 0}},
        {"99999999999.1", std::nullopt},
        {"v6.1", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(OperatingSystemVersion::parse(c.release), c.version) << c.release;
    EXPECT_EQ((OperatingSystemVersion{6, 1, 0}).text(), "6.1.0");
    EXPECT_GT(UnameSystemInfo::shared().majorVersion(), 0);
}

TEST(TextInputSourcesTest, RegisteringAddsTheBundleAndItsModesAndKeepsTheirFlags) {
    testing::TempHome home;
    FileTextInputSources registry;
    EXPECT_EQ(registry.path(), home.path() / "Library/Preferences/TextInputSources.json");
    EXPECT_EQ(rows(registry), (std::vector<Row>{{"com.apple.keylayout.ABC", true, true, true}}));

    EXPECT_EQ(Bundle::load(SORVANE_BUNDLE_DIR).inputModeIds,
              std::vector<std::string>{"cn.kestrum.inputmethod.Sorvane.Hans"});
    ASSERT_EQ(registry.registerBundle(SORVANE_BUNDLE_DIR), 0);
    ASSERT_EQ(registry.enable(*find(registry, "cn.kestrum.inputmethod.Sorvane.Hans")), 0);
    ASSERT_EQ(registry.select(*find(registry, "cn.kestrum.inputmethod.Sorvane.Hans")), 0);
    // The bundle's own source cannot be selected.
    EXPECT_EQ(registry.select(*find(registry, "cn.kestrum.inputmethod.Sorvane")), -50);
    ASSERT_EQ(registry.registerBundle(SORVANE_BUNDLE_DIR), 0);
    const std::vector<Row> expected = {
        {"com.apple.keylayout.ABC", true, false, true},
        {"cn.kestrum.inputmethod.Sorvane", false, false, false},
        {"cn.kestrum.inputmethod.Sorvane.Hans", true, true, true},
    };
    EXPECT_EQ(rows(registry), expected);
    EXPECT_EQ(*registry.id(*registry.current()), "cn.kestrum.inputmethod.Sorvane.Hans");

    // A source removed behind a reference's back is refused, not re-created.
    auto stale = find(registry, "com.apple.keylayout.ABC");
    ASSERT_TRUE(Files::atomicWrite(registry.path(), R"({"sources": []})"));
    EXPECT_EQ(registry.enable(*stale), -50);
    EXPECT_EQ(registry.current(), nullptr);

    // A bundle without an identifier is refused.
    testing::TempDir empty;
    EXPECT_EQ(registry.registerBundle(empty.path()), -50);
}

TEST(TextInputSourcesTest, AFileThatDoesNotReadIsLeftByteForByte) {
    testing::TempHome home;
    FileTextInputSources registry;
    for (const std::string& bytes :
         {std::string("{not json"), std::string(R"({"sources": {}})"),
          std::string(R"({"sources": [{"enabled": true}]})"), std::string(Files::dataFileLimit + 1, ' ')}) {
        ASSERT_TRUE(Files::atomicWrite(registry.path(), bytes, Files::publicMode, bytes.size()));
        EXPECT_TRUE(registry.list().empty());
        EXPECT_EQ(registry.registerBundle(SORVANE_BUNDLE_DIR), -36);
        EXPECT_EQ(*Files::readFile(registry.path(), bytes.size()), bytes);
    }
}

}  // namespace
}  // namespace sorvane
