#pragma once
// The base of every page view of the settings window. A page subscribes to
// the model and the stores it shows; when the root view replaces it, retire()
// drops every subscription at once, so a page on its way out is never called
// back, even before Qt gets to delete it.
#include <QWidget>
#include <functional>
#include <vector>

namespace sorvane {

class SettingsPageView : public QWidget {
public:
    explicit SettingsPageView(QWidget* parent = nullptr) : QWidget(parent) {}
    ~SettingsPageView() override { retire(); }

    void retire() {
        auto cancels = std::move(cancels_);
        cancels_.clear();
        for (auto& cancel : cancels) cancel();
    }

protected:
    // Keeps what ends one subscription until the page retires.
    void keep(std::function<void()> cancel) { cancels_.push_back(std::move(cancel)); }

private:
    std::vector<std::function<void()>> cancels_;
};

}  // namespace sorvane
