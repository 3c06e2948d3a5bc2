// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/smtp_client.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <new>
#include <thread>

#include "net/tcp.h"

namespace nyra {

namespace {

// Header values and command arguments must stay on one line, or a CR/LF in
// a subject or address would add headers or commands of its own.
std::string oneLine(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return out;
}

template <typename F>
void copyInto(std::string& target, std::string_view value, int& error, F&& fix) {
    try {
        target = fix(value);
    } catch (const std::bad_alloc&) {
        error = 406;
    }
}

void assign(std::string& target, std::string_view value, int& error) {
    copyInto(target, value, error, [](std::string_view v) { return std::string(v); });
}

int replyCode(std::string_view reply) {
    if (reply.size() < 3) {
        return -1;
    }
    int code = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        if (reply[i] < '0' || reply[i] > '9') {
            return -1;
        }
        code = code * 10 + (reply[i] - '0');
    }
    return code;
}

}  // namespace

std::size_t completeSmtpReply(std::string_view text) {
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            return 0;
        }
        std::string_view line = text.substr(start, end - start);
        if (line.size() < 4 || line[3] != '-') {
            return end + 1;
        }
        start = end + 1;
    }
}

SmtpClient::SmtpClient() {
    try {
        pending_.reserve(kBufferSize);
        lastReply_.reserve(kBufferSize);
    } catch (const std::bad_alloc&) {
        setError(406);
    }
}

SmtpClient::~SmtpClient() {
    closeSocket();
}

void SmtpClient::closeSocket() {
    tcp::closeSocket(socket_);
    pending_.clear();
}

void SmtpClient::setServer(std::string_view name, std::uint16_t port) {
    assign(serverName_, name, errorCode_);
    serverPort_ = port;
}
void SmtpClient::setLogin(std::string_view login) {
    assign(login_, login, errorCode_);
}
void SmtpClient::setPassword(std::string_view password) {
    assign(password_, password, errorCode_);
}
void SmtpClient::setSenderAddress(std::string_view address) {
    copyInto(senderAddress_, address, errorCode_, oneLine);
}
void SmtpClient::setSenderName(std::string_view name) {
    copyInto(senderName_, name, errorCode_, oneLine);
}
void SmtpClient::setReplyTo(std::string_view address) {
    copyInto(replyTo_, address, errorCode_, oneLine);
}
void SmtpClient::setSubject(std::string_view subject) {
    copyInto(subject_, subject, errorCode_, oneLine);
}
void SmtpClient::setBody(std::string_view body) {
    assign(body_, body, errorCode_);
}
void SmtpClient::setMailer(std::string_view mailer) {
    copyInto(mailer_, mailer, errorCode_, oneLine);
}
void SmtpClient::setPriority(int priority) {
    priority_ = priority;
}

void SmtpClient::addRecipient(std::string_view address, std::string_view name) {
    if (address.empty()) {
        setError(206);
        return;
    }
    try {
        recipients_.emplace_back(oneLine(name), oneLine(address));
    } catch (const std::bad_alloc&) {
        setError(406);
    }
}

std::string SmtpClient::messageFor(int code) {
    switch (code) {
        case 0:
            return "";
        case 100:
            return "Unable to initialise winsock2.";
        case 101:
            return "Wrong version of the winsock2.";
        case 102:
            return "Function send() failed.";
        case 103:
            return "Function recv() failed.";
        case 104:
            return "Function connect failed.";
        case 105:
            return "Functions gethostbyname() or gethostbyaddr() failed.";
        case 106:
            return "Invalid winsock2 socket.";
        case 107:
            return "Function hostname() failed.";
        case 108:
            return "Improper IPv4 address.";
        case 200:
            return "Undefined message header.";
        case 201:
            return "Undefined from is the mail.";
        case 202:
            return "Undefined message subject.";
        case 203:
            return "Undefined at least one reciepent.";
        case 204:
            return "Undefined user login.";
        case 205:
            return "Undefined user password.";
        case 206:
            return "Undefined recipent mail.";
        case 300:
            return "Server returned error after sending MAIL FROM.";
        case 301:
            return "Server returned error after sending EHLO.";
        case 302:
            return "Server returned error after sending AUTH LOGIN.";
        case 303:
            return "Server returned error after sending DATA.";
        case 304:
            return "Server returned error after sending QUIT.";
        case 305:
            return "Server returned error after sending RCPT TO.";
        case 306:
            return "Error in message body";
        case 400:
            return "Server has closed the connection.";
        case 401:
            return "Server is not ready.";
        case 402:
            return "File not exist.";
        case 403:
            return "Message is too big.";
        case 404:
            return "Bad login or password.";
        case 405:
            return "Undefined xyz SMTP response.";
        case 406:
            return "Lack of memory.";
        default:
            return "Undefined error id.";
    }
}

