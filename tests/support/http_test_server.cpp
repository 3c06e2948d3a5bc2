// SPDX-License-Identifier: GPL-3.0-or-later
#include "http_test_server.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace nyra::testing {

HttpTestServer::HttpTestServer() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "nyra-http-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) {
        error_ = std::string("no temporary directory: ") + std::strerror(errno);
        return;
    }
    dir_ = tmpl;
    server_ =
        std::make_unique<PythonServer>(std::string(NYRA_TEST_SUPPORT_DIR) + "/http_test_server.py",
                                       std::vector<std::string>{dir_.string()}, "the HTTP server");
    error_ = server_->error();
}

HttpTestServer::~HttpTestServer() {
    server_.reset();
    if (!dir_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
}

std::string HttpTestServer::url(const std::string& answer) const {
    return "http://127.0.0.1:" + std::to_string(server_ ? server_->port() : 0) + "/" + answer;
}

void HttpTestServer::stop() {
    if (server_) {
        server_->stop();
    }
}

std::vector<std::string> HttpTestServer::requests() const {
    std::vector<std::string> out;
    std::ifstream in(dir_ / "requests.log");
    for (std::string line; std::getline(in, line);) {
        out.push_back(line);
    }
    return out;
}

}  // namespace nyra::testing
