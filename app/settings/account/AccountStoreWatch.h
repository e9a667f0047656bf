#pragma once
// Lets a view redraw after the account store's published fields changed.
// The store tells its observers before a change lands, so the redraw runs
// from the event loop; several changes in one turn give one redraw. Made as a
// member of the view it redraws (`owner`): it stops with it, and a redraw
// still queued when the watch goes (a view that replaces its watch) is
// dropped with it.
//
//   watch_ = std::make_unique<AccountStoreWatch>(store, this, [this] { refresh(); });
#include <QObject>
#include <QPointer>
#include <functional>

#include "kit/account/AccountStore.h"

namespace sorvane {

class AccountStoreWatch {
public:
    AccountStoreWatch(AccountStore& store, QObject* owner, std::function<void()> redraw);
    ~AccountStoreWatch();
    AccountStoreWatch(const AccountStoreWatch&) = delete;
    AccountStoreWatch& operator=(const AccountStoreWatch&) = delete;

private:
    AccountStore& store_;
    // Receives the queued redraws: a child of the owner, deleted with the
    // watch, so the queue delivers nothing once either is gone.
    QPointer<QObject> receiver_;
    std::function<void()> redraw_;
    bool pending_ = false;
    ObserverSubscription observer_;
};

}  // namespace sorvane
