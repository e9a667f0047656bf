#pragma once
// One rewrite-route card of the settings home page: a coloured rounded card
// with a soft glow from its top leading corner, a header (the route's pill,
// then "使用中", a switch button or nothing) and the route's content in white.
// A dimmed card (the route not in use) is drawn desaturated and faded and
// loses its shadow. Made anew whenever the page's content changes.
#include <QWidget>
#include <functional>

#include "kit/settings/SettingsHomePresenter.h"

class QAbstractButton;

namespace sorvane {

class HomeRouteCardView final : public QWidget {
public:
    static constexpr double cornerRadius = 21;
    static constexpr int padding = 22;
    static constexpr double glowRadius = 460;

    struct Actions {
        std::function<void()> select;  // the header's switch
        std::function<void()> button;  // the own-key card's button
    };

    HomeRouteCardView(const HomeRouteCard& card, Actions actions, QWidget* parent = nullptr);

    const HomeRouteCard& card() const { return card_; }
    // The header's switch; none when the header shows "使用中" or nothing.
    QAbstractButton* switchButton() const { return switch_; }
    QAbstractButton* actionButton() const { return button_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    HomeRouteCard card_;
    QAbstractButton* switch_ = nullptr;
    QAbstractButton* button_ = nullptr;
};

}  // namespace sorvane
