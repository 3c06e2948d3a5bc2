// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/control_server.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sim/control.h"

namespace nyra::sim {

namespace {

constexpr int kClientTimeoutMs = 2000;
constexpr std::size_t kMaxReply = 1 << 20;

bool fail(std::string* error, std::string message) {
    if (error)
        *error = std::move(message);
    return false;
}

bool makeAddress(const std::string& path, sockaddr_un& addr, std::string* error) {
    if (path.empty() || path.size() >= sizeof addr.sun_path) {
        return fail(error, "control socket path is empty or too long: " + path);
    }
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.data(), path.size());
    return true;
}

bool waitFor(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    int r = 0;
    do {
        r = ::poll(&p, 1, timeoutMs);
    } while (r < 0 && errno == EINTR);
    return r > 0;
}

bool writeAll(int fd, std::string_view data, int timeoutMs) {
    while (!data.empty()) {
        if (!waitFor(fd, POLLOUT, timeoutMs))
            return false;
        const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool liveServerAt(const sockaddr_un& addr) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool live = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return live;
}

}  // namespace

bool ControlServer::start(const std::string& path, Handler handler, std::string* error) {
    if (running())
        return fail(error, "control server already running");
    sockaddr_un addr{};
    if (!makeAddress(path, addr, error))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return fail(error, std::string("socket: ") + std::strerror(errno));
    const auto* sa = reinterpret_cast<const sockaddr*>(&addr);
    int err = ::bind(fd, sa, sizeof addr) == 0 ? 0 : errno;
    if (err == EADDRINUSE) {
        struct stat st {};
        const bool socketFile = ::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
        if (socketFile && liveServerAt(addr)) {
            ::close(fd);
            return fail(error, "another simulator already serves " + path);
        }
        // Replace a stale socket left by a crashed process; never another file.
        if (socketFile) {
            ::unlink(path.c_str());
            err = ::bind(fd, sa, sizeof addr) == 0 ? 0 : errno;
        }
    }
    if (err != 0) {
        ::close(fd);
        return fail(error, "cannot serve " + path + ": " + std::strerror(err));
    }
    ::chmod(path.c_str(), 0600);
    if (::listen(fd, 4) != 0) {
        const std::string reason = std::strerror(errno);
        ::close(fd);
        ::unlink(path.c_str());
        return fail(error, "listen on " + path + ": " + reason);
    }
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopFd_ < 0) {
        ::close(fd);
        ::unlink(path.c_str());
        return fail(error, "eventfd failed");
    }
    listenFd_ = fd;
    path_ = path;
    handler_ = std::move(handler);
    thread_ = std::thread([this] { serve(); });
    return true;
}

void ControlServer::stop() {
    if (!thread_.joinable())
        return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(stopFd_, &one, sizeof one);
    thread_.join();
    ::close(listenFd_);
    ::close(stopFd_);
    listenFd_ = stopFd_ = -1;
    ::unlink(path_.c_str());
}

void ControlServer::serve() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents != 0)
            return;
        if ((fds[0].revents & POLLIN) == 0)
            continue;
        const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        answer(client);
        ::close(client);
    }
}

void ControlServer::answer(int client) {
    std::string line;
    char buf[256];
    bool complete = false;
    while (!complete && line.size() <= kMaxControlLine) {
        if (!waitFor(client, POLLIN, kClientTimeoutMs))
            return;
        const ssize_t n = ::recv(client, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;  // end of input also ends the line
        line.append(buf, static_cast<std::size_t>(n));
        const std::size_t newline = line.find('\n');
        if (newline != std::string::npos) {
            line.resize(newline);
            complete = true;
        }
    }
    std::string reply;
    if (line.size() > kMaxControlLine) {
        reply = "error: line too long\n";
    } else {
        try {
            reply = handler_ ? handler_(line) : std::string("error: no handler\n");
        } catch (...) {
            reply = "error: internal failure\n";
        }
    }
    writeAll(client, reply, kClientTimeoutMs);
}

bool sendControlRequest(const std::string& path, std::string_view line, std::string& reply,
                        std::string* error, int timeoutMs) {
    sockaddr_un addr{};
    if (!makeAddress(path, addr, error))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return fail(error, std::string("socket: ") + std::strerror(errno));
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        const std::string reason = std::strerror(errno);
        ::close(fd);
        return fail(error, "no simulator answers on " + path + " (" + reason + ")");
    }
    std::string request(line);
    request += '\n';
    if (!writeAll(fd, request, timeoutMs)) {
        ::close(fd);
        return fail(error, "cannot send to " + path);
    }
    ::shutdown(fd, SHUT_WR);
    reply.clear();
    char buf[4096];
    for (;;) {
        if (!waitFor(fd, POLLIN, timeoutMs)) {
            ::close(fd);
            return fail(error, "no reply from " + path);
        }
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        reply.append(buf, static_cast<std::size_t>(n));
        if (reply.size() > kMaxReply)
            break;
    }
    ::close(fd);
    return true;
}

}  // namespace nyra::sim
