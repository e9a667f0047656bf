// Reads arbitrary bytes as each piece of metadata a downloaded package
// names its version in: the Distribution definition and a component's
// PackageInfo (libxml2), and the application's Info.plist (libplist, XML
// or binary). None may crash, hang or load anything from outside.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "kit/package/PackageVersionParser.h"
#include "platform/files/PropertyList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace sorvane;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    (void)PackageVersionParser::distribution(bytes);
    (void)PackageVersionParser::packageInfo(bytes);
    (void)PropertyList::dictionaryTexts(bytes);
    return 0;
}
