#include <libsecret/secret.h>

#include <memory>
#include <string>

#include "platform/Keychain.h"

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

Expected<ServicePtr, KeychainStatus> connect() {
    GError* raw = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &raw);
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
Expected<ItemListPtr, KeychainStatus> search(SecretService* service, const KeychainItemKey& key, int flags) {
    auto attributes = attributesFor(key);
    GError* raw = nullptr;
    GList* items = secret_service_search_sync(service, itemSchema(), attributes.get(),
                                              static_cast<SecretSearchFlags>(flags), nullptr, &raw);
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

}  // namespace

Expected<std::string, KeychainStatus> SecretServiceKeychain::copy(const KeychainItemKey& key) {
    auto service = connect();
    if (!service) return unexpected(service.error());
    auto items = search(service->get(), key, SECRET_SEARCH_LOAD_SECRETS);
    if (!items) return unexpected(items.error());
    if (!items->get()) return unexpected(KeychainStatusCode::itemNotFound);
    auto* item = static_cast<SecretItem*>(items->get()->data);
    ValuePtr value(secret_item_get_secret(item));
    if (!value) return unexpected(KeychainStatusCode::interactionNotAllowed);
    gsize length = 0;
    const gchar* bytes = secret_value_get(value.get(), &length);
    return std::string(bytes ? bytes : "", bytes ? length : 0);
}

KeychainStatus SecretServiceKeychain::add(const KeychainItemKey& key, std::string_view data) {
    auto service = connect();
    if (!service) return service.error();
    auto existing = search(service->get(), key, SECRET_SEARCH_NONE);
    if (!existing) return existing.error();
    if (existing->get()) return KeychainStatusCode::duplicateItem;

    auto attributes = attributesFor(key);
    auto value = valueOf(data);
    const std::string label = key.account + " (" + key.service + ")";
    GError* raw = nullptr;
    const gboolean stored =
        secret_service_store_sync(service->get(), itemSchema(), attributes.get(), SECRET_COLLECTION_DEFAULT,
                                  label.c_str(), value.get(), nullptr, &raw);
    ErrorPtr error(raw);
    if (!stored) return statusFor(error.get());
    return KeychainStatusCode::success;
}

KeychainStatus SecretServiceKeychain::update(const KeychainItemKey& key, std::string_view data) {
    auto service = connect();
    if (!service) return service.error();
    auto items = search(service->get(), key, SECRET_SEARCH_ALL);
    if (!items) return items.error();
    if (!items->get()) return KeychainStatusCode::itemNotFound;
    auto value = valueOf(data);
    for (GList* node = items->get(); node; node = node->next) {
        auto* item = static_cast<SecretItem*>(node->data);
        if (secret_item_get_locked(item)) return KeychainStatusCode::interactionNotAllowed;
        GError* raw = nullptr;
        const gboolean set = secret_item_set_secret_sync(item, value.get(), nullptr, &raw);
        ErrorPtr error(raw);
        if (!set) return statusFor(error.get());
    }
    return KeychainStatusCode::success;
}

KeychainStatus SecretServiceKeychain::remove(const KeychainItemKey& key) {
    auto service = connect();
    if (!service) return service.error();
    auto items = search(service->get(), key, SECRET_SEARCH_ALL);
    if (!items) return items.error();
    if (!items->get()) return KeychainStatusCode::itemNotFound;
    for (GList* node = items->get(); node; node = node->next) {
        auto* item = static_cast<SecretItem*>(node->data);
        GError* raw = nullptr;
        const gboolean deleted = secret_item_delete_sync(item, nullptr, &raw);
        ErrorPtr error(raw);
        if (!deleted) return statusFor(error.get());
    }
    return KeychainStatusCode::success;
}

}  // namespace sorvane
