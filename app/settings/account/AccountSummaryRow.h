#pragma once
// The home page's account row once the user is signed in: the WeChat account
// by name ("微信 · 小明", or "已登录微信" without a name), and a "账号" button
// to the account page. The name comes from a preview's override, else the
// window's account store, else the user cached by an earlier sign-in.
//
// Main thread only; the model and the route store must outlive the row.
//
//   group->addRow(new AccountSummaryRow(model, model.billing()));
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "kit/account/AccountRecords.h"
#include "kit/route/MacBillingStore.h"
#include "kit/settings/SettingsModel.h"

class QAbstractButton;

namespace sorvane {

class AccountStoreWatch;
class SettingsText;

class AccountSummaryRow final : public QWidget {
public:
    static constexpr int minimumRowHeight = 62;

    using CachedUser = std::function<std::optional<AccountUser>()>;

    // `cachedUser` none: AccountStore::cachedUser() of the process.
    AccountSummaryRow(SettingsModel& model, MacBillingStore& billing, CachedUser cachedUser = {},
                      QWidget* parent = nullptr);
    ~AccountSummaryRow() override;

    // The row's text for these sources, in this order.
    static QString title(const std::optional<std::optional<std::string>>& previewName,
                         const AccountStore* account, const CachedUser& cachedUser);

    SettingsText* titleText() const { return title_; }
    QAbstractButton* accountButton() const { return button_; }

private:
    void refresh();

    SettingsModel& model_;
    MacBillingStore& billing_;
    CachedUser cachedUser_;
    SettingsText* title_;
    QAbstractButton* button_;
    // Follows the account store once the model has one.
    AccountStore* watched_ = nullptr;
    std::unique_ptr<AccountStoreWatch> watch_;
    ObserverSubscription modelObserver_;
    ObserverSubscription billingObserver_;
};

}  // namespace sorvane