bool SmtpClient::connect() {
    closeSocket();
    const unsigned char first =
        serverName_.empty() ? 0 : static_cast<unsigned char>(serverName_.front());
    const bool letter = (first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z');
    std::optional<std::uint32_t> address;
    if (letter) {
        address = tcp::resolveIpv4(serverName_);
        if (!address) {
            setError(105);
            return false;
        }
    } else {
        // A literal address is used as it stands: a reverse lookup would only
        // refuse addresses that have no name.
        address = parseDottedIpv4(serverName_);
        if (!address) {
            setError(108);
            return false;
        }
    }
    switch (tcp::connectIpv4(*address, smtpPort(serverPort_), timeout_, socket_)) {
        case tcp::ConnectResult::Connected:
            return true;
        case tcp::ConnectResult::NoSocket:
            setError(106);
            return false;
        case tcp::ConnectResult::Refused:
            break;
    }
    setError(104);
    return false;
}

bool SmtpClient::sendAll(std::string_view data) {
    if (!tcp::sendAll(socket_, data)) {
        setError(102);
        return false;
    }
    return true;
}

std::optional<int> SmtpClient::readReply() {
    if (pause_.count() > 0) {
        std::this_thread::sleep_for(pause_);
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout_;
    while (true) {
        if (const std::size_t n = completeSmtpReply(pending_)) {
            // Keep no more than the receive buffer would have held.
            lastReply_.assign(pending_, 0, std::min(n, kBufferSize - 1));
            pending_.erase(0, n);
            return replyCode(lastReply_);
        }
        if (pending_.size() > kMaxReplyBytes) {
            // No server needs this much for one reply: stop before memory does.
            setError(103);
            return std::nullopt;
        }
        switch (tcp::receiveSome(socket_, pending_, kBufferSize - 1, deadline)) {
            case tcp::ReceiveResult::Data:
                continue;
            case tcp::ReceiveResult::Closed:
                setError(400);
                return std::nullopt;
            case tcp::ReceiveResult::Failed:
            case tcp::ReceiveResult::TimedOut:
                break;
        }
        setError(103);
        return std::nullopt;
    }
}

std::optional<int> SmtpClient::exchange(std::string_view command) {
    if (!sendAll(command)) {
        return std::nullopt;
    }
    return readReply();
}

bool SmtpClient::expect(std::string_view command, int code, int errorOnOther) {
    const auto reply = exchange(command);
    if (!reply) {
        return false;
    }
    if (*reply != code) {
        setError(errorOnOther);
        return false;
    }
    return true;
}

std::optional<std::string> SmtpClient::buildHeader() {
    if (recipients_.empty()) {
        setError(203);
        return std::nullopt;
    }
    if (senderAddress_.empty()) {
        setError(201);
        return std::nullopt;
    }
    std::string h = smtpDateLine(now_ ? now_() : std::time(nullptr));
    h += "From: " + mimeHeaderText(senderName_) + " <" + senderAddress_ + ">\r\n";
    if (!mailer_.empty()) {
        h += "X-Mailer: " + mailer_ + "\r\n";
    }
    if (!replyTo_.empty()) {
        h += "Reply-To: " + replyTo_ + "\r\n";
    }
    if (priority_ == 2) {
        h += "X-Priority: 2 (High)\r\n";
    } else if (priority_ == 4) {
        h += "X-Priority: 4 (Low)\r\n";
    } else {
        h += "X-Priority: 3 (Normal)\r\n";
    }
    h += "To: ";
    for (std::size_t i = 0; i < recipients_.size(); ++i) {
        if (i > 0) {
            h += ",";
        }
        h += mimeHeaderText(recipients_[i].first) + "<" + recipients_[i].second + ">";
    }
    h += "\r\n";
    if (subject_.empty()) {
        setError(202);
        h += "Subject:  \r\n";
    } else {
        h += "Subject: " + mimeHeaderText(subject_) + "\r\n";
    }
    h += "MIME-Version: 1.0\r\n";
    // The texts are UTF-8: labelled so, and in base64, which no relay alters.
    h += "Content-type: text/plain; charset=UTF-8\r\n";
    h += "Content-Transfer-Encoding: base64\r\n";
    h += "\r\n";
    return h;
}

bool SmtpClient::send() {
    try {
        if (!connect()) {
            setError(106);
            return false;
        }
        const auto greeting = readReply();
        if (!greeting) {
            return false;
        }
        if (*greeting != 220) {
            setError(401);
            return false;
        }

        char host[256] = {};
        if (::gethostname(host, sizeof host - 1) != 0) {
            setError(107);
            return false;
        }
        localHost_ = host;
        if (!expect("EHLO " + (localHost_.empty() ? std::string("domain") : localHost_) + "\r\n",
                    250, 301)) {
            return false;
        }
        if (!expect("AUTH LOGIN\r\n", 334, 302)) {
            return false;
        }
        if (login_.empty()) {
            setError(204);
            return false;
        }
        if (!expect(base64Encode(login_) + "\r\n", 334, 405)) {
            return false;
        }
        if (password_.empty()) {
            setError(205);
            return false;
        }
        const auto auth = exchange(base64Encode(password_) + "\r\n");
        if (!auth) {
            return false;
        }
        if (*auth != 235) {
            setError(*auth == 535 ? 404 : 405);
            return false;
        }
        if (senderAddress_.empty()) {
            setError(201);
            return false;
        }
        if (!expect("MAIL FROM:<" + senderAddress_ + ">\r\n", 250, 300)) {
            return false;
        }
        if (recipients_.empty()) {
            // Otherwise the send would fail with no reason given.
            setError(203);
            return false;
        }
        std::size_t accepted = 0;
        for (const auto& recipient : recipients_) {
            const auto reply = exchange("RCPT TO:<" + recipient.second + ">\r\n");
            if (!reply) {
                return false;
            }
            if (*reply == 250) {
                ++accepted;
            } else {
                setError(305);
            }
        }
        if (accepted == 0) {
            return false;
        }
        if (!expect("DATA\r\n", 354, 303)) {
            return false;
        }
        const auto header = buildHeader();
        if (!header) {
            setError(200);
            return false;
        }
        if (!sendAll(*header) || !sendAll(base64Body(body_))) {
            return false;
        }
        if (!expect("\r\n.\r\n", 250, 306)) {
            return false;
        }
        if (!expect("QUIT\r\n", 221, 304)) {
            return false;
        }
        closeSocket();
        return true;
    } catch (const std::bad_alloc&) {
        setError(406);
        return false;
    }
}

std::string base64Encode(std::string_view data) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < data.size(); i += 3) {
        const std::uint32_t v = (static_cast<unsigned char>(data[i]) << 16) |
                                (static_cast<unsigned char>(data[i + 1]) << 8) |
                                static_cast<unsigned char>(data[i + 2]);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    const std::size_t rest = data.size() - i;
    if (rest > 0) {
        std::uint32_t v = static_cast<std::uint32_t>(static_cast<unsigned char>(data[i]) << 16);
        if (rest == 2) {
            v |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[i + 1]) << 8);
        }
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string smtpDateLine(std::time_t when) {
    // English names regardless of the process locale.
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm tm{};
    ::gmtime_r(&when, &tm);
    char line[64];
    std::snprintf(line, sizeof line, "Date: %s, %02d %s %04d %02d:%02d:%02d +0000\r\n",
                  kDays[tm.tm_wday % 7], tm.tm_mday, kMonths[tm.tm_mon % 12], tm.tm_year + 1900,
                  tm.tm_hour, tm.tm_min, tm.tm_sec);
    return line;
}

std::optional<std::uint32_t> parseDottedIpv4(std::string_view text) {
    const std::string copy(text);
    in_addr addr{};
    if (::inet_pton(AF_INET, copy.c_str(), &addr) != 1) {
        return std::nullopt;
    }
    return addr.s_addr;
}

std::uint16_t smtpPort(std::uint16_t port) {
    if (port != 0) {
        return port;
    }
    servent entry{};
    servent* found = nullptr;
    char buffer[1024];
    if (::getservbyname_r("mail", "tcp", &entry, buffer, sizeof buffer, &found) == 0 && found) {
        return ntohs(static_cast<std::uint16_t>(found->s_port));
    }
    return 25;
}

namespace {

bool plainAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return c >= 0x20 && c < 0x7F && c != '='; });
}

