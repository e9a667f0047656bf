#include "app/settings/account/AccountSummaryRow.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QPainter>

#include "app/settings/account/AccountStoreWatch.h"
#include "app/settings/style/IconTile.h"
#include "app/settings/style/SettingsColors.h"
#include "app/settings/style/SettingsText.h"
#include "app/settings/style/SettingsTheme.h"
#include "app/settings/style/SymbolView.h"

namespace sorvane {
namespace {

// A button drawn as its text alone, in the accent colour.
class PlainButton final : public QAbstractButton {
public:
    explicit PlainButton(const QString& text) {
        setText(text);
        setFont(settingsFont(12));
        setCursor(Qt::PointingHandCursor);
    }
    QSize sizeHint() const override { return fontMetrics().size(Qt::TextSingleLine, text()) + QSize(4, 4); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QColor colour = SettingsTheme::blue();
        if (isDown()) colour.setAlphaF(0.7);
        painter.setPen(colour);
        painter.setFont(font());
        painter.drawText(rect(), Qt::AlignCenter, text());
    }
};

}  // namespace

AccountSummaryRow::AccountSummaryRow(SettingsModel& model, MacBillingStore& billing, CachedUser cachedUser,
                                     QWidget* parent)
    : QWidget(parent),
      model_(model),
      billing_(billing),
      cachedUser_(cachedUser ? std::move(cachedUser) : CachedUser([] { return AccountStore::cachedUser(); })),
      title_(new SettingsText(QString(), settingsFont(13, QFont::Medium))),
      button_(new PlainButton(QStringLiteral("账号"))) {
    setMinimumHeight(minimumRowHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(16, 16, 16, 16);
    row->setSpacing(12);
    row->addWidget(
        new IconTile(QStringLiteral("person.crop.circle.fill"), SettingsColors::weChatGreen(), 30));
    auto* column = new QVBoxLayout;
    column->setSpacing(5);
    column->addWidget(title_);
    row->addLayout(column, 1);
    row->addSpacing(8);
    row->addWidget(button_);
    row->addWidget(new SymbolView(QStringLiteral("chevron.right"), 10, &SettingsTheme::tertiaryLabel));
    // Only the button acts: a tap elsewhere on the row does nothing.
    connect(button_, &QAbstractButton::clicked, this, [this] { model_.show(SettingsPage::account); });

    modelObserver_ = model_.observeChanges([this] { refresh(); });
    billingObserver_ = billing_.observeChanges([this] { refresh(); });
    refresh();
}

AccountSummaryRow::~AccountSummaryRow() = default;

QString AccountSummaryRow::title(const std::optional<std::optional<std::string>>& previewName,
                                 const AccountStore* account, const CachedUser& cachedUser) {
    std::optional<std::string> name;
    if (previewName) {
        name = *previewName;
    } else if (account && account->login().is(AccountStore::LoginState::Kind::loggedIn) &&
               account->login().user) {
        name = account->login().user->nickname;
    } else if (auto cached = cachedUser()) {
        name = cached->nickname;
    }
    // An empty name is no name: never "微信 · " with nothing after it.
    if (!name || name->empty()) return QStringLiteral("已登录微信");
    return QStringLiteral("微信 · ") + QString::fromStdString(*name);
}

void AccountSummaryRow::refresh() {
    if (model_.account() != watched_) {
        watched_ = model_.account();
        watch_ =
            watched_ ? std::make_unique<AccountStoreWatch>(*watched_, this, [this] { refresh(); }) : nullptr;
    }
    title_->setText(title(model_.previewAccountName, model_.account(), cachedUser_));
}

}  // namespace sorvane
