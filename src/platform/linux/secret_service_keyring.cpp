#include "platform/linux/secret_service_keyring.h"

#include <libsecret/secret.h>

#include <memory>

#include "core/utf8.h"

namespace quillmer {

namespace {

// The items' attributes carry no schema name, so items made by other tools match as well.
const SecretSchema* genericPasswordSchema() {
    static SecretSchema* schema =
        secret_schema_new("ai.quillmer.GenericPassword", SECRET_SCHEMA_DONT_MATCH_NAME, "service",
                          SECRET_SCHEMA_ATTRIBUTE_STRING, "account", SECRET_SCHEMA_ATTRIBUTE_STRING, nullptr);
    return schema;
}

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPointer = std::unique_ptr<GError, ErrorFree>;

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using ServicePointer = std::unique_ptr<SecretService, ObjectUnref>;

struct HashTableUnref {
    void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
using AttributesPointer = std::unique_ptr<GHashTable, HashTableUnref>;

// The table borrows the item's strings; it must not outlive `item`.
AttributesPointer attributesOf(const KeyringItem& item) {
    AttributesPointer table(g_hash_table_new(g_str_hash, g_str_equal));
    g_hash_table_insert(table.get(), const_cast<char*>("service"), const_cast<char*>(item.service.c_str()));
    g_hash_table_insert(table.get(), const_cast<char*>("account"), const_cast<char*>(item.account.c_str()));
    return table;
}

KeyringFailure failureFrom(const GError* error) {
    if (!error) return {kKeyringInternalFailure, ""};
    int32_t status = kKeyringInternalFailure;
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
        status = kKeyringUserCanceled;
    else if (error->domain == G_DBUS_ERROR || error->domain == G_IO_ERROR)  // the bus or the service went away
        status = kKeyringNotAvailable;
    else if (g_error_matches(error, SECRET_ERROR, SECRET_ERROR_IS_LOCKED))
        status = kKeyringInteractionNotAllowed;
    return {status, error->message ? error->message : ""};
}

// The session's Secret Service with an open transfer session, or why there is none. Whatever
// keeps it from being reached (no bus, no service, a broken bus address) is "not available".
std::variant<ServicePointer, KeyringFailure> connect() {
    GError* raw = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &raw);
    ErrorPointer error(raw);
    if (!service) return KeyringFailure{kKeyringNotAvailable, error ? error->message : "no Secret Service"};
    return ServicePointer(service);
}

}  // namespace

KeyringReadResult SecretServiceKeyring::read(const KeyringItem& item, bool nonInteractive) {
    auto connection = connect();
    if (auto* failure = std::get_if<KeyringFailure>(&connection)) return *failure;
    auto& service = std::get<ServicePointer>(connection);

    const auto attributes = attributesOf(item);
    // Without SECRET_SEARCH_UNLOCK a locked item comes back without its secret instead of prompting.
    const auto flags = static_cast<SecretSearchFlags>(SECRET_SEARCH_LOAD_SECRETS |
                                                      (nonInteractive ? SECRET_SEARCH_NONE : SECRET_SEARCH_UNLOCK));
    GError* raw = nullptr;
    GList* found = secret_service_search_sync(service.get(), genericPasswordSchema(), attributes.get(), flags, nullptr, &raw);
    ErrorPointer error(raw);
    if (error) return failureFrom(error.get());
    if (!found) return KeyringFailure{kKeyringItemNotFound, "no such keyring entry"};

    auto* first = static_cast<SecretItem*>(found->data);
    SecretValue* value = secret_item_get_secret(first);
    const bool locked = secret_item_get_locked(first);
    g_list_free_full(found, g_object_unref);
    if (!value) {
        if (locked)
            return KeyringFailure{nonInteractive ? kKeyringInteractionNotAllowed : kKeyringUserCanceled,
                                  "the keyring entry is locked"};
        return KeyringFailure{kKeyringInternalFailure, "the keyring returned no secret"};
    }
    gsize length = 0;
    const gchar* bytes = secret_value_get(value, &length);
    std::string text(bytes ? bytes : "", bytes ? length : 0);
    secret_value_unref(value);
    if (text.empty() || !isValidUTF8(text)) return KeyringFailure{0, "the keyring entry is empty or not text"};
    return text;
}

std::optional<KeyringFailure> SecretServiceKeyring::replace(const KeyringItem& item, std::string_view secret) {
    auto connection = connect();
    if (auto* failure = std::get_if<KeyringFailure>(&connection)) return *failure;
    auto& service = std::get<ServicePointer>(connection);

    const auto attributes = attributesOf(item);
    GError* raw = nullptr;
    secret_service_clear_sync(service.get(), genericPasswordSchema(), attributes.get(), nullptr, &raw);
    if (ErrorPointer error(raw); error) return failureFrom(error.get());

    SecretValue* value = secret_value_new(secret.data(), static_cast<gssize>(secret.size()), "text/plain");
    const std::string label = "Quillmer (" + item.service + ", " + item.account + ")";
    const bool stored = secret_service_store_sync(service.get(), genericPasswordSchema(), attributes.get(),
                                                  SECRET_COLLECTION_DEFAULT, label.c_str(), value, nullptr, &raw);
    secret_value_unref(value);
    ErrorPointer error(raw);
    if (!stored) return failureFrom(error.get());
    return std::nullopt;
}

std::optional<KeyringFailure> SecretServiceKeyring::remove(const KeyringItem& item) {
    auto connection = connect();
    if (auto* failure = std::get_if<KeyringFailure>(&connection)) return *failure;
    auto& service = std::get<ServicePointer>(connection);

    GError* raw = nullptr;
    const bool removed =
        secret_service_clear_sync(service.get(), genericPasswordSchema(), attributesOf(item).get(), nullptr, &raw);
    ErrorPointer error(raw);
    if (error) return failureFrom(error.get());
    if (!removed) return KeyringFailure{kKeyringItemNotFound, "no such keyring entry"};
    return std::nullopt;
}

Keyring& systemKeyring() {
    static SecretServiceKeyring keyring;
    return keyring;
}

}  // namespace quillmer
