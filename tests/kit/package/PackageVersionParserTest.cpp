// Expanded product packages built on the fly, read directly and through the
// expanding fake utility (tests/kit/package/pkgutil/expand-pkgutil).
#include <gtest/gtest.h>
#include <plist/plist.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "kit/package/PackageVersionParser.h"
#include "kit/package/PkgutilPackageVersionReader.h"
#include "tests/support/TempHome.h"

namespace sorvane {
namespace {

namespace fs = std::filesystem;
using Error = UpdateVerificationError;

struct Product {
    std::string pkgRef = "1.4.0";
    std::string distributionBundle;  // empty: no bundle-version entry
    std::string packageInfo = "1.4.0";
    std::string packageInfoBundle = "1.4.0";
    std::string payload = "1.4.0";
    std::string bundleId = "cn.kestrum.inputmethod.Sorvane";
    bool binaryPlist = false;
};

// The agreeing product with one change.
template <class Change>
Product with(Change change) {
    Product p;
    change(p);
    return p;
}

void write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string plistBytes(const Product& p) {
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "CFBundleIdentifier", plist_new_string(p.bundleId.c_str()));
    plist_dict_set_item(dict, "CFBundleShortVersionString", plist_new_string(p.payload.c_str()));
    plist_dict_set_item(dict, "LSUIElement", plist_new_bool(1));
    char* data = nullptr;
    uint32_t length = 0;
    if (p.binaryPlist)
        plist_to_bin(dict, &data, &length);
    else
        plist_to_xml(dict, &data, &length);
    std::string bytes(data, length);
    std::free(data);
    plist_free(dict);
    return bytes;
}

std::string packageInfoXml(const std::string& id, const std::string& version, const std::string& bundle) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<pkg-info format-version=\"2\" identifier=\"" + id +
           "\" version=\"" + version +
           "\" install-location=\"/Library/Input Methods\">\n"
           "  <bundle id=\"cn.kestrum.inputmethod.Sorvane\" CFBundleShortVersionString=\"" +
           bundle + "\" path=\"./SorvaneIME.app\"/>\n</pkg-info>\n";
}

void component(const fs::path& product, const std::string& name, const Product& p,
               const std::string& id = "cn.kestrum.pkg.SorvaneIME") {
    write(product / name / "PackageInfo", packageInfoXml(id, p.packageInfo, p.packageInfoBundle));
    write(product / name / "Payload/SorvaneIME.app/Contents/Info.plist", plistBytes(p));
}

void build(const fs::path& product, const Product& p) {
    std::string bundle;
    if (!p.distributionBundle.empty())
        bundle =
            "<bundle-version><bundle id=\"cn.kestrum.inputmethod.Sorvane\" CFBundleShortVersionString=\"" +
            p.distributionBundle + "\"/></bundle-version>";
    write(product / "Distribution",
          "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<installer-gui-script minSpecVersion=\"2\">\n"
          "  <title>SorvaneIME</title>\n  <pkg-ref id=\"cn.kestrum.pkg.SorvaneIME\"/>\n"
          "  <pkg-ref id=\"cn.kestrum.pkg.SorvaneIME\" version=\" " +
              p.pkgRef + "\n\" onConclusion=\"none\">" + bundle +
              "</pkg-ref>\n  <pkg-ref id=\"other\" version=\"9.9.9\"/>\n</installer-gui-script>\n");
    component(product, "SorvaneIME.pkg", p);
}

class PackageVersionParserTest : public ::testing::Test {
protected:
    testing::TempDir dir;
    fs::path product = dir.path() / "product";

    Expected<std::string, Error> read(const Product& p) {
        fs::remove_all(product);
        build(product, p);
        return PackageVersionParser::read(product);
    }
};

