#include "app/settings/pages/SettingsHomePage.h"

#include <QAbstractButton>
#include <QBoxLayout>
#include <QEvent>
#include <QPainter>
#include <QShowEvent>
#include <algorithm>

#include "app/cli/RegistrationOptions.h"
#include "app/settings/account/AccountSummaryRow.h"
#include "app/settings/account/WeChatSignInCard.h"
#include "app/settings/blocks/SettingsGroup.h"
#include "app/settings/blocks/SettingsHeading.h"
#include "app/settings/blocks/SettingsLinkRow.h"
#include "app/settings/blocks/SettingsSpinner.h"
#include "app/settings/pages/HomeRouteCardView.h"
#include "app/settings/style/AppGlyphTile.h"
#include "app/settings/style/SettingsSymbols.h"
#include "app/settings/style/SettingsText.h"
#include "app/settings/style/SettingsTheme.h"

namespace sorvane {
namespace {

using Source = MacBillingState::Source;

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

std::optional<QString> qs(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    return qs(*text);
}

QColor tileColor(HomeRow::Tile tile) {
    switch (tile) {
        case HomeRow::Tile::green:
            return SettingsTheme::systemGreen();
        case HomeRow::Tile::violet:
            return QColor::fromRgbF(0.54, 0.39, 0.81);
        case HomeRow::Tile::orange:
            return SettingsTheme::systemOrange();
        case HomeRow::Tile::gray:
            return SettingsTheme::systemGray();
        case HomeRow::Tile::teal:
            return QColor::fromRgbF(0.05, 0.54, 0.51);
    }
    return SettingsTheme::systemGray();
}

// "全部改写设置 ›": 12 in the accent colour, text and chevron 5 apart.
class ServiceLink final : public QAbstractButton {
public:
    explicit ServiceLink(QWidget* parent = nullptr) : QAbstractButton(parent) {
        setText(SettingsHomePresenter::allServiceSettings);
        setCursor(Qt::PointingHandCursor);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
    QSize sizeHint() const override {
        const QFontMetrics metrics(settingsFont(12));
        return QSize(metrics.horizontalAdvance(text()) + 5 + metrics.height(), metrics.height());
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setOpacity(isDown() ? 0.6 : 1.0);
        const QFontMetrics metrics(settingsFont(12));
        painter.setFont(settingsFont(12));
        painter.setPen(SettingsTheme::blue());
        const int textWidth = metrics.horizontalAdvance(text());
        painter.drawText(QRect(0, 0, textWidth, height()), Qt::AlignLeft | Qt::AlignVCenter, text());
        const double side = metrics.height() * 0.8;
        SettingsSymbols::draw(painter, "chevron.right",
                              QRectF(textWidth + 5, (height() - side) / 2, side, side),
                              SettingsTheme::blue());
    }
};

}  // namespace

SettingsHomePage::SettingsHomePage(SettingsModel& model, MacBillingStore& billing, UrlOpener& opener,
                                   Services services, QWidget* parent)
    : SettingsScroll(parent),
      model_(model),
      billing_(billing),
      opener_(opener),
      services_(std::move(services)) {
    if (!services_.enabledInSystem) {
        services_.enabledInSystem = [] { return RegistrationOptions::liveRegistrar().status().enabled; };
    }
    auto* heading = new QHBoxLayout;
    heading->setSpacing(12);
    heading->addWidget(new AppGlyphTile(44), 0, Qt::AlignVCenter);
    heading->addWidget(new SettingsHeading(SettingsHomePresenter::title, SettingsHomePresenter::subtitle), 1,
                       Qt::AlignVCenter);
    addBlock(heading);

    accountSlot_ = new QVBoxLayout;
    accountSlot_->setContentsMargins(0, 0, 0, 0);
    addBlock(accountSlot_);

    auto* service = new QVBoxLayout;
    service->setSpacing(11);
    auto* header = new QHBoxLayout;
    auto* title = new SettingsText(SettingsHomePresenter::serviceHeader, settingsFont(12),
                                   SettingsText::Tone::secondary);
    title->setContentsMargins(3, 0, 0, 0);
    header->addWidget(title);
    header->addStretch(1);
    auto* link = new ServiceLink;
    connect(link, &QAbstractButton::clicked, this, [this] { model_.show(SettingsPage::service); });
    header->addWidget(link);
    service->addLayout(header);
    pair_ = new QWidget;
    pairLayout_ = new QBoxLayout(QBoxLayout::LeftToRight, pair_);
    pairLayout_->setContentsMargins(0, 0, 0, 0);
    pairLayout_->setSpacing(14);
    service->addWidget(pair_);
    message_ = new SettingsText(QString(), settingsFont(12), SettingsText::Tone::secondary);
    message_->setWraps(true);
    service->addWidget(message_);
    addBlock(service);

    // The narrow rule looks at the width the column offers the card pair,
    // not at what the content makes of it: a side-by-side sign-in card is
    // wider than a narrow window and would otherwise never let go.
    viewport()->installEventFilter(this);

    groupSlot_ = new QVBoxLayout;
    groupSlot_->setContentsMargins(0, 0, 0, 0);
    addBlock(groupSlot_);

    modelObserver_ = model_.observeChanges([this] { refresh(); });
    billingObserver_ = billing_.observeChanges([this] {
        if (presenter_.signedInChanged(billing_.signedIn())) model_.prepareAccount();
        refresh();
    });
    refresh();
}

SettingsHomePage::~SettingsHomePage() = default;

HomePageInput SettingsHomePage::input() const {
    HomePageInput in;
    in.signedIn = billing_.signedIn();
    in.state = billing_.state();
    in.message = billing_.message();
    in.isPreview = billing_.isPreview();
    in.keyShort = billing_.keyShort();
    in.keyStatusText = billing_.keyStatusText();
    in.hasAccountStore = model_.account() != nullptr;
    in.version = model_.version();
    in.now = std::chrono::system_clock::now();
    return in;
}

HomePageContent SettingsHomePage::content() const {
    return presenter_.content(input());
}

bool SettingsHomePage::pairStacked() const {
    return pairLayout_->direction() == QBoxLayout::TopToBottom;
}

void SettingsHomePage::showEvent(QShowEvent* event) {
    SettingsScroll::showEvent(event);
    // A window coming back from the Dock is not the page coming on screen.
    if (event->spontaneous()) return;
    if (presenter_.appear(billing_.isPreview(), services_.enabledInSystem, billing_.signedIn())) {
        model_.prepareAccount();
    }
    refresh();
}

bool SettingsHomePage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == viewport() && event->type() == QEvent::Resize) {
        const bool wasStacked = presenter_.stacked();
        const int offered = std::min(columnWidth, viewport()->width() - 2 * sidePadding);
        presenter_.setPaneWidth(std::max(0, offered));
        if (presenter_.stacked() != wasStacked) refresh();
    }
    return SettingsScroll::eventFilter(watched, event);
}

