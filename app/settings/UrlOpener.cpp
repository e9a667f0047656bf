#include "app/settings/UrlOpener.h"

#include <QDesktopServices>

namespace sorvane {
namespace {

class DesktopUrlOpener final : public UrlOpener {
public:
    bool open(const QUrl& url) override { return url.isValid() && QDesktopServices::openUrl(url); }
};

}  // namespace

UrlOpener& UrlOpener::live() {
    static DesktopUrlOpener opener;
    return opener;
}

}  // namespace sorvane
