// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/smtp_client.h"
#include "smtp_test_server.h"

namespace nyra {
namespace {

// RFC 4648 decoding of well-formed text, for checking what was encoded.
std::string base64Decode(const std::string& text) {
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::uint32_t bits = 0;
    int count = 0;
    for (const char c : text) {
        if (c == '=')
            break;
        bits = (bits << 6) | static_cast<std::uint32_t>(alphabet.find(c));
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

using testing::SmtpTestServer;

constexpr std::time_t kMarch5At140709 = 1772719629;  // 2026-03-05 14:07:09 UTC

const std::string kGreeting = "220 mail.test ready\r\n";
const std::string kOk = "250 ok\r\n";
const std::string kUserPrompt = "334 VXNlcm5hbWU6\r\n";
const std::string kPasswordPrompt = "334 UGFzc3dvcmQ6\r\n";
const std::string kAuthOk = "235 2.7.0 accepted\r\n";
const std::string kGoAhead = "354 end with .\r\n";
const std::string kQueued = "250 queued\r\n";
const std::string kBye = "221 bye\r\n";

// Greeting, EHLO, AUTH, login, password, MAIL, one RCPT, DATA, end, QUIT.
std::vector<std::string> happyScript() {
    return {kGreeting, kOk, kUserPrompt, kPasswordPrompt, kAuthOk,
            kOk,       kOk, kGoAhead,    kQueued,         kBye};
}

struct Outcome {
    bool sent = false;
    int code = 0;
};

void configure(SmtpClient& client, std::uint16_t port) {
    client.setServer("127.0.0.1", port);
    client.setLogin("alice");
    client.setPassword("s3cret");
    client.setSenderAddress("alice@example.org");
    client.setSenderName("Alice");
    client.setSubject("Hello");
    client.setBody("Hi Bob");
    client.addRecipient("bob@example.org", "Bob");
    client.setReplyPause(std::chrono::milliseconds(0));
    client.setTimeout(std::chrono::milliseconds(5000));
    client.setTimeSource([] { return kMarch5At140709; });
}

// Runs one send against the server and lets the connection go before the
// server's records are read.
Outcome runSend(SmtpTestServer& server, const std::function<void(SmtpClient&)>& adjust = {}) {
    Outcome outcome;
    {
        SmtpClient client;
        configure(client, server.port());
        if (adjust) {
            adjust(client);
        }
        outcome.sent = client.send();
        outcome.code = client.errorCode();
    }
    server.join();
    return outcome;
}

TEST(SmtpClient, SendsTheWholeMailAndQuits) {
    SmtpTestServer server({kGreeting, kOk, kUserPrompt, kPasswordPrompt, kAuthOk, kOk, kOk, kOk,
                           kGoAhead, kQueued, kBye});
    const Outcome outcome = runSend(server, [](SmtpClient& c) {
        c.addRecipient("carol@example.org");
        c.setMailer("Nyra Feedback");
        c.setReplyTo("help@example.org");
        c.setPriority(2);
        c.setBody("line one\n.\n.hidden\r\nlast");
    });
    EXPECT_TRUE(outcome.sent);
    EXPECT_EQ(outcome.code, 0);

    const auto& cmds = server.commands();
    ASSERT_EQ(cmds.size(), 9u);
    EXPECT_EQ(cmds[0].rfind("EHLO ", 0), 0u);
    EXPECT_GT(cmds[0].size(), 5u);
    EXPECT_EQ(cmds[1], "AUTH LOGIN");
    EXPECT_EQ(cmds[2], "YWxpY2U=");
    EXPECT_EQ(cmds[3], "czNjcmV0");
    EXPECT_EQ(cmds[4], "MAIL FROM:<alice@example.org>");
    EXPECT_EQ(cmds[5], "RCPT TO:<bob@example.org>");
    EXPECT_EQ(cmds[6], "RCPT TO:<carol@example.org>");
    EXPECT_EQ(cmds[7], "DATA");
    EXPECT_EQ(cmds[8], "QUIT");

    EXPECT_EQ(server.data(),
              "Date: Thu, 05 Mar 2026 14:07:09 +0000\r\n"
              "From: Alice <alice@example.org>\r\n"
              "X-Mailer: Nyra Feedback\r\n"
              "Reply-To: help@example.org\r\n"
              "X-Priority: 2 (High)\r\n"
              "To: Bob<bob@example.org>,<carol@example.org>\r\n"
              "Subject: Hello\r\n"
              "MIME-Version: 1.0\r\n"
              "Content-type: text/plain; charset=UTF-8\r\n"
              "Content-Transfer-Encoding: base64\r\n"
              "\r\n"
              // "line one\r\n.\r\n.hidden\r\nlast": no line of base64 starts with a dot.
              "bGluZSBvbmUNCi4NCi5oaWRkZW4NCmxhc3Q=\r\n"
              "\r\n.\r\n");
}

TEST(SmtpClient, ResolvesANameThatStartsWithALetter) {
    SmtpTestServer server(happyScript());
    const Outcome outcome =
        runSend(server, [&](SmtpClient& c) { c.setServer("localhost", server.port()); });
    EXPECT_TRUE(outcome.sent);
    EXPECT_EQ(outcome.code, 0);
    EXPECT_EQ(server.commands().back(), "QUIT");
}

TEST(SmtpClient, PriorityLinesAndMissingSubject) {
    for (int priority : {4, 3, 7}) {
        SmtpTestServer server(happyScript());
        const Outcome outcome = runSend(server, [priority](SmtpClient& c) {
            c.setPriority(priority);
            c.setSubject("");
        });
        // A missing subject is recorded but does not stop the mail.
        EXPECT_TRUE(outcome.sent);
        EXPECT_EQ(outcome.code, 202);
        const std::string line =
            priority == 4 ? "X-Priority: 4 (Low)\r\n" : "X-Priority: 3 (Normal)\r\n";
        EXPECT_NE(server.data().find("From: Alice <alice@example.org>\r\n" + line +
                                     "To: Bob<bob@example.org>\r\nSubject:  \r\nMIME"),
                  std::string::npos)
            << server.data();
    }
}

TEST(SmtpClient, LineBreaksInFieldsCannotAddHeadersOrCommands) {
    SmtpTestServer server(happyScript());
    const Outcome outcome = runSend(server, [](SmtpClient& c) {
        c.setSubject("Hi\r\nBcc: eve@example.org");
        c.setSenderAddress("alice@example.org>\r\nRCPT TO:<eve@example.org");
    });
    EXPECT_TRUE(outcome.sent);
    for (const auto& cmd : server.commands()) {
        EXPECT_NE(cmd.rfind("RCPT TO:<eve", 0), 0u) << cmd;
    }
    EXPECT_EQ(server.data().find("\r\nBcc:"), std::string::npos);
    EXPECT_NE(server.data().find("Subject: Hi  Bcc: eve@example.org\r\n"), std::string::npos);
}

struct Refusal {
    const char* what;
    std::vector<std::string> script;
    int code;
    std::string lastCommand;  // how what the client sent last begins
};

// The test's name and listing show the step, not the bytes of the struct.
void PrintTo(const Refusal& r, std::ostream* out) {
    *out << r.what;
}

class SmtpRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(SmtpRefusal, StopsWithTheCodeOfTheStep) {
    const Refusal& r = GetParam();
    SmtpTestServer server(r.script);
    const Outcome outcome = runSend(server);
    EXPECT_FALSE(outcome.sent);
    EXPECT_EQ(outcome.code, r.code);
    if (r.lastCommand.empty()) {
        EXPECT_TRUE(server.commands().empty());
    } else {
        ASSERT_FALSE(server.commands().empty());
        EXPECT_EQ(server.commands().back().rfind(r.lastCommand, 0), 0u) << server.commands().back();
    }
}

const std::string kNo = "550 no\r\n";

INSTANTIATE_TEST_SUITE_P(
    EachStep, SmtpRefusal,
    ::testing::Values(
        Refusal{"greeting", {"554 go away\r\n"}, 401, ""},
        Refusal{"ehlo", {kGreeting, "502 what\r\n"}, 301, "EHLO "},
        Refusal{"auth", {kGreeting, kOk, "504 no such\r\n"}, 302, "AUTH LOGIN"},
        Refusal{"login", {kGreeting, kOk, kUserPrompt, "501 bad\r\n"}, 405, "YWxpY2U="},
        Refusal{"password535",
                {kGreeting, kOk, kUserPrompt, kPasswordPrompt, "535 5.7.8 bad\r\n"},
                404,
                "czNjcmV0"},
        Refusal{"passwordOther",
                {kGreeting, kOk, kUserPrompt, kPasswordPrompt, "454 later\r\n"},
                405,
                "czNjcmV0"},
        Refusal{"mail",
                {kGreeting, kOk, kUserPrompt, kPasswordPrompt, kAuthOk, kNo},
                300,
                "MAIL FROM:<alice@example.org>"},
        Refusal{"rcpt",
                {kGreeting, kOk, kUserPrompt, kPasswordPrompt, kAuthOk, kOk, kNo},
                305,
                "RCPT TO:<bob@example.org>"},
        Refusal{"data",
                {kGreeting, kOk, kUserPrompt, kPasswordPrompt, kAuthOk, kOk, kOk, "451 busy\r\n"},
                303,
                "DATA"},
        Refusal{"endOfData",
                {kGreeting, kOk, kUserPrompt, kPasswordPrompt, kAuthOk, kOk, kOk, kGoAhead,
                 "552 too big\r\n"},
                306,
                "DATA"},
        Refusal{"quit",
                {kGreeting, kOk, kUserPrompt, kPasswordPrompt, kAuthOk, kOk, kOk, kGoAhead, kQueued,
                 "500 eh\r\n"},
                304,
                "QUIT"},
        Refusal{"closedAfterGreeting", {kGreeting}, 400, "EHLO "},
        Refusal{"closedAfterMail",
                {kGreeting, kOk, kUserPrompt, kPasswordPrompt, kAuthOk, kOk},
                400,
                "RCPT TO:<bob@example.org>"}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.what); });

TEST(SmtpClient, EhloIsTheLastCommandWhenItIsRefused) {
    SmtpTestServer server({kGreeting, "502 what\r\n"});
    runSend(server);
    ASSERT_EQ(server.commands().size(), 1u);
    EXPECT_EQ(server.commands()[0].rfind("EHLO ", 0), 0u);
}

TEST(SmtpClient, EndOfDataRefusedAfterTheWholeMailWasSent) {
    SmtpTestServer server({kGreeting, kOk, kUserPrompt, kPasswordPrompt, kAuthOk, kOk, kOk,
                           kGoAhead, "552 too big\r\n"});
    const Outcome outcome = runSend(server);
    EXPECT_EQ(outcome.code, 306);
    EXPECT_NE(server.data().find("SGkgQm9i\r\n\r\n.\r\n"), std::string::npos);  // "Hi Bob"
    EXPECT_EQ(server.commands().back(), "DATA");
}

TEST(SmtpClient, AllRecipientsRefusedSendsNoData) {
    SmtpTestServer server({kGreeting, kOk, kUserPrompt, kPasswordPrompt, kAuthOk, kOk, kNo, kNo,
                           kGoAhead, kQueued, kBye});
    const Outcome outcome =
        runSend(server, [](SmtpClient& c) { c.addRecipient("carol@example.org", "Carol"); });
    EXPECT_FALSE(outcome.sent);
    EXPECT_EQ(outcome.code, 305);
    EXPECT_EQ(server.commands().back(), "RCPT TO:<carol@example.org>");
    EXPECT_TRUE(server.data().empty());
}

TEST(SmtpClient, OneRecipientRefusedStillSendsToTheOthers) {
    SmtpTestServer server({kGreeting, kOk, kUserPrompt, kPasswordPrompt, kAuthOk, kOk, kNo, kOk,
                           kGoAhead, kQueued, kBye});
    const Outcome outcome =
        runSend(server, [](SmtpClient& c) { c.addRecipient("carol@example.org", "Carol"); });
    EXPECT_TRUE(outcome.sent);
    EXPECT_EQ(outcome.code, 305);  // recorded for the refused one
    EXPECT_EQ(server.commands().back(), "QUIT");
    EXPECT_NE(server.data().find("SGkgQm9i\r\n"), std::string::npos);  // "Hi Bob"
}

TEST(SmtpClient, SilentServerEndsInATimeOut) {
    SmtpTestServer server({}, true);
    const Outcome outcome =
        runSend(server, [](SmtpClient& c) { c.setTimeout(std::chrono::milliseconds(200)); });
    EXPECT_FALSE(outcome.sent);
    EXPECT_EQ(outcome.code, 103);
}

TEST(SmtpClient, ServerFallingSilentMidwayEndsInATimeOut) {
    SmtpTestServer server({kGreeting, kOk, kUserPrompt}, true);
    const Outcome outcome =
        runSend(server, [](SmtpClient& c) { c.setTimeout(std::chrono::milliseconds(200)); });
    EXPECT_FALSE(outcome.sent);
    EXPECT_EQ(outcome.code, 103);
    EXPECT_EQ(server.commands().back(), "YWxpY2U=");
}

TEST(SmtpClient, AssemblesMultiLineRepliesSplitOverPackets) {
    SmtpTestServer server(
        {"220-mail.test\r\n220 ready\r\n",
         "250-mail.test greets you\r\n250-AUTH LOG\x01IN PLAIN\r\n250 8BITMIME\r\n", kUserPrompt,
         kPasswordPrompt,
         "23\x01"
         "5 ok\r\n",
         kOk, kOk, kGoAhead, kQueued, kBye});
    const Outcome outcome = runSend(server);
    EXPECT_TRUE(outcome.sent);
    EXPECT_EQ(outcome.code, 0);
    ASSERT_EQ(server.commands().size(), 8u);
    EXPECT_EQ(server.commands()[1], "AUTH LOGIN");
    EXPECT_EQ(server.commands().back(), "QUIT");
}

TEST(SmtpClient, ReplyLongerThanTheReceiveBufferIsReadToItsEnd) {
    std::string longEhlo;
    while (longEhlo.size() < 3 * SmtpClient::kBufferSize) {
        longEhlo += "250-EXTENSION-" + std::string(40, 'x') + "\r\n";
    }
    longEhlo += "250 HELP\r\n";
    std::vector<std::string> script = happyScript();
    script[1] = longEhlo;
    SmtpTestServer server(script);
    const Outcome outcome = runSend(server);
    EXPECT_TRUE(outcome.sent);
    EXPECT_EQ(outcome.code, 0);
    EXPECT_EQ(server.commands().back(), "QUIT");
}

TEST(SmtpClient, MissingFieldsStopTheSend) {
    struct Case {
        std::function<void(SmtpClient&)> adjust;
        int code;
        std::string lastCommand;
    };
    const std::vector<Case> cases = {
        {[](SmtpClient& c) { c.setLogin(""); }, 204, "AUTH LOGIN"},
        {[](SmtpClient& c) { c.setPassword(""); }, 205, "YWxpY2U="},
        {[](SmtpClient& c) { c.setSenderAddress(""); }, 201, "czNjcmV0"},
    };
    for (const auto& tc : cases) {
        SmtpTestServer server(happyScript());
        const Outcome outcome = runSend(server, tc.adjust);
        EXPECT_FALSE(outcome.sent);
        EXPECT_EQ(outcome.code, tc.code);
        ASSERT_FALSE(server.commands().empty());
        EXPECT_EQ(server.commands().back(), tc.lastCommand);
    }
}

TEST(SmtpClient, NoRecipientsFailsWithAReason) {
    SmtpTestServer server(happyScript());
    Outcome outcome;
    {
        SmtpClient client;
        client.setServer("127.0.0.1", server.port());
        client.setLogin("alice");
        client.setPassword("s3cret");
        client.setSenderAddress("alice@example.org");
        client.setReplyPause(std::chrono::milliseconds(0));
        client.setTimeout(std::chrono::milliseconds(5000));
        outcome.sent = client.send();
        outcome.code = client.errorCode();
    }
    server.join();
    EXPECT_FALSE(outcome.sent);
    EXPECT_EQ(outcome.code, 203);
    EXPECT_EQ(server.commands().back(), "MAIL FROM:<alice@example.org>");
}

TEST(SmtpClient, EmptyRecipientAddressIsRefused) {
    SmtpClient client;
    client.addRecipient("", "Nobody");
    EXPECT_EQ(client.errorCode(), 206);
}

TEST(SmtpClient, ImproperAddressFailsConnectWith108AndSendWith106) {
    SmtpClient client;
    client.setServer("1abc", 25);
    EXPECT_FALSE(client.connect());
    EXPECT_EQ(client.errorCode(), 108);
    EXPECT_FALSE(client.send());
    EXPECT_EQ(client.errorCode(), 106);
}

TEST(SmtpClient, RefusedConnectionIs104) {
    // A bound socket that does not listen keeps the port taken and refusing.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    SmtpClient client;
    client.setTimeout(std::chrono::milliseconds(2000));
    client.setServer("127.0.0.1", ntohs(addr.sin_port));
    EXPECT_FALSE(client.connect());
    EXPECT_EQ(client.errorCode(), 104);
    EXPECT_FALSE(client.send());
    EXPECT_EQ(client.errorCode(), 106);
    ::close(fd);
}

TEST(SmtpClient, UnansweredConnectEndsInATimeOut) {
    // A listener whose queue is full drops further handshakes unanswered.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    std::vector<int> fillers;
    for (int i = 0; i < 3; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ASSERT_GE(fd, 0);
        ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
        fillers.push_back(fd);
    }
    SmtpClient client;
    client.setTimeout(std::chrono::milliseconds(200));
    client.setServer("127.0.0.1", ntohs(addr.sin_port));
    EXPECT_FALSE(client.connect());
    EXPECT_EQ(client.errorCode(), 104);
    for (int fd : fillers) {
        ::close(fd);
    }
    ::close(listener);
}

TEST(SmtpAddress, DottedIpv4IsParsedWithoutLookup) {
    const auto parsed = parseDottedIpv4("192.0.2.1");
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(ntohl(*parsed), 0xC0000201u);
    EXPECT_FALSE(parseDottedIpv4("1abc").has_value());
    EXPECT_FALSE(parseDottedIpv4("1.2.3").has_value());
    EXPECT_FALSE(parseDottedIpv4("256.1.1.1").has_value());
    EXPECT_FALSE(parseDottedIpv4("").has_value());
}

TEST(SmtpAddress, PortZeroUsesTheMailService) {
    EXPECT_EQ(smtpPort(2525), 2525);
    const servent* mail = ::getservbyname("mail", "tcp");
    const std::uint16_t expected =
        mail ? ntohs(static_cast<std::uint16_t>(mail->s_port)) : std::uint16_t{25};
    EXPECT_EQ(smtpPort(0), expected);
}

TEST(SmtpFormat, Base64) {
    EXPECT_EQ(base64Encode(""), "");
    EXPECT_EQ(base64Encode("f"), "Zg==");
    EXPECT_EQ(base64Encode("fo"), "Zm8=");
    EXPECT_EQ(base64Encode("foo"), "Zm9v");
    EXPECT_EQ(base64Encode("foob"), "Zm9vYg==");
    EXPECT_EQ(base64Encode("fooba"), "Zm9vYmE=");
    EXPECT_EQ(base64Encode("foobar"), "Zm9vYmFy");
    EXPECT_EQ(base64Encode(std::string("\xff\xfe\x00", 3)), "//4A");
    const std::string longText(100, 'x');
    EXPECT_EQ(base64Encode(longText).find('\n'), std::string::npos);
    EXPECT_EQ(base64Encode(longText).size(), 136u);
}

TEST(SmtpFormat, DateLineInUtcWithEnglishNamesAndItsZone) {
    EXPECT_EQ(smtpDateLine(kMarch5At140709), "Date: Thu, 05 Mar 2026 14:07:09 +0000\r\n");
    EXPECT_EQ(smtpDateLine(0), "Date: Thu, 01 Jan 1970 00:00:00 +0000\r\n");
    EXPECT_EQ(smtpDateLine(kMarch5At140709 + 86400 * 300 + 9 * 3600),
              "Date: Wed, 30 Dec 2026 23:07:09 +0000\r\n");
}

// Encoded words: plain ASCII stays as it is; anything else is UTF-8 in
// base64 words of at most 75 characters that never split a character.
TEST(SmtpFormat, HeaderTextsBecomeEncodedWordsWhenNotPlainAscii) {
    EXPECT_EQ(mimeHeaderText("Chip read report"), "Chip read report");
    EXPECT_EQ(mimeHeaderText(""), "");
    EXPECT_EQ(mimeHeaderText("问题反馈"), "=?UTF-8?B?6Zeu6aKY5Y+N6aaI?=");
    EXPECT_EQ(mimeHeaderText("a=?b"), "=?UTF-8?B?YT0/Yg==?=") << "no look-alike of a word";
    for (const std::string& text : {std::string(100, 'x') + "é", std::string(),
                                    std::string("KVQ_Nyra 反馈主题:") + std::string(40, 'y'), [] {
                                        std::string s;
                                        for (int i = 0; i < 40; ++i)
                                            s += "芯片";
                                        return s;
                                    }()}) {
        const std::string words = mimeHeaderText(text);
        std::string decoded;
        std::size_t start = 0;
        while (start < words.size()) {
            const std::size_t end = std::min(words.find("\r\n ", start), words.size());
            const std::string word = words.substr(start, end - start);
            if (word.rfind("=?UTF-8?B?", 0) == 0) {
                EXPECT_LE(word.size(), 75u) << word;
                ASSERT_EQ(word.substr(word.size() - 2), "?=");
                const std::string bytes = base64Decode(word.substr(10, word.size() - 12));
                // Each word is whole UTF-8: it starts on a character's first byte.
                EXPECT_TRUE(bytes.empty() || (bytes[0] & 0xC0) != 0x80) << word;
                decoded += bytes;
            } else {
                decoded += word;
            }
            start = end + 3;
        }
        EXPECT_EQ(decoded, text);
    }
}

TEST(SmtpFormat, TheBodyTravelsInBase64LinesWithCrlfLineEnds) {
    const struct {
        std::string body, canonical;
    } rows[] = {{"", ""},
                {"one\ntwo\n", "one\r\ntwo\r\n"},
                {"one\r\ntwo", "one\r\ntwo"},
                {".\n..", ".\r\n.."},
                {std::string(200, 'z') + "\n反馈", std::string(200, 'z') + "\r\n反馈"}};
    for (const auto& row : rows) {
        const std::string lines = base64Body(row.body);
        std::string joined;
        for (std::size_t at = 0; at < lines.size();) {
            const std::size_t end = lines.find("\r\n", at);
            ASSERT_NE(end, std::string::npos) << "every line ends with CRLF";
            EXPECT_LE(end - at, 76u);
            joined += lines.substr(at, end - at);
            at = end + 2;
        }
        EXPECT_EQ(base64Decode(joined), row.canonical);
    }
}

TEST(SmtpMessages, EveryCodeHasItsText) {
    EXPECT_EQ(SmtpClient::messageFor(0), "");
    EXPECT_EQ(SmtpClient::messageFor(100), "Unable to initialise winsock2.");
    EXPECT_EQ(SmtpClient::messageFor(101), "Wrong version of the winsock2.");
    EXPECT_EQ(SmtpClient::messageFor(102), "Function send() failed.");
    EXPECT_EQ(SmtpClient::messageFor(103), "Function recv() failed.");
    EXPECT_EQ(SmtpClient::messageFor(104), "Function connect failed.");
    EXPECT_EQ(SmtpClient::messageFor(105), "Functions gethostbyname() or gethostbyaddr() failed.");
    EXPECT_EQ(SmtpClient::messageFor(106), "Invalid winsock2 socket.");
    EXPECT_EQ(SmtpClient::messageFor(107), "Function hostname() failed.");
    EXPECT_EQ(SmtpClient::messageFor(108), "Improper IPv4 address.");
    EXPECT_EQ(SmtpClient::messageFor(200), "Undefined message header.");
    EXPECT_EQ(SmtpClient::messageFor(201), "Undefined from is the mail.");
    EXPECT_EQ(SmtpClient::messageFor(202), "Undefined message subject.");
    EXPECT_EQ(SmtpClient::messageFor(203), "Undefined at least one reciepent.");
    EXPECT_EQ(SmtpClient::messageFor(204), "Undefined user login.");
    EXPECT_EQ(SmtpClient::messageFor(205), "Undefined user password.");
    EXPECT_EQ(SmtpClient::messageFor(206), "Undefined recipent mail.");
    EXPECT_EQ(SmtpClient::messageFor(300), "Server returned error after sending MAIL FROM.");
    EXPECT_EQ(SmtpClient::messageFor(301), "Server returned error after sending EHLO.");
    EXPECT_EQ(SmtpClient::messageFor(302), "Server returned error after sending AUTH LOGIN.");
    EXPECT_EQ(SmtpClient::messageFor(303), "Server returned error after sending DATA.");
    EXPECT_EQ(SmtpClient::messageFor(304), "Server returned error after sending QUIT.");
    EXPECT_EQ(SmtpClient::messageFor(305), "Server returned error after sending RCPT TO.");
    EXPECT_EQ(SmtpClient::messageFor(306), "Error in message body");
    EXPECT_EQ(SmtpClient::messageFor(400), "Server has closed the connection.");
    EXPECT_EQ(SmtpClient::messageFor(401), "Server is not ready.");
    EXPECT_EQ(SmtpClient::messageFor(402), "File not exist.");
    EXPECT_EQ(SmtpClient::messageFor(403), "Message is too big.");
    EXPECT_EQ(SmtpClient::messageFor(404), "Bad login or password.");
    EXPECT_EQ(SmtpClient::messageFor(405), "Undefined xyz SMTP response.");
    EXPECT_EQ(SmtpClient::messageFor(406), "Lack of memory.");
    EXPECT_EQ(SmtpClient::messageFor(1), "Undefined error id.");
    EXPECT_EQ(SmtpClient::messageFor(307), "Undefined error id.");
    EXPECT_EQ(SmtpClient::messageFor(-5), "Undefined error id.");
}

}  // namespace
}  // namespace nyra
