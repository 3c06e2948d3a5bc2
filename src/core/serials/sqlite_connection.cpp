// SPDX-License-Identifier: GPL-3.0-or-later
#include "serials/sqlite_connection.h"

#include <sqlite3.h>

namespace nyra {

namespace {

// Long enough for any other station's one short transaction.
constexpr int kBusyTimeoutMs = 10000;
constexpr int kRetryMs = 10;

}  // namespace

SqliteConnection::~SqliteConnection() {
    sqlite3_close(db_);
}

std::unique_ptr<SqliteConnection> SqliteConnection::open(const std::string& path,
                                                         std::string& error) {
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        error = path + ": " + (db ? sqlite3_errmsg(db) : "cannot be opened");
        sqlite3_close(db);
        return nullptr;
    }
    std::unique_ptr<SqliteConnection> connection(new SqliteConnection(db));
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    // Switching to WAL wants the file to itself for a moment, and SQLite does
    // not wait for that by itself: a station starting beside others retries.
    bool wal = connection->run("PRAGMA journal_mode=WAL", {}).has_value();
    for (int waited = 0; !wal && waited < kBusyTimeoutMs; waited += kRetryMs) {
        const int code = sqlite3_errcode(db);
        if (code != SQLITE_BUSY && code != SQLITE_LOCKED)
            break;
        sqlite3_sleep(kRetryMs);
        wal = connection->run("PRAGMA journal_mode=WAL", {}).has_value();
    }
    if (!wal ||
        // Each reservation on the disk before its chip is written: a power
        // cut must not give its ID out again.
        !connection->run("PRAGMA synchronous=FULL", {})) {
        error = path + ": " + connection->error();
        return nullptr;
    }
    return connection;
}

std::optional<std::vector<SqlRow>> SqliteConnection::run(const std::string& sql,
                                                         const std::vector<SqlValue>& params) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &statement, nullptr) !=
        SQLITE_OK) {
        error_ = sqlite3_errmsg(db_);
        return std::nullopt;
    }
    for (std::size_t i = 0; i < params.size(); ++i) {
        const std::string name = "$" + std::to_string(i + 1);
        const int index = sqlite3_bind_parameter_index(statement, name.c_str());
        if (index == 0)
            continue;  // not used by this statement
        const int bound =
            params[i] ? sqlite3_bind_text(statement, index, params[i]->c_str(),
                                          static_cast<int>(params[i]->size()), SQLITE_TRANSIENT)
                      : sqlite3_bind_null(statement, index);
        if (bound != SQLITE_OK) {
            error_ = sqlite3_errmsg(db_);
            sqlite3_finalize(statement);
            return std::nullopt;
        }
    }
    std::vector<SqlRow> rows;
    int step = 0;
    while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
        SqlRow row;
        for (int c = 0; c < sqlite3_column_count(statement); ++c) {
            const auto* text = sqlite3_column_text(statement, c);
            row.push_back(text ? SqlValue(reinterpret_cast<const char*>(text)) : std::nullopt);
        }
        rows.push_back(std::move(row));
    }
    if (step != SQLITE_DONE) {
        error_ = sqlite3_errmsg(db_);
        sqlite3_finalize(statement);
        return std::nullopt;
    }
    sqlite3_finalize(statement);
    return rows;
}

bool SqliteConnection::beginWrite() {
    return run("BEGIN IMMEDIATE", {}).has_value();
}

}  // namespace nyra
