#include "app/settings/AccountStoreWatch.h"

namespace sorvane {

AccountStoreWatch::AccountStoreWatch(AccountStore& store, QObject* owner, std::function<void()> redraw)
    : store_(store), owner_(owner), redraw_(std::move(redraw)) {
    observer_ = store_.observeChanges([this] {
        if (pending_) return;
        pending_ = true;
        // Delivered to the owner, so nothing runs once it is gone.
        QMetaObject::invokeMethod(
            owner_,
            [this] {
                pending_ = false;
                redraw_();
            },
            Qt::QueuedConnection);
    });
}

AccountStoreWatch::~AccountStoreWatch() { store_.removeObserver(observer_); }

}  // namespace sorvane
