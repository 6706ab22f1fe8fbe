// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "Database.h"

#include "PostgresDatabase.h"
#include "SqliteDatabase.h"

namespace orvane::backend {

bool isPostgresLocation(const std::string& location) {
    return location.starts_with("postgres://") || location.starts_with("postgresql://");
}

std::unique_ptr<Database> openDatabase(const std::string& location) {
    if (isPostgresLocation(location)) return std::make_unique<PostgresDatabase>(location);
    return std::make_unique<SqliteDatabase>(location);
}

}  // namespace orvane::backend
