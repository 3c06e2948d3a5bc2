// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace nyra::testing {

// A test server written in Python, run by Debian's /usr/bin/python3: it listens on 127.0.0.1 on a
// port of its own choosing and says "PORT n" on its stdout; closing its stdin ends it. Stopped and
// reaped on destruction.
class PythonServer {
public:
    // script: its full path; what names the server in errors.
    PythonServer(const std::string& script, const std::vector<std::string>& args, std::string what);
    ~PythonServer();
    PythonServer(const PythonServer&) = delete;
    PythonServer& operator=(const PythonServer&) = delete;

    // False when the server could not be started; error() says why.
    bool running() const { return port_ != 0 && pid_ > 0; }
    const std::string& error() const { return error_; }
    std::uint16_t port() const { return port_; }

    // Ends the server and waits for it; the port stays known.
    void stop();

private:
    void start(const std::string& script, const std::vector<std::string>& args);
    bool readPortLine();

    std::string what_;
    pid_t pid_ = -1;
    int toServer_ = -1;    // its stdin; closing it ends the server
    int fromServer_ = -1;  // its stdout
    std::uint16_t port_ = 0;
    std::string error_;
};

}  // namespace nyra::testing
