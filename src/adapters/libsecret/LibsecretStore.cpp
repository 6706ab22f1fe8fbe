// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/libsecret/LibsecretStore.h"

#include <libsecret/secret.h>

namespace orvane {

namespace {

const SecretSchema* schema() {
    static const SecretSchema kSchema = {"com.orvane.desktop.Secret",
                                         SECRET_SCHEMA_NONE,
                                         {
                                             {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                             {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
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
    return &kSchema;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> LibsecretStore::read(const std::string& service,
                                                              const std::string& account) {
    GError* error = nullptr;
    SecretValue* value = secret_password_lookup_binary_sync(
        schema(), nullptr, &error, "service", service.c_str(), "account", account.c_str(), nullptr);
    if (error) g_error_free(error);
    if (!value) return std::nullopt;
    gsize length = 0;
    const gchar* bytes = secret_value_get(value, &length);
    std::vector<std::uint8_t> result(bytes, bytes + length);
    secret_value_unref(value);
    return result;
}

void LibsecretStore::save(const std::string& service, const std::string& account,
                          const std::vector<std::uint8_t>& value) {
    // Content type "application/octet-stream" keeps arbitrary bytes as they are.
    SecretValue* secret =
        secret_value_new(reinterpret_cast<const gchar*>(value.data()),
                         static_cast<gssize>(value.size()), "application/octet-stream");
    const std::string label = "Orvane: " + account;
    GError* error = nullptr;
    secret_password_store_binary_sync(schema(), SECRET_COLLECTION_DEFAULT, label.c_str(), secret,
                                      nullptr, &error, "service", service.c_str(), "account",
                                      account.c_str(), nullptr);
    if (error) g_error_free(error);
    secret_value_unref(secret);
}

void LibsecretStore::remove(const std::string& service, const std::string& account) {
    GError* error = nullptr;
    secret_password_clear_sync(schema(), nullptr, &error, "service", service.c_str(), "account",
                               account.c_str(), nullptr);
    if (error) g_error_free(error);
}

}  // namespace orvane
