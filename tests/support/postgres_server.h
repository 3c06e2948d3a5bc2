// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace nyra::testing {

// A PostgreSQL server of the test's own: initdb into a temporary folder, the
// server on a free loopback port with its socket in that folder, trust for
// the user "nyra". Run as the postgres user when the test runs as root
// (initdb refuses root). Stopped and removed on destruction.
class PostgresServer {
public:
    // durable: the server flushes each commit to the disk, as a line's does
    // (tests leave that off for speed).
    explicit PostgresServer(bool durable = false);
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    bool running() const { return running_; }
    const std::string& error() const { return error_; }
    std::string url() const;

    // Stops or starts the server again on the same port and data.
    bool stop();
    bool start();

private:
    bool run(const std::string& command, const std::string& what);

    std::string bin_;
    std::string folder_;
    std::uint16_t port_ = 0;
    bool asPostgres_ = false;
    bool durable_ = false;
    bool running_ = false;
    std::string error_;
};

}  // namespace nyra::testing
