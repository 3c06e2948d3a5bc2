// SPDX-License-Identifier: GPL-3.0-or-later
#include "smtp_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace nyra::testing {

namespace {

// No session of these tests lasts this long; it only keeps a broken test
// from hanging the run.
constexpr int kGiveUpMs = 10000;

void sendText(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n <= 0) {
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

SmtpTestServer::SmtpTestServer(std::vector<std::string> replies, bool silent)
    : replies_(std::move(replies)), silent_(silent) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener_, 1) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        throw std::runtime_error("test server: no listening socket");
    }
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { run(); });
}

SmtpTestServer::~SmtpTestServer() {
    join();
    if (listener_ >= 0) {
        ::close(listener_);
    }
}

void SmtpTestServer::join() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool SmtpTestServer::readUntil(int fd, std::string& buffer, const std::string& end,
                               std::string& unit) {
    while (true) {
        const std::size_t at = buffer.find(end);
        if (at != std::string::npos) {
            unit = buffer.substr(0, at + end.size());
            buffer.erase(0, at + end.size());
            return true;
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, kGiveUpMs) != 1) {
            return false;
        }
        char chunk[4096];
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) {
            return false;
        }
        buffer.append(chunk, static_cast<std::size_t>(n));
    }
}

void SmtpTestServer::run() {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, kGiveUpMs) != 1) {
        return;
    }
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        return;
    }
    auto play = [fd](const std::string& reply) {
        const std::size_t split = reply.find('\x01');
        if (split == std::string::npos) {
            sendText(fd, reply);
            return;
        }
        sendText(fd, reply.substr(0, split));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        sendText(fd, reply.substr(split + 1));
    };

    std::size_t next = 0;
    if (next < replies_.size()) {
        play(replies_[next++]);
    }
    std::string buffer;
    bool inData = false;
    while (true) {
        std::string unit;
        if (inData) {
            if (!readUntil(fd, buffer, "\r\n.\r\n", unit)) {
                break;
            }
            data_ = unit;
            inData = false;
        } else {
            if (!readUntil(fd, buffer, "\r\n", unit)) {
                break;
            }
            commands_.push_back(unit.substr(0, unit.size() - 2));
        }
        if (next >= replies_.size()) {
            if (silent_) {
                std::string rest;
                readUntil(fd, buffer, "\x02never", rest);  // until the client hangs up
            }
            break;
        }
        const std::string& reply = replies_[next++];
        play(reply);
        inData = reply.rfind("354", 0) == 0;
    }
    ::close(fd);
}

}  // namespace nyra::testing
