#include "app/settings/account/AccountStoreWatch.h"

namespace sorvane {

AccountStoreWatch::AccountStoreWatch(AccountStore& store, QObject* owner, std::function<void()> redraw)
    : store_(store), receiver_(new QObject(owner)), redraw_(std::move(redraw)) {
    observer_ = store_.observeChanges([this] {
        if (pending_ || !receiver_) return;
        pending_ = true;
        QMetaObject::invokeMethod(
            receiver_,
            [this] {
                pending_ = false;
                redraw_();
            },
            Qt::QueuedConnection);
    });
}

AccountStoreWatch::~AccountStoreWatch() {
    delete receiver_.data();
}

}  // namespace sorvane
