// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

// One connection to the database that keeps a line's serial numbers. Values
// travel as text: the store's numbers fit in 64 bits and its texts are short.
namespace nyra {

using SqlValue = std::optional<std::string>;  // nullopt: NULL
using SqlRow = std::vector<SqlValue>;

class SqlConnection {
public:
    virtual ~SqlConnection() = default;
    // Runs one statement with $1, $2, ... bound to params; its rows, or
    // nullopt with error() set.
    virtual std::optional<std::vector<SqlRow>> run(const std::string& sql,
                                                   const std::vector<SqlValue>& params = {}) = 0;
    // Starts a transaction that writes: other writers wait (SQLite) or lock
    // rows as they go (PostgreSQL).
    virtual bool beginWrite() = 0;
    // Run first in the transaction that creates the tables (empty: none needed).
    virtual const char* schemaLock() const = 0;
    // Added to the query that picks a freed ID to reserve.
    virtual const char* lockFreedRows() const = 0;
    // The database's own clock in whole seconds since 1970, as SQL.
    virtual const char* nowSeconds() const = 0;
    virtual const std::string& error() const = 0;
};

}  // namespace nyra
