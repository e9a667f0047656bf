#include "app/settings/account/WeChatSignInCard.h"

#include <QBoxLayout>

#include "app/settings/account/AccountErrorRow.h"
#include "app/settings/account/AccountStoreWatch.h"
#include "app/settings/account/ConsentRow.h"
#include "app/settings/account/WeChatLoginQR.h"
#include "app/settings/style/IconTile.h"
#include "app/settings/style/SettingsColors.h"
#include "app/settings/style/SettingsText.h"
#include "app/settings/style/SettingsTheme.h"
#include "app/settings/style/SymbolView.h"

namespace sorvane {
namespace {}  // namespace

WeChatSignInCard::WeChatSignInCard(AccountStore& store, MacBillingStore& billing, bool stacked,
                                   UrlOpener& opener, WebViewFactory* engine, QWidget* parent)
    : QWidget(parent), store_(store), billing_(billing), stacked_(stacked) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    layout_ = new QBoxLayout(QBoxLayout::LeftToRight, this);
    layout_->setContentsMargins(22, 22, 22, 22);
    layout_->addWidget(details(opener), 1);
    card_ = new WeChatLoginQR(store_, QStringLiteral("勾选同意后，这里显示登录二维码"), engine);
    layout_->addWidget(card_);
    setStacked(stacked);

    watch_ = std::make_unique<AccountStoreWatch>(store_, this, [this] { refresh(); });
    refresh();
}

WeChatSignInCard::~WeChatSignInCard() = default;

QCheckBox* WeChatSignInCard::consentBox() const {
    return consent_->checkBox();
}

QString WeChatSignInCard::pointText(const QString& text, bool stacked) {
    QString shown = text;
    if (stacked) shown.replace(QStringLiteral("右侧"), QStringLiteral("下方"));
    return shown;
}

void WeChatSignInCard::setStacked(bool stacked) {
    stacked_ = stacked;
    if (stacked) {
        layout_->setDirection(QBoxLayout::TopToBottom);
        layout_->setSpacing(18);
        layout_->setAlignment(card_, Qt::AlignHCenter);
    } else {
        layout_->setDirection(QBoxLayout::LeftToRight);
        layout_->setSpacing(22);
        layout_->setAlignment(card_, Qt::AlignTop);
    }
    for (auto& [label, text] : points_) label->setText(pointText(text, stacked));
}

QStringList WeChatSignInCard::points() const {
    QStringList shown;
    for (const auto& entry : points_) shown << entry.first->text();
    return shown;
}

QWidget* WeChatSignInCard::details(UrlOpener& opener) {
    auto* column = new QWidget;
    auto* items = new QVBoxLayout(column);
    items->setContentsMargins(0, 0, 0, 0);
    items->setSpacing(14);

    auto* title = new QHBoxLayout;
    title->setSpacing(10);
    title->addWidget(new IconTile(QStringLiteral("qrcode"), SettingsColors::weChatGreen(), 30));
    title->addWidget(new SettingsText(QStringLiteral("微信扫码登录"), settingsFont(20, QFont::Bold)));
    title->addStretch(1);
    items->addLayout(title);

    auto* why = new SettingsText(QStringLiteral("英文 AI 改写需要先用微信登录；登录后即可使用。"),
                                 settingsFont(12), SettingsText::Tone::secondary);
    why->setWraps(true);
    items->addWidget(why);

    auto* pointColumn = new QVBoxLayout;
    pointColumn->setSpacing(9);
    pointColumn->addWidget(
        point(QStringLiteral("iphone.gen3"), QStringLiteral("打开手机微信，扫一扫右侧二维码")));
    pointColumn->addWidget(point(QStringLiteral("arrow.triangle.2.circlepath"),
                                 QStringLiteral("换一台 Mac，登录同一个微信接着用")));
    pointColumn->addWidget(point(QStringLiteral("lock"), QStringLiteral("中文输入完全在本机，不需要登录")));
    items->addLayout(pointColumn);

    errorRow_ = new AccountErrorRow(settingsFont(12), [this] {
        store_.setErrorMessage(std::nullopt);
        refresh();  // the row goes at once, before the check ends
        // Its own task on the main thread; the card does not wait for it.
        QMetaObject::invokeMethod(
            this, [this] { store_.refresh(); }, Qt::QueuedConnection);
    });
    items->addWidget(errorRow_);

    consent_ = new ConsentRow(settingsFont(12), opener, [this](bool on) {
        // Both stores hold the consent: the account store first.
        store_.setTermsAccepted(on);
        billing_.setTermsAccepted(on);
    });
    items->addSpacing(4);
    items->addWidget(consent_);
    items->addStretch(1);
    return column;
}

QWidget* WeChatSignInCard::point(const QString& symbol, const QString& text) {
    auto* line = new QWidget;
    auto* row = new QHBoxLayout(line);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    auto* icon = new QWidget;
    icon->setFixedWidth(16);
    auto* iconBox = new QHBoxLayout(icon);
    iconBox->setContentsMargins(0, 0, 0, 0);
    iconBox->addWidget(new SymbolView(symbol, 12, &SettingsTheme::secondaryLabel), 0, Qt::AlignCenter);
    row->addWidget(icon, 0, Qt::AlignTop);
    auto* label = new SettingsText(pointText(text, stacked_), settingsFont(12));
    label->setWraps(true);
    row->addWidget(label, 1);
    points_.append({label, text});
    return line;
}

void WeChatSignInCard::refresh() {
    const auto& error = store_.errorMessage();
    errorRow_->setVisible(error.has_value());
    errorRow_->setText(QString::fromStdString(error.value_or("")));
    consent_->setChecked(store_.termsAccepted());
}

}  // namespace sorvane
