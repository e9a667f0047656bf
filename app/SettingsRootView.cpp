#include "app/SettingsRootView.h"

#include <QAbstractButton>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QVBoxLayout>

#include "app/SettingsPageView.h"

namespace sorvane {
namespace {

// "‹ 返回": the whole padded rectangle takes clicks, not only the glyphs.
class BackButton final : public QAbstractButton {
public:
    static constexpr int padX = 10;
    static constexpr int padY = 7;
    static constexpr int chevronWidth = 7;
    static constexpr int gap = 5;

    explicit BackButton(QWidget* parent) : QAbstractButton(parent) {
        QFont f = font();
        f.setPixelSize(13);
        setFont(f);
        setText(QStringLiteral("返回"));
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::NoFocus);
        resize(sizeHint());
    }

    QSize sizeHint() const override {
        const QFontMetrics metrics(font());
        return {padX + chevronWidth + gap + metrics.horizontalAdvance(text()) + padX,
                padY + metrics.height() + padY};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor color = palette().color(QPalette::Highlight);
        if (isDown()) color.setAlphaF(0.6);
        const QFontMetrics metrics(font());
        const double midY = height() / 2.0;
        const double half = metrics.capHeight() / 2.0 + 1;
        QPainterPath chevron;
        chevron.moveTo(padX + chevronWidth - 1, midY - half);
        chevron.lineTo(padX + 1, midY);
        chevron.lineTo(padX + chevronWidth - 1, midY + half);
        painter.setPen(QPen(color, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(chevron);
        painter.setPen(color);
        painter.drawText(QRect(padX + chevronWidth + gap, 0, width(), height()), Qt::AlignVCenter | Qt::AlignLeft,
                         text());
    }
};

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

SettingsRootView::SettingsRootView(SettingsModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    setAutoFillBackground(true);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    header_ = new QWidget(this);
    header_->setFixedHeight(headerHeight);
    title_ = new QLabel(header_);
    QFont titleFont = title_->font();
    titleFont.setPixelSize(13);
    titleFont.setWeight(QFont::DemiBold);
    title_->setFont(titleFont);
    title_->setAlignment(Qt::AlignCenter);
    back_ = new BackButton(header_);
    QObject::connect(back_, &QAbstractButton::clicked, this, [this] { model_.show(SettingsPage::welcome); });
    column->addWidget(header_);

    divider_ = new QFrame(this);
    divider_->setFixedHeight(1);
    divider_->setAutoFillBackground(true);
    QPalette dividerPalette = divider_->palette();
    QColor line = dividerPalette.color(QPalette::Mid);
    line.setAlphaF(0.4);
    dividerPalette.setColor(QPalette::Window, line);
    divider_->setPalette(dividerPalette);
    column->addWidget(divider_);

    auto* content = new QWidget(this);
    contentLayout_ = new QVBoxLayout(content);
    contentLayout_->setContentsMargins(0, 0, 0, 0);
    contentLayout_->setSpacing(0);
    column->addWidget(content, 1);

    observer_ = model_.observeChanges([this] { refresh(); });
    refresh();
}

SettingsRootView::~SettingsRootView() {
    model_.removeObserver(observer_);
    if (auto* view = dynamic_cast<SettingsPageView*>(page_)) view->retire();
}

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
    title_->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    back_->setVisible(page != SettingsPage::welcome);
    // The account page waits for its store; it shows as soon as the model has one.
    if (page != shownPage_ || (waitingForAccount_ && model_.account())) replacePage(page);
}

void SettingsRootView::replacePage(SettingsPage page) {
    if (page_) {
        // The old view may be the one whose click brought us here: it goes
        // once control has left it, but hears nothing from now on.
        if (auto* view = dynamic_cast<SettingsPageView*>(page_)) view->retire();
        contentLayout_->removeWidget(page_);
        page_->hide();
        page_->deleteLater();
        page_ = nullptr;
    }
    shownPage_ = page;
    waitingForAccount_ = page == SettingsPage::account && !model_.account();
    page_ = makePage(page);
    if (page_) contentLayout_->addWidget(page_, 1);
}

QWidget* SettingsRootView::makePage(SettingsPage page) {
    if (waitingForAccount_) {
        auto* holder = new QWidget;
        auto* layout = new QVBoxLayout(holder);
        auto* spinner = new QProgressBar(holder);
        spinner->setRange(0, 0);
        spinner->setTextVisible(false);
        spinner->setFixedWidth(120);
        layout->addWidget(spinner, 0, Qt::AlignCenter);
        return holder;
    }
    switch (page) {
        case SettingsPage::hotkeys:
        case SettingsPage::general:
        case SettingsPage::service:
        case SettingsPage::welcome:
        case SettingsPage::account:
        case SettingsPage::about:
        case SettingsPage::ownKey:
        case SettingsPage::privacy:
        case SettingsPage::rhythm:
            // These pages arrive with their own views; the area stays empty.
            return nullptr;
    }
    return nullptr;
}

void SettingsRootView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeHeader();
}

void SettingsRootView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    placeHeader();
}

void SettingsRootView::placeHeader() {
    const int width = this->width();
    title_->setGeometry(0, 0, width, headerHeight);
    // The row is at most 700 wide between paddings of 38 and centred; the
    // button reaches 10 further left than the row so its chevron lines up
    // with the row's edge and the padding around it still takes clicks.
    const int rowWidth = std::max(0, std::min(rowMaxWidth, width - 2 * rowPadding));
    const int rowLeft = (width - rowWidth) / 2;
    const QSize size = back_->sizeHint();
    back_->setGeometry(rowLeft - BackButton::padX, (headerHeight - size.height()) / 2, size.width(),
                       size.height());
}

}  // namespace sorvane