TEST_F(PackageVersionParserTest, AgreeingVersionsAndEachDisagreement) {
    EXPECT_EQ(read({}).value(), "1.4.0");
    EXPECT_EQ(read(with([](Product& p) {
                  p.distributionBundle = "1.4.0";
                  p.payload = " 1.4.0\n";
                  p.binaryPlist = true;
              })).value(),
              "1.4.0");

    const std::string all = "包内版本不一致：Distribution ";
    const std::pair<Product, std::string> mismatches[] = {
        {with([](Product& p) { p.pkgRef = "1.4.1"; }),
         all + "1.4.1，PackageInfo 1.4.0/1.4.0，Info.plist 1.4.0"},
        {with([](Product& p) { p.distributionBundle = "1.4.1"; }),
         all + "1.4.0/1.4.1，PackageInfo 1.4.0/1.4.0，Info.plist 1.4.0"},
        {with([](Product& p) { p.packageInfo = "1.4.1"; }),
         all + "1.4.0，PackageInfo 1.4.1/1.4.0，Info.plist 1.4.0"},
        {with([](Product& p) { p.packageInfoBundle = "1.4.1"; }),
         all + "1.4.0，PackageInfo 1.4.0/1.4.1，Info.plist 1.4.0"},
        {with([](Product& p) {
             p.payload = "1.4.1";
             p.binaryPlist = true;
         }),
         all + "1.4.0，PackageInfo 1.4.0/1.4.0，Info.plist 1.4.1"},
        {with([](Product& p) { p.payload = "   "; }),
         "SorvaneIME.app 的 Info.plist 没有 CFBundleShortVersionString"},
        {with([](Product& p) { p.pkgRef = ""; }), "Distribution 没有 cn.kestrum.pkg.SorvaneIME 的 version"},
        {with([](Product& p) { p.packageInfoBundle = ""; }),
         "PackageInfo 缺 version 或 cn.kestrum.inputmethod.Sorvane 的版本"},
        {with([](Product& p) { p.bundleId = "cn.kestrum.inputmethod.sorvane"; }),
         "载荷的 CFBundleIdentifier 不是 cn.kestrum.inputmethod.Sorvane"},
    };
    for (const auto& [p, reason] : mismatches)
        EXPECT_EQ(read(p).error(), Error::versionUnreadable(reason)) << reason;
}

TEST_F(PackageVersionParserTest, ComponentsAreCountedByIdentifier) {
    build(product, {});
    component(product, "Second.pkg", {});
    component(product, "Other.pkg", {}, "com.example.other");
    component(product, "NotAPackage", {});
    EXPECT_EQ(PackageVersionParser::read(product).error(),
              Error::versionUnreadable("应有且只有一个 cn.kestrum.pkg.SorvaneIME 组件包，找到 2 个"));

    write(product / "Second.pkg/PackageInfo", "not < xml");
    EXPECT_EQ(PackageVersionParser::read(product).value(), "1.4.0");
    write(product / "SorvaneIME.pkg/PackageInfo", "<pkg-info identifier=\"cn.kestrum.pkg.SorvaneIME\"");
    EXPECT_EQ(PackageVersionParser::read(product).error(),
              Error::versionUnreadable("应有且只有一个 cn.kestrum.pkg.SorvaneIME 组件包，找到 0 个"));

    fs::remove(product / "Distribution");
    EXPECT_EQ(PackageVersionParser::read(product).error(),
              Error::versionUnreadable("不是 productbuild 产品包（没有 Distribution）"));
    write(product / "Distribution", "<installer-gui-script>");
    EXPECT_EQ(PackageVersionParser::read(product).error(), Error::versionUnreadable("Distribution 不是 XML"));
}

TEST_F(PackageVersionParserTest, LinksAndPlantedFilesAreNotFollowed) {
    build(product, {});
    const fs::path plist = product / "SorvaneIME.pkg/Payload/SorvaneIME.app/Contents/Info.plist";
    const fs::path elsewhere = dir.path() / "elsewhere.plist";
    fs::rename(plist, elsewhere);
    fs::create_symlink(elsewhere, plist);
    const auto noPayload = Error::versionUnreadable("载荷里没有 SorvaneIME.app/Contents/Info.plist");
    EXPECT_EQ(PackageVersionParser::read(product).error(), noPayload);

    fs::remove(plist);
    fs::rename(product / "SorvaneIME.pkg/Payload/SorvaneIME.app", dir.path() / "SorvaneIME.app");
    fs::copy_file(elsewhere, dir.path() / "SorvaneIME.app/Contents/Info.plist");
    fs::create_directory_symlink(dir.path() / "SorvaneIME.app",
                                 product / "SorvaneIME.pkg/Payload/SorvaneIME.app");
    EXPECT_EQ(PackageVersionParser::read(product).error(), noPayload);

    fs::remove(product / "SorvaneIME.pkg/Payload/SorvaneIME.app");
    fs::create_directories(plist.parent_path());
    // Far larger than a real one: refused before the parser sees it.
    write(plist, "<plist><dict><key>k</key>" + std::string(100000, ' ') + "</dict></plist>");
    EXPECT_EQ(PackageVersionParser::read(product).error(), noPayload);
    // A NUL inside a string is no version, and copying it would abort in libplist.
    write(plist,
          std::string("<plist><dict><key>CFBundleIdentifier</key><string>cn.kestrum.inputmethod.Sorvane"
                      "</string><key>CFBundleShortVersionString</key><string>1.4.0") +
              '\0' + "</string></dict></plist>");
    EXPECT_EQ(PackageVersionParser::read(product).error(),
              Error::versionUnreadable("SorvaneIME.app 的 Info.plist 没有 CFBundleShortVersionString"));
    fs::remove(plist);
    ASSERT_EQ(::mkfifo(plist.c_str(), 0600), 0);  // reading it would block forever
    EXPECT_EQ(PackageVersionParser::read(product).error(), noPayload);
}

