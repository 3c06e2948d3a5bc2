// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "python_server.h"

namespace nyra::testing {

// Python's own HTTP/1.1 server on 127.0.0.1 (http_test_server.py), whose
// answer the first part of the path chooses: "/s404/2122" answers 404 with
// the bytes 21 22, "/chunked/…", "/close/…" and "/silent".
class HttpTestServer {
public:
    HttpTestServer();
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    bool running() const { return server_ && server_->running(); }
    const std::string& error() const { return error_; }
    // "http://127.0.0.1:port" and the answer's part.
    std::string url(const std::string& answer) const;
    void stop();
    // Each request as "GET /path HTTP/1.1|host".
    std::vector<std::string> requests() const;

private:
    std::filesystem::path dir_;
    std::unique_ptr<PythonServer> server_;
    std::string error_;
};

}  // namespace nyra::testing
