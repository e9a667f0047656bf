#include <gtest/gtest.h>

#include "platform/Bundle.h"
#include "platform/Files.h"
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

}  // namespace
}  // namespace sorvane
