#include "app/settings/SettingsRootView.h"

#include <QAbstractButton>
#include <QPainter>
#include <QVBoxLayout>

#include "app/panels/QtText.h"
#include "app/settings/Clipboard.h"
#include "app/settings/account/AccountPage.h"
#include "app/settings/blocks/SettingsSpinner.h"
#include "app/settings/pages/AboutPage.h"
#include "app/settings/pages/GeneralPage.h"
#include "app/settings/pages/HotkeysPage.h"
#include "app/settings/pages/MacOwnKeyPage.h"
#include "app/settings/pages/RewriteServicePage.h"
#include "app/settings/pages/SettingsHomePage.h"
#include "app/settings/pages/SettingsPrivacyPage.h"
#include "app/settings/pages/TypingRhythmPage.h"
#include "app/settings/style/SettingsSymbols.h"
#include "app/settings/style/SettingsText.h"
#include "app/settings/style/SettingsTheme.h"

namespace sorvane {
namespace {

// "‹ 返回" in the accent colour, without a bezel: the whole padded rectangle
// takes clicks, not only the glyphs.
class BackButton final : public QAbstractButton {
public:
    static constexpr int padX = 10;
    static constexpr int padY = 7;
    static constexpr int chevronSide = 13;
    static constexpr int gap = 4;

    explicit BackButton(QWidget* parent) : QAbstractButton(parent) {
        setFont(settingsFont(13));
        setText(QStringLiteral("返回"));
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::NoFocus);
        resize(sizeHint());
    }

    QSize sizeHint() const override {
        const QFontMetrics metrics(font());
        return {padX + chevronSide + gap + metrics.horizontalAdvance(text()) + padX,
                padY + std::max(metrics.height(), chevronSide) + padY};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        if (isDown()) painter.setOpacity(0.6);
        const QColor color = SettingsTheme::blue();
        const double top = (height() - chevronSide) / 2.0;
        SettingsSymbols::draw(painter, QStringLiteral("chevron.left"),
                              QRectF(padX, top, chevronSide, chevronSide), color);
        painter.setPen(color);
        painter.setFont(font());
        painter.drawText(QRect(padX + chevronSide + gap, 0, width(), height()),
                         Qt::AlignVCenter | Qt::AlignLeft, text());
    }
};

// While the account page waits for its store.
QWidget* waitingView() {
    auto* holder = new QWidget;
    auto* layout = new QVBoxLayout(holder);
    layout->addWidget(new SettingsSpinner, 0, Qt::AlignCenter);
    return holder;
}

}  // namespace

std::string_view SettingsRootView::title(SettingsPage page) {
    switch (page) {
        case SettingsPage::welcome:
            return "Sorvane输入法";
        case SettingsPage::account:
            return "账号";
        case SettingsPage::hotkeys:
            return "快捷键";
        case SettingsPage::general:
            return "通用";
        case SettingsPage::about:
            return "关于与支持";
        case SettingsPage::service:
            return "改写服务";
        case SettingsPage::ownKey:
            return "DeepSeek Key";
        case SettingsPage::privacy:
            return "隐私与数据";
        case SettingsPage::rhythm:
            return "打字节奏";
    }
    return "";
}

SettingsRootView::SettingsRootView(SettingsModel& model, UrlOpener& opener, QWidget* parent)
    : QWidget(parent), model_(model), opener_(opener) {
    // The accent of every control inside.
    QPalette tinted = palette();
    tinted.setColor(QPalette::Highlight, SettingsTheme::blue());
    setPalette(tinted);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    header_ = new QWidget(this);
    header_->setFixedHeight(headerHeight);
    title_ =
        new SettingsText(QString(), settingsFont(13, QFont::DemiBold), SettingsText::Tone::primary, header_);
    title_->setAlignment(Qt::AlignCenter);
    back_ = new BackButton(header_);
    QObject::connect(back_, &QAbstractButton::clicked, this, [this] { model_.show(SettingsPage::welcome); });
    column->addWidget(header_);
    column->addSpacing(1);  // the divider, painted with the background

    auto* content = new QWidget(this);
    contentLayout_ = new QVBoxLayout(content);
    contentLayout_->setContentsMargins(0, 0, 0, 0);
    contentLayout_->setSpacing(0);
    column->addWidget(content, 1);

    observer_ = model_.observeChanges([this] { refresh(); });
    refresh();
}

SettingsRootView::~SettingsRootView() = default;

QString SettingsRootView::titleText() const {
    return title_->text();
}

QAbstractButton& SettingsRootView::backButton() const {
    return *back_;
}

QWidget* SettingsRootView::pageView() const {
    return page_;
}

void SettingsRootView::refresh() {
    const SettingsPage page = model_.page();
    const std::string_view text = title(page);
    title_->setText(qstring(text));
    back_->setVisible(page != SettingsPage::welcome);
    // The account page waits for its store and shows as soon as the model has one.
    if (page != shownPage_ || (waitingForAccount_ && model_.account())) replacePage(page);
}

void SettingsRootView::replacePage(SettingsPage page) {
    if (page_) {
        contentLayout_->removeWidget(page_);
        page_->hide();
        page_->deleteLater();
        page_ = nullptr;
    }
    shownPage_ = page;
    waitingForAccount_ = page == SettingsPage::account && !model_.account();
    page_ = waitingForAccount_ ? waitingView() : makePage(page);
    if (page_) contentLayout_->addWidget(page_, 1);
}

QWidget* SettingsRootView::makePage(SettingsPage page) {
    switch (page) {
        case SettingsPage::hotkeys:
            return new HotkeysPage(model_);
        case SettingsPage::general:
            return new GeneralPage(model_, opener_);
        case SettingsPage::service:
            return new RewriteServicePage(model_, model_.billing());
        case SettingsPage::ownKey:
            return new MacOwnKeyPage(model_.billing(), opener_,
                                     [this] { model_.show(SettingsPage::account); });
        case SettingsPage::privacy:
            return new SettingsPrivacyPage(model_.billing(), opener_);
        case SettingsPage::rhythm:
            return new TypingRhythmPage([&model = model_] { return model.rhythmSnapshot(); },
                                        model_.rhythmSnapshot());
        case SettingsPage::welcome:
            return new SettingsHomePage(model_, model_.billing(), opener_);
        case SettingsPage::account:
            // Made only once the model has its store (see replacePage).
            return new AccountPage(*model_.account(), opener_);
        case SettingsPage::about:
            return new AboutPage(model_, opener_, Clipboard::live());
    }
    return nullptr;
}

void SettingsRootView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), SettingsTheme::background());
    QColor line = SettingsTheme::separator();
    line.setAlphaF(line.alphaF() * 0.4);
    painter.fillRect(QRect(0, headerHeight, width(), 1), line);
}

void SettingsRootView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeHeader();
}

void SettingsRootView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    placeHeader();
    model_.billing().start();
}

void SettingsRootView::placeHeader() {
    const int width = this->width();
    title_->setGeometry(0, 0, width, headerHeight);
    // The row is at most 700 wide between paddings of 38 and centred; the
    // button reaches 10 further left than the row so that its chevron lines
    // up with the row's edge and the padding around it still takes clicks.
    const int rowWidth = std::max(0, std::min(rowMaxWidth, width - 2 * rowPadding));
    const int rowLeft = (width - rowWidth) / 2;
    const QSize size = back_->sizeHint();
    back_->setGeometry(rowLeft - BackButton::padX, (headerHeight - size.height()) / 2, size.width(),
                       size.height());
}

}  // namespace sorvane
