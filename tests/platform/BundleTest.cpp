#include <gtest/gtest.h>

#include "platform/Bundle.h"
#include "platform/files/Files.h"
#include "tests/support/TempHome.h"

namespace sorvane {
namespace {

namespace fs = std::filesystem;

TEST(BundleTest, TheBundleIsThreeFoldersAboveAnExecutableInContentsMacOS) {
    const struct {
        const char* executable;
        const char* bundle;
    } cases[] = {
        {"/opt/SorvaneIME.app/Contents/MacOS/SorvaneIME", "/opt/SorvaneIME.app"},
        {"/work/build/tests/tests_app", "/work/build/tests"},
        {"/x/Contents/Other/SorvaneIME", "/x/Contents/Other"},
        {"/x/NotContents/MacOS/SorvaneIME", "/x/NotContents/MacOS"},
    };
    for (const auto& c : cases) EXPECT_EQ(Bundle::bundlePathOfExecutable(c.executable), fs::path(c.bundle));
}

void writePlist(const fs::path& bundle, const std::string& dictBody) {
    ASSERT_TRUE(
        Files::atomicWrite(bundle / "Contents" / "Info.plist",
                           "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n" +
                               dictBody + "</dict>\n</plist>\n"));
}

TEST(BundleTest, ReadsIdentifierAndVersionFromInfoPlist) {
    testing::TempDir dir;
    writePlist(dir.path(),
               "<key>CFBundleIdentifier</key><string>cn.example.ime</string>\n"
               "<key>CFBundleShortVersionString</key><string>1.2.3</string>\n");
    const Bundle b = Bundle::load(dir.path());
    EXPECT_EQ(b.path, dir.path());
    EXPECT_EQ(b.identifier, "cn.example.ime");
    EXPECT_EQ(b.shortVersion, "1.2.3");
}

TEST(BundleTest, MissingBadOrWronglyTypedValuesAreAbsent) {
    testing::TempDir dir;
    EXPECT_FALSE(Bundle::load(dir.path()).identifier);  // no Info.plist at all
    writePlist(dir.path(), "<key>CFBundleIdentifier</key><integer>7</integer>\n");
    EXPECT_FALSE(Bundle::load(dir.path()).identifier);
    writePlist(dir.path(), std::string("<key>CFBundleIdentifier</key><string>cn") + '\0' + "x</string>\n");
    EXPECT_FALSE(Bundle::load(dir.path()).identifier);
    ASSERT_TRUE(Files::atomicWrite(dir.path() / "Contents" / "Info.plist", "<plist><dict><key>CFBundle"));
    EXPECT_FALSE(Bundle::load(dir.path()).identifier);
    ASSERT_TRUE(Files::atomicWrite(dir.path() / "Contents" / "Info.plist", ""));
    EXPECT_FALSE(Bundle::load(dir.path()).shortVersion);
}

TEST(BundleTest, TheBuiltBundleCarriesTheProductIdentifier) {
    const Bundle b = Bundle::load(SORVANE_BUNDLE_DIR);
    EXPECT_EQ(b.identifier, "cn.kestrum.inputmethod.Sorvane");
    EXPECT_EQ(b.shortVersion, "0.1.0");
}

TEST(BundleTest, ResourcesAreRegularFilesInContentsResources) {
    testing::TempDir dir;
    const fs::path resources = dir.path() / "Contents" / "Resources";
    ASSERT_TRUE(Files::atomicWrite(resources / "AppMark.png", "png"));
    ASSERT_TRUE(Files::atomicWrite(dir.path() / "outside.txt", "x"));
    fs::create_directories(resources / "Folder.txt");
    fs::create_symlink(dir.path() / "outside.txt", resources / "Linked.txt");
    const Bundle bundle = Bundle::load(dir.path());

    EXPECT_EQ(bundle.resourcePath("AppMark", "png"), resources / "AppMark.png");
    for (const char* name : {"Missing", "Folder", "Linked", "../../outside", ""})
        EXPECT_FALSE(bundle.resourcePath(name, "txt")) << name;

    // A lookup put in by a test wins until it is taken away again.
    auto previous = BundleResources::setLookup(
        [&](std::string_view name, std::string_view ext) { return bundle.resourcePath(name, ext); });
    EXPECT_EQ(BundleResources::find("AppMark", "png"), resources / "AppMark.png");
    BundleResources::setLookup(previous);
}

}  // namespace
}  // namespace sorvane