// Whether a file is opened while `body` runs.
template <class Body>
bool opened(const fs::path& file, Body body) {
    const int watcher = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    EXPECT_GE(watcher, 0);
    EXPECT_GE(::inotify_add_watch(watcher, file.c_str(), IN_OPEN | IN_ACCESS), 0);
    body();
    char buffer[4096];
    const bool any = ::read(watcher, buffer, sizeof buffer) > 0;
    ::close(watcher);
    return any;
}

TEST_F(PackageVersionParserTest, ExternalEntitiesAreNeverReadAndBombsAreRefused) {
    const fs::path secret = dir.path() / "secret.xml";
    write(secret, "1.4.0");
    const fs::path dtd = dir.path() / "outside.dtd";
    write(dtd, "<!ENTITY ext SYSTEM \"" + secret.string() + "\">");
    const std::string doc =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE installer-gui-script [\n"
        "  <!ENTITY ext SYSTEM \"file://" +
        secret.string() +
        "\">\n"
        "  <!ENTITY % remote SYSTEM \"file://" +
        dtd.string() +
        "\"> %remote;\n]>\n"
        "<installer-gui-script><pkg-ref id=\"cn.kestrum.pkg.SorvaneIME\" version=\"1.4.0\">&ext;</pkg-ref>"
        "</installer-gui-script>";
    EXPECT_FALSE(opened(secret, [&] {
        EXPECT_FALSE(opened(dtd, [&] {
            // The entity stays unexpanded; the attribute still reads.
            const auto versions = PackageVersionParser::distribution(doc);
            ASSERT_TRUE(versions);
            EXPECT_EQ(versions->pkgRef, std::vector<std::string>{"1.4.0"});
        }));
    }));

    std::string bomb = "<?xml version=\"1.0\"?>\n<!DOCTYPE pkg-info [\n<!ENTITY a0 \"1234567890\">\n";
    for (int i = 1; i <= 12; ++i) {
        bomb += "<!ENTITY a" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j) bomb += "&a" + std::to_string(i - 1) + ";";
        bomb += "\">\n";
    }
    const std::string attributeBomb =
        bomb + "]>\n<pkg-info identifier=\"cn.kestrum.pkg.SorvaneIME\" version=\"&a12;\"/>";
    const std::string contentBomb =
        bomb + "]>\n<pkg-info identifier=\"cn.kestrum.pkg.SorvaneIME\" version=\"1\">&a12;</pkg-info>";
    EXPECT_EQ(PackageVersionParser::packageInfo(attributeBomb).error(),
              Error::versionUnreadable("PackageInfo 不是 XML"));
    EXPECT_EQ(PackageVersionParser::packageInfo(contentBomb).error(),
              Error::versionUnreadable("PackageInfo 不是 XML"));
}

TEST_F(PackageVersionParserTest, ReaderExpandsThroughTheUtilityAndCleansUp) {
    build(product, with([](Product& p) { p.binaryPlist = true; }));
    const fs::path work = dir.path() / "work";
    const fs::path script = fs::path(SORVANE_SOURCE_DIR) / "tests/kit/package/pkgutil/expand-pkgutil";
    EXPECT_EQ(PkgutilPackageVersionReader(work, 30, script).productVersion(product).value(), "1.4.0");
    EXPECT_TRUE(fs::is_empty(work));
}

}  // namespace
}  // namespace sorvane
