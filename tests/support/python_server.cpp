// SPDX-License-Identifier: GPL-3.0-or-later
#include "python_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace nyra::testing {

namespace {

constexpr const char* kPython = "/usr/bin/python3";

// Python starts in well under a second; this only bounds a machine that is
// very busy running tests in parallel.
constexpr int kStartMs = 30000;

// True when the child ended within the time given (and is then reaped).
bool reapWithin(pid_t pid, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (true) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace

PythonServer::PythonServer(const std::string& script, const std::vector<std::string>& args,
                           std::string what)
    : what_(std::move(what)) {
    start(script, args);
    if (!running()) {
        stop();
    }
}

PythonServer::~PythonServer() {
    stop();
}

void PythonServer::start(const std::string& script, const std::vector<std::string>& args) {
    if (::access(kPython, X_OK) != 0) {
        error_ = std::string(kPython) + " is missing; install python3";
        return;
    }
    if (::access(script.c_str(), R_OK) != 0) {
        error_ = script + " is missing";
        return;
    }
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) {
        error_ = std::string("pipe: ") + std::strerror(errno);
        return;
    }
    if (::pipe2(out, O_CLOEXEC) != 0) {
        error_ = std::string("pipe: ") + std::strerror(errno);
        ::close(in[0]);
        ::close(in[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    // dup2 clears close-on-exec on the copies, and only on them.
    ::posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<char*> argv = {const_cast<char*>(kPython), const_cast<char*>(script.c_str())};
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, kPython, &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    toServer_ = in[1];
    fromServer_ = out[0];
    if (rc != 0) {
        error_ = std::string("cannot start ") + kPython + ": " + std::strerror(rc);
        return;
    }
    pid_ = pid;
    readPortLine();
}

bool PythonServer::readPortLine() {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartMs);
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fromServer_, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            error_ = what_ + " did not report its port in time";
            return false;
        }
        char chunk[256];
        const ssize_t n = ::read(fromServer_, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error_ = what_ + " ended before it listened";
            return false;
        }
        line.append(chunk, static_cast<std::size_t>(n));
    }
    line.erase(line.find('\n'));
    if (line.rfind("PORT ", 0) != 0) {
        error_ = what_ + " said: " + line;
        return false;
    }
    const long port = std::strtol(line.c_str() + 5, nullptr, 10);
    if (port <= 0 || port > 65535) {
        error_ = what_ + " reported a bad port: " + line;
        return false;
    }
    port_ = static_cast<std::uint16_t>(port);
    return true;
}

void PythonServer::stop() {
    if (toServer_ >= 0) {
        ::close(toServer_);
        toServer_ = -1;
    }
    if (pid_ > 0) {
        // Closing its stdin asks it to end; the signals are for one that hangs.
        if (!reapWithin(pid_, std::chrono::seconds(10))) {
            ::kill(pid_, SIGTERM);
            if (!reapWithin(pid_, std::chrono::seconds(2))) {
                ::kill(pid_, SIGKILL);
                reapWithin(pid_, std::chrono::seconds(10));
            }
        }
        pid_ = -1;
    }
    if (fromServer_ >= 0) {
        ::close(fromServer_);
        fromServer_ = -1;
    }
}

}  // namespace nyra::testing
