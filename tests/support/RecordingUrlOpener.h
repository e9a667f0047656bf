#pragma once
// Keeps every address a page asked to open, opening none.
#include <QList>
#include <QUrl>

#include "app/settings/UrlOpener.h"

namespace sorvane::testing {

class RecordingUrlOpener final : public UrlOpener {
public:
    bool open(const QUrl& url) override {
        opened.append(url);
        return true;
    }
    QList<QUrl> opened;
};

}  // namespace sorvane::testing
