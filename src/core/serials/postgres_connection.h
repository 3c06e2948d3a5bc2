// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>

#include "serials/sql_connection.h"

struct pg_conn;

namespace nyra {

// A PostgreSQL server for a line of stations. Reservations lock only the row
// they take, so stations never wait on each other for longer than one short
// transaction.
class PostgresConnection final : public SqlConnection {
public:
    ~PostgresConnection() override;
    // uri: postgresql://user@host:port/db, as libpq takes it.
    static std::unique_ptr<PostgresConnection> open(const std::string& uri, std::string& error);

    std::optional<std::vector<SqlRow>> run(const std::string& sql,
                                           const std::vector<SqlValue>& params) override;
    bool beginWrite() override;
    // Stations starting together create the tables once.
    const char* schemaLock() const override { return "SELECT pg_advisory_xact_lock(7364517)"; }
    const char* lockFreedRows() const override { return " FOR UPDATE SKIP LOCKED"; }
    const char* nowSeconds() const override { return "CAST(EXTRACT(EPOCH FROM now()) AS BIGINT)"; }
    const std::string& error() const override { return error_; }

private:
    explicit PostgresConnection(pg_conn* connection) : connection_(connection) {}
    pg_conn* connection_;
    std::string error_;
};

}  // namespace nyra
