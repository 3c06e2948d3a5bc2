// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/tcp.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace nyra::tcp {

namespace {

int pollMs(Deadline deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<long long>(left.count(), 0, 1 << 30));
}

}  // namespace

std::optional<std::uint32_t> resolveIpv4(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || !found)
        return std::nullopt;
    const std::uint32_t address =
        reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(found);
    return address;
}

ConnectResult connectIpv4(std::uint32_t address, std::uint16_t port,
                          std::chrono::milliseconds timeout, int& fd) {
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return ConnectResult::NoSocket;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = address;
    peer.sin_port = htons(port);

    // Non-blocking so that an unanswered connect ends with the time-out.
    int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    if (rc != 0 && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        rc = ::poll(&p, 1, static_cast<int>(timeout.count()));
        int soError = 0;
        socklen_t len = sizeof soError;
        if (rc == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) == 0 &&
            soError == 0) {
            rc = 0;
        } else {
            errno = rc == 0 ? ETIMEDOUT : (soError != 0 ? soError : errno);
            rc = -1;
        }
    }
    if (rc != 0) {
        const int saved = errno;
        closeSocket(fd);
        errno = saved;
        return ConnectResult::Refused;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(timeout.count() / 1000);
    tv.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    return ConnectResult::Connected;
}

bool sendAll(int fd, std::string_view data) {
    while (!data.empty()) {
        // MSG_NOSIGNAL: a peer that hung up must not kill us with SIGPIPE.
        const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

ReceiveResult receiveSome(int fd, std::string& into, std::size_t maxBytes, Deadline deadline) {
    std::vector<char> chunk(std::max<std::size_t>(maxBytes, 1));
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, pollMs(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return ReceiveResult::Failed;
        if (ready == 0)
            return ReceiveResult::TimedOut;
        const ssize_t got = ::recv(fd, chunk.data(), chunk.size(), 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return ReceiveResult::Failed;
        if (got == 0)
            return ReceiveResult::Closed;
        into.append(chunk.data(), static_cast<std::size_t>(got));
        return ReceiveResult::Data;
    }
}

void closeSocket(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

std::string lastErrorText() {
    char buffer[256] = {};
    // GNU strerror_r returns the text, which may or may not be the buffer.
    const char* text = ::strerror_r(errno, buffer, sizeof buffer);
    return text ? std::string(text) : std::string();
}

}  // namespace nyra::tcp
