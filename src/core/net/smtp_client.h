// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nyra {

// Sends one plain-text mail over SMTP with AUTH LOGIN. Synchronous: every
// call blocks the calling thread, bounded by the time-out.
class SmtpClient {
public:
    static constexpr std::size_t kBufferSize = 10240;
    // A longer reply is taken for a broken server.
    static constexpr std::size_t kMaxReplyBytes = 1u << 20;

    SmtpClient();
    ~SmtpClient();
    SmtpClient(const SmtpClient&) = delete;
    SmtpClient& operator=(const SmtpClient&) = delete;

    void setServer(std::string_view name, std::uint16_t port);
    void setLogin(std::string_view login);
    void setPassword(std::string_view password);
    void setSenderAddress(std::string_view address);
    void setSenderName(std::string_view name);
    void setReplyTo(std::string_view address);
    void setSubject(std::string_view subject);
    void setBody(std::string_view body);
    void setMailer(std::string_view mailer);
    void setPriority(int priority);

    // An empty address sets 206 and adds nothing.
    void addRecipient(std::string_view address, std::string_view name = {});

    // True when the server took the mail and QUIT was answered.
    bool send();

    // Opens the connection to the server set; on failure the error code says
    // why (108, 105, 106, 104). send() reports any of these as 106.
    bool connect();

    int errorCode() const { return errorCode_; }
    static std::string messageFor(int code);

    // Bounds connect and each reply; 30 s unless changed.
    void setTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }
    // The pause before each reply is read; 10 ms unless changed.
    void setReplyPause(std::chrono::milliseconds pause) { pause_ = pause; }
    // Where the Date line's time comes from; the system clock unless changed.
    void setTimeSource(std::function<std::time_t()> now) { now_ = std::move(now); }

private:
    bool sendAll(std::string_view data);
    std::optional<int> exchange(std::string_view command);
    std::optional<int> readReply();
    bool expect(std::string_view command, int code, int errorOnOther);
    std::optional<std::string> buildHeader();
    void closeSocket();
    void setError(int code) { errorCode_ = code; }

    int errorCode_ = 0;
    std::string localHost_;
    std::string senderAddress_;
    std::string senderName_;
    std::string subject_;
    std::string body_;
    std::string mailer_;
    std::string replyTo_;
    std::string login_;
    std::string password_;
    std::string serverName_;
    std::uint16_t serverPort_ = 0;
    int priority_ = 3;
    std::vector<std::pair<std::string, std::string>> recipients_;  // name, address
    int socket_ = -1;
    std::string pending_;  // bytes that arrived after the last complete reply
    std::string lastReply_;
    std::chrono::milliseconds timeout_{30000};
    std::chrono::milliseconds pause_{10};
    std::function<std::time_t()> now_;
};

// Length of the complete reply at the start of text (through its final
// "NNN " line), or 0 while the final line has not fully arrived.
std::size_t completeSmtpReply(std::string_view text);

// RFC 4648 alphabet, "=" padding, no line breaks.
std::string base64Encode(std::string_view data);

// "Date: ddd, dd MMM yyyy HH:mm:ss +0000\r\n" in UTC with English names.
std::string smtpDateLine(std::time_t when);

// Strict dotted IPv4 ("a.b.c.d"); the address in network byte order.
std::optional<std::uint32_t> parseDottedIpv4(std::string_view text);

// The port itself, or for 0 the "mail" service's port, or 25.
std::uint16_t smtpPort(std::uint16_t port);

// A header text as RFC 2047 words (UTF-8, base64) unless it is plain ASCII;
// long texts fold into several words, never splitting a character.
std::string mimeHeaderText(std::string_view text);
// The body with CRLF line ends, in base64 lines of 76 characters.
std::string base64Body(std::string_view body);

}  // namespace nyra
