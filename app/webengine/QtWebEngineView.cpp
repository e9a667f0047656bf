// The live web engine: Qt WebEngine (Chromium) behind the WebView door. Built
// as a module inside the bundle and loaded by the settings window on first
// use, so that no other process pays for the engine's start.
#include <unistd.h>

#include <QPointer>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <cstdlib>

#include "app/settings/account/WebView.h"

namespace sorvane {
namespace {

class PolicyPage final : public QWebEnginePage {
public:
    PolicyPage(std::function<bool(const QUrl&)> accept, QObject* parent)
        : QWebEnginePage(parent), accept_(std::move(accept)) {}

protected:
    // Chromium asks here for the main frame, frames and server redirects
    // alike, before the request is sent.
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
        return !accept_ || accept_(url);
    }

private:
    std::function<bool(const QUrl&)> accept_;
};

WebLoadEnd::Status statusOf(QWebEngineLoadingInfo::LoadStatus status) {
    switch (status) {
        case QWebEngineLoadingInfo::LoadSucceededStatus:
            return WebLoadEnd::Status::succeeded;
        case QWebEngineLoadingInfo::LoadFailedStatus:
            return WebLoadEnd::Status::failed;
        default:
            return WebLoadEnd::Status::stopped;
    }
}

class QtWebEngineView final : public WebView {
public:
    QtWebEngineView(Handlers handlers, QWidget* parent) : handlers_(std::move(handlers)) {
        view_ = new QWebEngineView(parent);
        auto* page = new PolicyPage(handlers_.acceptNavigation, view_);
        view_->setPage(page);
        QObject::connect(
            page, &QWebEnginePage::loadingChanged, view_, [this](const QWebEngineLoadingInfo& info) {
                if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) return;
                if (!handlers_.loadEnded) return;
                handlers_.loadEnded({statusOf(info.status()), info.errorCode(),
                                     info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain});
            });
        QObject::connect(page, &QWebEnginePage::renderProcessTerminated, view_,
                         [this](QWebEnginePage::RenderProcessTerminationStatus status, int exitCode) {
                             if (!handlers_.engineFailed) return;
                             handlers_.engineFailed("render process ended: status " +
                                                    std::to_string(static_cast<int>(status)) +
                                                    ", exit code " + std::to_string(exitCode));
                         });
    }
    ~QtWebEngineView() override { delete view_; }

    QWidget* widget() override { return view_; }
    void load(const QUrl& url) override { view_->load(url); }
    void stop() override { view_->stop(); }

private:
    Handlers handlers_;
    // Also a child of the widget it was made for, which may go first.
    QPointer<QWebEngineView> view_;
};

class QtWebEngineFactory final : public WebViewFactory {
public:
    std::unique_ptr<WebView> make(WebView::Handlers handlers, QWidget* parent, std::string&) override {
        return std::make_unique<QtWebEngineView>(std::move(handlers), parent);
    }
};

}  // namespace
}  // namespace sorvane

extern "C" __attribute__((visibility("default"))) sorvane::WebViewFactory* sorvaneWebEngineFactory() {
    // Chromium refuses to start its sandbox as root and ends the whole
    // process. Only then is it switched off, before the engine first starts;
    // every other user keeps it.
    if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    static sorvane::QtWebEngineFactory factory;
    return &factory;
}
