// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <thread>

namespace nyra::sim {

// Serves one-line requests on a Unix stream socket from a background thread:
// the client sends a line, gets the handler's reply, and the connection
// closes. One client at a time; a slow or silent client is dropped.
class ControlServer {
public:
    using Handler = std::function<std::string(std::string_view line)>;

    ControlServer() = default;
    ~ControlServer() { stop(); }
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    // Fails when the path is unusable or another live server holds it; a
    // stale socket file left by a crashed process is replaced.
    bool start(const std::string& path, Handler handler, std::string* error);
    void stop();
    bool running() const { return thread_.joinable(); }
    const std::string& path() const { return path_; }

private:
    void serve();
    void answer(int client);

    std::thread thread_;
    int listenFd_ = -1;
    int stopFd_ = -1;
    std::string path_;
    Handler handler_;
};

// The client side: sends one line and returns the whole reply.
bool sendControlRequest(const std::string& path, std::string_view line, std::string& reply,
                        std::string* error, int timeoutMs = 5000);

}  // namespace nyra::sim
