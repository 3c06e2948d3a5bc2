// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace nyra::testing {

// A one-connection SMTP server on 127.0.0.1 that plays a script of replies:
// the first at once as the greeting, each further one after a command line
// (or after the data up to "\r\n.\r\n" when the previous reply was 354).
// A "\x01" in a reply splits it into two packets. When the script runs out
// the server hangs up, or when silent keeps the line open without a word.
class SmtpTestServer {
public:
    explicit SmtpTestServer(std::vector<std::string> replies, bool silent = false);
    ~SmtpTestServer();
    SmtpTestServer(const SmtpTestServer&) = delete;
    SmtpTestServer& operator=(const SmtpTestServer&) = delete;

    std::uint16_t port() const { return port_; }
    // Waits for the session to end; the client must have let go first.
    void join();

    // Valid after join().
    const std::vector<std::string>& commands() const { return commands_; }
    const std::string& data() const { return data_; }

private:
    void run();
    bool readUntil(int fd, std::string& buffer, const std::string& end, std::string& unit);

    std::vector<std::string> replies_;
    bool silent_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::vector<std::string> commands_;
    std::string data_;
    std::thread thread_;
};

}  // namespace nyra::testing
