#include "real_smtp_server.h"

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
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

extern char** environ;

namespace nyra::testing {

namespace {

constexpr const char* kPython = "/usr/bin/python3";

// Python and aiosmtpd start in well under a second; this only bounds a
// machine that is very busy running tests in parallel.
constexpr int kStartMs = 30000;

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

RealSmtpServer::RealSmtpServer(const std::string& login, const std::string& password) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "nyra-smtp-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) {
        error_ = std::string("no temporary directory: ") + std::strerror(errno);
        return;
    }
    dir_ = tmpl;
    start(login, password);
    if (!running()) {
        stop();
    }
}

RealSmtpServer::~RealSmtpServer() {
    stop();
    if (!dir_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
}

void RealSmtpServer::start(const std::string& login, const std::string& password) {
    const std::string script = std::string(NYRA_NET_TEST_DIR) + "/smtp_real_server.py";
    if (::access(kPython, X_OK) != 0) {
        error_ = std::string(kPython) + " is missing; install python3 and python3-aiosmtpd";
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
    const std::string dir = dir_.string();
    std::vector<char*> argv = {
        const_cast<char*>(kPython),          const_cast<char*>(script.c_str()),
        const_cast<char*>(dir.c_str()),      const_cast<char*>(login.c_str()),
        const_cast<char*>(password.c_str()), nullptr};
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

bool RealSmtpServer::readPortLine() {
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
            error_ = "the SMTP server did not report its port in time";
            return false;
        }
        char chunk[256];
        const ssize_t n = ::read(fromServer_, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error_ = "the SMTP server ended before it listened (is python3-aiosmtpd installed?)";
            return false;
        }
        line.append(chunk, static_cast<std::size_t>(n));
    }
    line.erase(line.find('\n'));
    if (line.rfind("PORT ", 0) != 0) {
        error_ = "the SMTP server said: " + line;
        return false;
    }
    const long port = std::strtol(line.c_str() + 5, nullptr, 10);
    if (port <= 0 || port > 65535) {
        error_ = "the SMTP server reported a bad port: " + line;
        return false;
    }
    port_ = static_cast<std::uint16_t>(port);
    return true;
}

void RealSmtpServer::stop() {
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
