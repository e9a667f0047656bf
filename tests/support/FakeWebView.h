#pragma once
// A web engine for tests and renders: records what it is asked to load and
// lets a test play navigations and load ends through the view's handlers, as
// the real engine would call them.
#include <QLabel>
#include <QPointer>
#include <QUrlQuery>
#include <memory>
#include <string>
#include <vector>

#include "app/settings/account/WebView.h"

namespace sorvane::testing {

class FakeWebView final : public WebView {
public:
    FakeWebView(Handlers handlers, QWidget* parent)
        : handlers_(std::move(handlers)), widget_(new QLabel(QStringLiteral("QR"), parent)) {
        widget_->setAlignment(Qt::AlignCenter);
    }
    ~FakeWebView() override { delete widget_.data(); }

    QWidget* widget() override { return widget_; }
    void load(const QUrl& url) override { loads.push_back(url); }
    void stop() override { ++stops; }

    // The engine asking before a navigation; true when it may go on.
    bool navigate(const QString& url) { return handlers_.acceptNavigation(QUrl(url)); }
    void end(const WebLoadEnd& end) { handlers_.loadEnded(end); }
    // The state in the query of the last page loaded.
    std::string loadedState() const {
        if (loads.empty()) return {};
        return QUrlQuery(loads.back()).queryItemValue(QStringLiteral("state")).toStdString();
    }

    std::vector<QUrl> loads;
    int stops = 0;

private:
    Handlers handlers_;
    QPointer<QLabel> widget_;
};

class FakeWebViewFactory final : public WebViewFactory {
public:
    std::unique_ptr<WebView> make(WebView::Handlers handlers, QWidget* parent, std::string& error) override {
        ++made;
        if (refuse) {
            error = "no engine here";
            return nullptr;
        }
        auto view = std::make_unique<FakeWebView>(std::move(handlers), parent);
        last = view.get();
        return view;
    }

    // The newest view; dangles once that view is gone.
    FakeWebView* last = nullptr;
    int made = 0;
    bool refuse = false;
};

}  // namespace sorvane::testing
