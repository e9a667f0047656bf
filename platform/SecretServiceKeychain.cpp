#include <libsecret/secret.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "platform/Keychain.h"
#include "platform/ServiceSilence.h"
#include "platform/process/QuitRequest.h"

namespace sorvane {
namespace {

// One schema for every item: the service and account of a generic password,
// and the access group when the caller names one. Matching on the schema name
// keeps other applications' items with the same attribute names apart.
const SecretSchema* itemSchema() {
    static const SecretSchema schema = {"cn.kestrum.inputmethod.GenericPassword",
                                        SECRET_SCHEMA_NONE,
                                        {
                                            {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                            {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                            {"accessGroup", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
                                        },
                                        0,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr};
    return &schema;
}

struct GErrorFree {
    void operator()(GError* e) const { g_error_free(e); }
};
struct HashTableUnref {
    void operator()(GHashTable* t) const { g_hash_table_unref(t); }
};
struct ObjectUnref {
    void operator()(gpointer o) const { g_object_unref(o); }
};
struct ValueUnref {
    void operator()(SecretValue* v) const { secret_value_unref(v); }
};
struct ItemListFree {
    void operator()(GList* l) const { g_list_free_full(l, g_object_unref); }
};

using ErrorPtr = std::unique_ptr<GError, GErrorFree>;
using AttributesPtr = std::unique_ptr<GHashTable, HashTableUnref>;
using ServicePtr = std::unique_ptr<SecretService, ObjectUnref>;
using ValuePtr = std::unique_ptr<SecretValue, ValueUnref>;
using ItemListPtr = std::unique_ptr<GList, ItemListFree>;

// The keychain's code for what went wrong on the bus or in the service.
KeychainStatus statusFor(const GError* error) {
    if (!error) return KeychainStatusCode::internalComponent;
    if (error->domain == SECRET_ERROR) {
        switch (error->code) {
            case SECRET_ERROR_IS_LOCKED:
                return KeychainStatusCode::interactionNotAllowed;
            case SECRET_ERROR_NO_SUCH_OBJECT:
                return KeychainStatusCode::itemNotFound;
            case SECRET_ERROR_ALREADY_EXISTS:
                return KeychainStatusCode::duplicateItem;
            default:
                return KeychainStatusCode::internalComponent;
        }
    }
    if (error->domain == G_DBUS_ERROR) {
        switch (error->code) {
            case G_DBUS_ERROR_ACCESS_DENIED:
            case G_DBUS_ERROR_AUTH_FAILED:
                return KeychainStatusCode::authFailed;
            default:
                return KeychainStatusCode::notAvailable;
        }
    }
    if (error->domain == G_IO_ERROR) {
        if (error->code == G_IO_ERROR_CANCELLED) return KeychainStatusCode::userCanceled;
        // No session bus, a closed connection, a time-out: nothing to talk to.
        return KeychainStatusCode::notAvailable;
    }
    return KeychainStatusCode::internalComponent;
}

Expected<ServicePtr, KeychainStatus> connect(GCancellable* cancellable) {
    GError* raw = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, cancellable, &raw);
    ErrorPtr error(raw);
    if (!service) return unexpected(statusFor(error.get()));
    return ServicePtr(service);
}

// Borrows the key's strings: the table must not outlive the key.
AttributesPtr attributesFor(const KeychainItemKey& key) {
    GHashTable* table = g_hash_table_new(g_str_hash, g_str_equal);
    g_hash_table_insert(table, const_cast<char*>("service"), const_cast<char*>(key.service.c_str()));
    g_hash_table_insert(table, const_cast<char*>("account"), const_cast<char*>(key.account.c_str()));
    if (key.accessGroup) {
        g_hash_table_insert(table, const_cast<char*>("accessGroup"),
                            const_cast<char*>(key.accessGroup->c_str()));
    }
    return AttributesPtr(table);
}

// Never unlocks: a locked collection is reported, not prompted for, since the
// input-method process must not block a keystroke on a password dialog.
Expected<ItemListPtr, KeychainStatus> search(SecretService* service, const KeychainItemKey& key, int flags,
                                             GCancellable* cancellable) {
    auto attributes = attributesFor(key);
    GError* raw = nullptr;
    GList* items = secret_service_search_sync(service, itemSchema(), attributes.get(),
                                              static_cast<SecretSearchFlags>(flags), cancellable, &raw);
    ErrorPtr error(raw);
    if (error) {
        g_list_free_full(items, g_object_unref);
        return unexpected(statusFor(error.get()));
    }
    return ItemListPtr(items);
}

ValuePtr valueOf(std::string_view data) {
    return ValuePtr(secret_value_new(data.data(), static_cast<gssize>(data.size()), "text/plain"));
}

// Cancels its cancellable when the limit passes before finish(), or sooner
// once the process is told to quit. libsecret's blocking calls spin a
// private main context of their own, so the clock has to run on another
// thread; it looks at the quit request every few milliseconds, since a
// signal handler can set a flag but not wake a condition variable.
class Deadline {
public:
    enum class Outcome { answered, expired, quitting };

    explicit Deadline(std::chrono::milliseconds limit) : cancellable_(g_cancellable_new()) {
        watcher_ = std::thread([this, limit] {
            constexpr auto slice = std::chrono::milliseconds(20);
            const auto end = std::chrono::steady_clock::now() + limit;
            std::unique_lock lock(mutex_);
            for (;;) {
                const auto now = std::chrono::steady_clock::now();
                if (cv_.wait_for(lock, std::min<std::chrono::steady_clock::duration>(slice, end - now),
                                 [this] { return finished_; }))
                    return;
                if (QuitRequest::raised()) {
                    outcome_ = Outcome::quitting;
                } else if (std::chrono::steady_clock::now() >= end) {
                    outcome_ = Outcome::expired;
                } else {
                    continue;
                }
                g_cancellable_cancel(cancellable_);
                return;
            }
        });
    }
    ~Deadline() {
        finish();
        g_object_unref(cancellable_);
    }
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

    GCancellable* cancellable() const { return cancellable_; }
    // Stops the clock; whether the call ended by itself or was cancelled.
    Outcome finish() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        cv_.notify_one();
        if (watcher_.joinable()) watcher_.join();
        return outcome_;
    }

private:
    GCancellable* cancellable_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool finished_ = false;
    Outcome outcome_ = Outcome::answered;
    std::thread watcher_;
};

}  // namespace

struct SecretServiceKeychain::Bound {
    Bound(std::chrono::milliseconds limit, Diagnostic silent,
          std::optional<std::chrono::seconds> askAgainAfter)
        : limit(limit), silent(std::move(silent)), silence(askAgainAfter) {}
    const std::chrono::milliseconds limit;
    const Diagnostic silent;
    ServiceSilence silence;
};

namespace {

// One call of the keychain, unbounded or under the keychain's bound;
// `notAnswering` gives the call's result for a service that did not answer.
template <class Call, class Refusal>
auto bounded(SecretServiceKeychain::Bound* bound, Call call, Refusal notAnswering)
    -> decltype(call(nullptr)) {
    if (!bound) return call(nullptr);
    // A process that is quitting asks no one: the call fails at once.
    if (QuitRequest::raised() || !bound->silence.mayAsk(bound->limit)) return notAnswering();
    Deadline deadline(bound->limit);
    auto result = call(deadline.cancellable());
    const Deadline::Outcome outcome = deadline.finish();
    // Cut short by a quit: the service may be fine, and no one asks again.
    if (outcome == Deadline::Outcome::quitting) return notAnswering();
    const bool expired = outcome == Deadline::Outcome::expired;
    if (bound->silence.note(!expired) && bound->silent) {
        const auto& again = bound->silence.askAgainAfter();
        const std::string after = again ? "will ask it again after " + std::to_string(again->count()) + " s"
                                        : "will not ask it again";
        bound->silent("keychain not available (" + std::to_string(KeychainStatusCode::notAvailable) +
                      "): the Secret Service did not answer within " + std::to_string(bound->limit.count()) +
                      " ms; this process " + after);
    }
    if (expired) return notAnswering();
    return result;
}

// Hands every item matching `key` to `act`, stopping at the first failure;
// itemNotFound when there is none.
template <class Act>
KeychainStatus forEachItem(const KeychainItemKey& key, GCancellable* cancellable, Act act) {
    auto service = connect(cancellable);
    if (!service) return service.error();
    auto items = search(service->get(), key, SECRET_SEARCH_ALL, cancellable);
    if (!items) return items.error();
    if (!items->get()) return KeychainStatusCode::itemNotFound;
    for (GList* node = items->get(); node; node = node->next) {
        const KeychainStatus status = act(static_cast<SecretItem*>(node->data));
        if (status != KeychainStatusCode::success) return status;
    }
    return KeychainStatusCode::success;
}

KeychainStatus notAvailable() {
    return KeychainStatusCode::notAvailable;
}

}  // namespace

SecretServiceKeychain::SecretServiceKeychain(std::chrono::milliseconds limit, Diagnostic silent,
                                             std::optional<std::chrono::seconds> askAgainAfter)
    : bound_(std::make_shared<Bound>(limit, std::move(silent), askAgainAfter)) {}

Expected<std::string, KeychainStatus> SecretServiceKeychain::copy(const KeychainItemKey& key) {
    using Result = Expected<std::string, KeychainStatus>;
    return bounded(
        bound_.get(),
        [&](GCancellable* cancellable) -> Result {
            auto service = connect(cancellable);
            if (!service) return unexpected(service.error());
            auto items = search(service->get(), key, SECRET_SEARCH_LOAD_SECRETS, cancellable);
            if (!items) return unexpected(items.error());
            if (!items->get()) return unexpected(KeychainStatusCode::itemNotFound);
            auto* item = static_cast<SecretItem*>(items->get()->data);
            ValuePtr value(secret_item_get_secret(item));
            if (!value) return unexpected(KeychainStatusCode::interactionNotAllowed);
            gsize length = 0;
            const gchar* bytes = secret_value_get(value.get(), &length);
            return std::string(bytes ? bytes : "", bytes ? length : 0);
        },
        []() -> Result { return unexpected(notAvailable()); });
}

KeychainStatus SecretServiceKeychain::add(const KeychainItemKey& key, std::string_view data) {
    return bounded(
        bound_.get(),
        [&](GCancellable* cancellable) {
            auto service = connect(cancellable);
            if (!service) return service.error();
            auto existing = search(service->get(), key, SECRET_SEARCH_NONE, cancellable);
            if (!existing) return existing.error();
            if (existing->get()) return KeychainStatusCode::duplicateItem;

            auto attributes = attributesFor(key);
            auto value = valueOf(data);
            const std::string label = key.account + " (" + key.service + ")";
            GError* raw = nullptr;
            const gboolean stored = secret_service_store_sync(service->get(), itemSchema(), attributes.get(),
                                                              SECRET_COLLECTION_DEFAULT, label.c_str(),
                                                              value.get(), cancellable, &raw);
            ErrorPtr error(raw);
            if (!stored) return statusFor(error.get());
            return KeychainStatusCode::success;
        },
        notAvailable);
}

KeychainStatus SecretServiceKeychain::update(const KeychainItemKey& key, std::string_view data) {
    return bounded(
        bound_.get(),
        [&](GCancellable* cancellable) {
            auto value = valueOf(data);
            return forEachItem(key, cancellable, [&](SecretItem* item) {
                if (secret_item_get_locked(item)) return KeychainStatusCode::interactionNotAllowed;
                GError* raw = nullptr;
                const gboolean set = secret_item_set_secret_sync(item, value.get(), cancellable, &raw);
                ErrorPtr error(raw);
                return set ? KeychainStatusCode::success : statusFor(error.get());
            });
        },
        notAvailable);
}

KeychainStatus SecretServiceKeychain::remove(const KeychainItemKey& key) {
    return bounded(
        bound_.get(),
        [&](GCancellable* cancellable) {
            return forEachItem(key, cancellable, [&](SecretItem* item) {
                GError* raw = nullptr;
                const gboolean deleted = secret_item_delete_sync(item, cancellable, &raw);
                ErrorPtr error(raw);
                return deleted ? KeychainStatusCode::success : statusFor(error.get());
            });
        },
        notAvailable);
}

}  // namespace sorvane
