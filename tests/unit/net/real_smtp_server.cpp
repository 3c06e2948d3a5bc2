// SPDX-License-Identifier: GPL-3.0-or-later
#include "real_smtp_server.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace nyra::testing {

namespace {

std::string readWhole(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.push_back(line);
    }
    return out;
}

}  // namespace

RealSmtpServer::RealSmtpServer(const std::string& login, const std::string& password) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "nyra-smtp-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) {
        error_ = std::string("no temporary directory: ") + std::strerror(errno);
        return;
    }
    dir_ = tmpl;
    server_ =
        std::make_unique<PythonServer>(std::string(NYRA_NET_TEST_DIR) + "/smtp_real_server.py",
                                       std::vector<std::string>{dir_.string(), login, password},
                                       "the SMTP server (python3-aiosmtpd)");
    error_ = server_->error();
}

RealSmtpServer::~RealSmtpServer() {
    server_.reset();
    if (!dir_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
}

void RealSmtpServer::stop() {
    if (server_) {
        server_->stop();
    }
}

std::vector<ReceivedMail> RealSmtpServer::mails() const {
    std::vector<ReceivedMail> out;
    for (int n = 1;; ++n) {
        const std::filesystem::path base = dir_ / std::to_string(n);
        // The data file is written last, so the others are complete.
        if (dir_.empty() || !std::filesystem::exists(base.string() + ".data")) {
            break;
        }
        ReceivedMail mail;
        mail.mailFrom = readWhole(base.string() + ".from");
        mail.rcptTo = lines(readWhole(base.string() + ".rcpt"));
        const std::string auth = readWhole(base.string() + ".auth");
        if (auth.rfind("yes ", 0) == 0) {
            mail.authenticated = true;
            const std::size_t gap = auth.find(' ', 4);
            mail.login = auth.substr(4, gap == std::string::npos ? gap : gap - 4);
            if (gap != std::string::npos) {
                mail.password = auth.substr(gap + 1);
            }
        }
        mail.data = readWhole(base.string() + ".data");
        mail.decoded = readWhole(base.string() + ".decoded");
        out.push_back(std::move(mail));
    }
    return out;
}

std::vector<std::string> RealSmtpServer::authAttempts() const {
    if (dir_.empty()) {
        return {};
    }
    return lines(readWhole(dir_ / "auth.log"));
}

}  // namespace nyra::testing
