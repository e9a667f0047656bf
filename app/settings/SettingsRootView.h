#pragma once
// The whole content of the settings window: a 50-high header with the page's
// title and, on every page but the home page, a back button; a faint
// divider; and the current page's view filling the rest. It decides nothing:
// the page and every change of it come from the model, which it observes.
// Page views are made anew on each change of page; the one left goes once
// control has returned to the event loop (it may be the one whose click
// changed the page), and it stops hearing from the model and the stores when
// it goes. Main thread only.
#include <QWidget>
#include <optional>
#include <string_view>

#include "kit/settings/SettingsModel.h"

class QAbstractButton;
class QVBoxLayout;

namespace sorvane {

class SettingsText;
class UrlOpener;

class SettingsRootView final : public QWidget {
public:
    static constexpr int headerHeight = 50;
    static constexpr int rowMaxWidth = 700;
    static constexpr int rowPadding = 38;

    // The pages open web pages and panes through `opener`.
    SettingsRootView(SettingsModel& model, UrlOpener& opener, QWidget* parent = nullptr);
    ~SettingsRootView() override;

    // The header's text for a page.
    static std::string_view title(SettingsPage page);

    QString titleText() const;
    // Hidden on the home page.
    QAbstractButton& backButton() const;
    // The view in the content area; none while a page has no view yet.
    QWidget* pageView() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void refresh();
    void placeHeader();
    void replacePage(SettingsPage page);
    QWidget* makePage(SettingsPage page);

    SettingsModel& model_;
    UrlOpener& opener_;
    QWidget* header_;
    SettingsText* title_;
    QAbstractButton* back_;
    QVBoxLayout* contentLayout_;
    QWidget* page_ = nullptr;
    std::optional<SettingsPage> shownPage_;
    bool waitingForAccount_ = false;
    ObserverSubscription observer_;
};

}  // namespace sorvane
