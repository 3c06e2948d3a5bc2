// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>

#include "serials/sql_connection.h"

struct sqlite3;

namespace nyra {

// A database file on this host, shared by the stations' processes: WAL mode
// and a busy time-out, so a writer waits its turn instead of failing.
class SqliteConnection final : public SqlConnection {
public:
    ~SqliteConnection() override;
    static std::unique_ptr<SqliteConnection> open(const std::string& path, std::string& error);

    std::optional<std::vector<SqlRow>> run(const std::string& sql,
                                           const std::vector<SqlValue>& params) override;
    bool beginWrite() override;
    const char* schemaLock() const override { return ""; }
    const char* lockFreedRows() const override { return ""; }
    const char* nowSeconds() const override { return "CAST(strftime('%s','now') AS INTEGER)"; }
    const std::string& error() const override { return error_; }

private:
    explicit SqliteConnection(sqlite3* db) : db_(db) {}
    sqlite3* db_;
    std::string error_;
};

}  // namespace nyra
