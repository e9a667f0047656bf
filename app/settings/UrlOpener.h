#pragma once
// Opens web pages and mail addresses for the settings pages. The live one
// hands them to the desktop (QDesktopServices); tests record them instead.
//
//   opener.open(QUrl(QString::fromUtf8(SorvaneLinks::privacy.data())));
#include <QUrl>

namespace sorvane {

class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    // False when nothing could open it.
    virtual bool open(const QUrl& url) = 0;

    // The desktop's default handlers.
    static UrlOpener& live();
};

}  // namespace sorvane