void SettingsHomePage::refresh() {
    const HomePageContent page = content();
    rebuildAccountArea(page);
    rebuildCards(page);
    message_->setText(page.message ? qs(*page.message) : QString());
    message_->setVisible(page.message.has_value());
    rebuildRows(page);
}

void SettingsHomePage::rebuildAccountArea(const HomePageContent& page) {
    const AccountKey key{page.account, model_.account()};
    if (accountKey_ == key) {
        if (signInCard_ && signInCard_->stacked() != page.signInStacked)
            signInCard_->setStacked(page.signInStacked);
        return;
    }
    accountKey_ = key;
    if (accountArea_) {
        accountSlot_->removeWidget(accountArea_);
        accountArea_->hide();
        accountArea_->deleteLater();
    }
    signInCard_ = nullptr;
    auto* group = new SettingsGroup;
    switch (page.account) {
        case HomePageContent::AccountArea::summaryRow:
            group->addRow(new AccountSummaryRow(model_, billing_));
            break;
        case HomePageContent::AccountArea::signInCard:
            signInCard_ = new WeChatSignInCard(*model_.account(), billing_, page.signInStacked, opener_,
                                               services_.webViews);
            group->addRow(signInCard_);
            break;
        case HomePageContent::AccountArea::progress: {
            auto* frame = new QWidget;
            frame->setMinimumHeight(400);
            auto* centre = new QVBoxLayout(frame);
            centre->addWidget(new SettingsSpinner, 0, Qt::AlignCenter);
            group->addRow(frame);
            break;
        }
    }
    accountArea_ = group;
    accountSlot_->addWidget(accountArea_);
}

void SettingsHomePage::rebuildCards(const HomePageContent& page) {
    // A card's own click may be what changed the store: it goes once the
    // click is over.
    for (HomeRouteCardView* card : {proxyCard_, ownKeyCard_}) {
        if (!card) continue;
        pairLayout_->removeWidget(card);
        card->hide();
        card->deleteLater();
    }
    proxyCard_ = new HomeRouteCardView(page.proxyCard, {[this] { billing_.select(Source::credits); }, {}});
    ownKeyCard_ = new HomeRouteCardView(page.ownKeyCard, {[this] { billing_.select(Source::ownKey); },
                                                          [this] { model_.show(SettingsPage::ownKey); }});
    pairLayout_->setDirection(page.pairStacked ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight);
    pairLayout_->addWidget(proxyCard_, 1);
    pairLayout_->addWidget(ownKeyCard_, 1);
}

void SettingsHomePage::rebuildRows(const HomePageContent& page) {
    if (group_) {
        groupSlot_->removeWidget(group_);
        group_->hide();
        group_->deleteLater();
    }
    rows_.clear();
    auto* group = new SettingsGroup(QStringLiteral("这台 Mac"));
    for (std::size_t i = 0; i < page.rows.size(); ++i) {
        const HomeRow& row = page.rows[i];
        if (i > 0) group->addDivider();
        std::function<void()> action;
        if (row.opens) action = [this, target = *row.opens] { model_.show(target); };
        auto* view = new SettingsLinkRow(
            qs(row.symbol), [tile = row.tile] { return tileColor(tile); }, qs(row.title), qs(row.subtitle),
            qs(row.value), std::move(action));
        rows_.push_back(view);
        group->addRow(view);
    }
    group_ = group;
    groupSlot_->addWidget(group_);
}

}  // namespace sorvane
