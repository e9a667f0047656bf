#pragma once
// The door to a web engine. The live engine, Qt WebEngine, lives in a module
// of its own that only the settings window loads (app/webengine); tests and
// renders hand in engines of their own. Everything here is inline and free of
// Qt's meta-objects, so the module implements it without needing a symbol
// of the executable. Main thread only.
#include <QUrl>
#include <functional>
#include <memory>
#include <string>

#include "kit/account/WebLoadEnd.h"

class QWidget;

namespace sorvane {

class WebView {
public:
    struct Handlers {
        // Asked before any request of a navigation leaves: main-frame loads,
        // frame loads and server redirects alike. False cancels it.
        std::function<bool(const QUrl& url)> acceptNavigation;
        // Every main-frame load that started ends here once.
        std::function<void(const WebLoadEnd& end)> loadEnded;
        // The engine's page process ended; the view shows nothing any more.
        std::function<void(const std::string& reason)> engineFailed;
    };

    virtual ~WebView() = default;
    // The view's widget, owned by this object.
    virtual QWidget* widget() = 0;
    virtual void load(const QUrl& url) = 0;
    virtual void stop() = 0;
};

class WebViewFactory {
public:
    virtual ~WebViewFactory() = default;
    // A new view whose widget is a child of `parent`; nothing, with the
    // reason in `error`, when the engine cannot make one.
    virtual std::unique_ptr<WebView> make(WebView::Handlers handlers, QWidget* parent,
                                          std::string& error) = 0;
};

// The module's one entry point, looked up by name after it is loaded.
inline constexpr const char* webEngineFactorySymbol = "sorvaneWebEngineFactory";
using WebEngineFactoryEntry = WebViewFactory* (*)();

}  // namespace sorvane
