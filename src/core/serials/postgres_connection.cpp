// SPDX-License-Identifier: GPL-3.0-or-later
#include "serials/postgres_connection.h"

#include <libpq-fe.h>

namespace nyra {

namespace {

// libpq's messages end with a line break; the program's lines do not.
std::string messageOf(const char* text) {
    std::string message = text ? text : "";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    return message;
}

}  // namespace

PostgresConnection::~PostgresConnection() {
    PQfinish(connection_);
}

std::unique_ptr<PostgresConnection> PostgresConnection::open(const std::string& uri,
                                                             std::string& error) {
    PGconn* connection = PQconnectdb(uri.c_str());
    if (!connection || PQstatus(connection) != CONNECTION_OK) {
        error = connection ? messageOf(PQerrorMessage(connection)) : "out of memory";
        PQfinish(connection);
        return nullptr;
    }
    // Notices (a table that exists already) are not the user's business.
    PQsetNoticeProcessor(
        connection, [](void*, const char*) {}, nullptr);
    return std::unique_ptr<PostgresConnection>(new PostgresConnection(connection));
}

std::optional<std::vector<SqlRow>> PostgresConnection::run(const std::string& sql,
                                                           const std::vector<SqlValue>& params) {
    // A server that went away and came back: the next statement connects again.
    if (PQstatus(connection_) != CONNECTION_OK) {
        PQreset(connection_);
        if (PQstatus(connection_) != CONNECTION_OK) {
            error_ = messageOf(PQerrorMessage(connection_));
            return std::nullopt;
        }
    }
    std::vector<const char*> values;
    for (const SqlValue& value : params)
        values.push_back(value ? value->c_str() : nullptr);
    PGresult* result = PQexecParams(connection_, sql.c_str(), static_cast<int>(values.size()),
                                    nullptr, values.data(), nullptr, nullptr, 0);
    const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        error_ = messageOf(result ? PQresultErrorMessage(result) : PQerrorMessage(connection_));
        if (error_.empty())
            error_ = messageOf(PQerrorMessage(connection_));
        PQclear(result);
        return std::nullopt;
    }
    std::vector<SqlRow> rows;
    for (int r = 0; r < PQntuples(result); ++r) {
        SqlRow row;
        for (int c = 0; c < PQnfields(result); ++c)
            row.push_back(PQgetisnull(result, r, c) ? std::nullopt
                                                    : SqlValue(PQgetvalue(result, r, c)));
        rows.push_back(std::move(row));
    }
    PQclear(result);
    return rows;
}

bool PostgresConnection::beginWrite() {
    return run("BEGIN", {}).has_value();
}

}  // namespace nyra
