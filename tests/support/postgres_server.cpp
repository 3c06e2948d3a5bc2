// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/postgres_server.h"

#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace nyra::testing {

namespace {

// The newest installed server's programs.
std::string serverBin() {
    std::vector<std::string> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", error)) {
        if (std::filesystem::exists(entry.path() / "bin" / "initdb"))
            found.push_back((entry.path() / "bin").string());
    }
    std::sort(found.begin(), found.end());
    return found.empty() ? std::string() : found.back();
}

std::uint16_t freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    std::uint16_t port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

PostgresServer::PostgresServer(bool durable) : bin_(serverBin()), durable_(durable) {
    if (bin_.empty()) {
        error_ = "no PostgreSQL server installed (Debian package postgresql)";
        return;
    }
    std::string pattern = "/tmp/nyra_pg_XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        error_ = "mkdtemp failed";
        return;
    }
    folder_ = pattern;
    asPostgres_ = ::geteuid() == 0;
    if (asPostgres_) {
        const passwd* user = ::getpwnam("postgres");
        if (!user || ::chown(folder_.c_str(), user->pw_uid, user->pw_gid) != 0) {
            error_ = "the postgres user cannot own " + folder_;
            return;
        }
    }
    port_ = freePort();
    if (!run(bin_ + "/initdb -D " + folder_ + "/data -A trust -U nyra -E UTF8 --no-sync > " +
                 folder_ + "/initdb.log 2>&1",
             "initdb"))
        return;
    start();
}

PostgresServer::~PostgresServer() {
    if (running_)
        run(bin_ + "/pg_ctl -D " + folder_ + "/data -m immediate -w stop > /dev/null 2>&1",
            "pg_ctl stop");
    if (!folder_.empty()) {
        std::error_code error;
        std::filesystem::remove_all(folder_, error);
    }
}

bool PostgresServer::run(const std::string& command, const std::string& what) {
    const std::string line =
        asPostgres_ ? "runuser -u postgres -- sh -c '" + command + "'" : command;
    if (std::system(line.c_str()) == 0)
        return true;
    error_ =
        what + " failed: " + readAll(folder_ + "/initdb.log") + readAll(folder_ + "/server.log");
    return false;
}

bool PostgresServer::start() {
    running_ = run(bin_ + "/pg_ctl -D " + folder_ + "/data -l " + folder_ +
                       "/server.log -w -t 60 -o \"-p " + std::to_string(port_) + " -k " + folder_ +
                       " -c listen_addresses=127.0.0.1" + (durable_ ? "" : " -c fsync=off") +
                       "\" start > /dev/null 2>&1",
                   "pg_ctl start");
    return running_;
}

bool PostgresServer::stop() {
    if (!running_)
        return true;
    running_ = !run(bin_ + "/pg_ctl -D " + folder_ + "/data -m fast -w stop > /dev/null 2>&1",
                    "pg_ctl stop");
    return !running_;
}

std::string PostgresServer::url() const {
    return "postgresql://nyra@127.0.0.1:" + std::to_string(port_) + "/postgres";
}

}  // namespace nyra::testing