bool continuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

std::string mimeHeaderText(std::string_view text) {
    if (plainAscii(text))
        return std::string(text);
    // 45 bytes make 60 base64 characters: a word of 72, under the limit of 75.
    constexpr std::size_t kWordBytes = 45;
    std::string out;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = std::min(text.size(), start + kWordBytes);
        // A character is never split between two words.
        while (end < text.size() && end > start + 1 && continuationByte(text[end]))
            --end;
        if (!out.empty())
            out += "\r\n ";
        out += "=?UTF-8?B?" + base64Encode(text.substr(start, end - start)) + "?=";
        start = end;
    }
    return out;
}

std::string base64Body(std::string_view body) {
    // The text in its canonical form first: every line ends with CRLF.
    std::string canonical;
    canonical.reserve(body.size() + body.size() / 16 + 2);
    for (std::size_t start = 0;;) {
        const std::size_t end = body.find('\n', start);
        std::string_view line = body.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        canonical += line;
        if (end == std::string_view::npos)
            break;
        canonical += "\r\n";
        start = end + 1;
    }
    const std::string encoded = base64Encode(canonical);
    constexpr std::size_t kLine = 76;
    std::string out;
    out.reserve(encoded.size() + encoded.size() / kLine * 2 + 2);
    for (std::size_t at = 0; at < encoded.size(); at += kLine)
        out += encoded.substr(at, kLine) + "\r\n";
    return out;
}

}  // namespace nyra
