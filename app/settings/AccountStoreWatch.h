#pragma once
// Lets a view redraw after the account store's published fields changed.
// The store tells its observers before a change lands, so the redraw runs
// from the event loop; several changes in one turn give one redraw. Made as a
// member of the view it redraws (`owner`): it stops with it.
//
//   watch_ = std::make_unique<AccountStoreWatch>(store, this, [this] { refresh(); });
#include <QObject>
#include <functional>

#include "kit/AccountStore.h"

namespace sorvane {

class AccountStoreWatch {
public:
    AccountStoreWatch(AccountStore& store, QObject* owner, std::function<void()> redraw);
    ~AccountStoreWatch();
    AccountStoreWatch(const AccountStoreWatch&) = delete;
    AccountStoreWatch& operator=(const AccountStoreWatch&) = delete;

private:
    AccountStore& store_;
    QObject* owner_;
    std::function<void()> redraw_;
    AccountStore::ObserverId observer_ = 0;
    bool pending_ = false;
};

}  // namespace sorvane
