// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/python_server.h"

namespace nyra::testing {

// One mail as the real server recorded it.
struct ReceivedMail {
    std::string mailFrom;
    std::vector<std::string> rcptTo;
    bool authenticated = false;
    std::string login;
    std::string password;
    std::string data;  // the message as stored, after the server removed the stuffed dots
    // The message as Python's email package reads it: "Date: …", "From: …",
    // "To: …", "Subject: …", "charset: …" lines, then "body: " and the text, in UTF-8.
    std::string decoded;
};

// aiosmtpd on 127.0.0.1 (smtp_real_server.py run by /usr/bin/python3) on a
// port of its own choosing, accepting AUTH LOGIN with one login and password.
// Stopped and reaped on destruction.
class RealSmtpServer {
public:
    RealSmtpServer(const std::string& login, const std::string& password);
    ~RealSmtpServer();
    RealSmtpServer(const RealSmtpServer&) = delete;
    RealSmtpServer& operator=(const RealSmtpServer&) = delete;

    // False when the server could not be started; error() says why.
    bool running() const { return server_ && server_->running(); }
    const std::string& error() const { return error_; }
    std::uint16_t port() const { return server_ ? server_->port() : 0; }

    // Ends the server and waits for it; the port stays known.
    void stop();

    // The mails received so far, in order of arrival.
    std::vector<ReceivedMail> mails() const;
    // Each auth attempt as "ok|refused <login> <password>".
    std::vector<std::string> authAttempts() const;

private:
    std::filesystem::path dir_;
    std::unique_ptr<PythonServer> server_;
    std::string error_;
};

}  // namespace nyra::testing
