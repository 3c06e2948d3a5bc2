// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <string>
#include <vector>

#include "net/smtp_client.h"
#include "real_smtp_server.h"

namespace nyra {
namespace {

using testing::RealSmtpServer;
using testing::ReceivedMail;

constexpr std::time_t kMarch5At140709 = 1772719629;  // 2026-03-05 14:07:09 UTC

const std::string kLogin = "alice@example.org";
const std::string kPassword = "pa ss:w0rd!";

const std::string kHeader =
    "Date: Thu, 05 Mar 2026 14:07:09 +0000\r\n"
    "From: Alice Example <alice@example.org>\r\n"
    "X-Mailer: Nyra Feedback 1.0\r\n"
    "Reply-To: help@example.org\r\n"
    "X-Priority: 2 (High)\r\n"
    "To: Bob Builder<bob@example.net>,<carol@example.com>\r\n"
    "Subject: Chip read report\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-type: text/plain; charset=UTF-8\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "\r\n";

void configure(SmtpClient& client, const RealSmtpServer& server) {
    client.setServer("127.0.0.1", server.port());
    client.setLogin(kLogin);
    client.setPassword(kPassword);
    client.setSenderAddress("alice@example.org");
    client.setSenderName("Alice Example");
    client.setReplyTo("help@example.org");
    client.setMailer("Nyra Feedback 1.0");
    client.setPriority(2);
    client.setSubject("Chip read report");
    client.addRecipient("bob@example.net", "Bob Builder");
    client.addRecipient("carol@example.com");
    client.setTimeout(std::chrono::milliseconds(10000));
    client.setTimeSource([] { return kMarch5At140709; });
}

TEST(RealSmtpServer, DeliversTheWholeMail) {
    RealSmtpServer server(kLogin, kPassword);
    ASSERT_TRUE(server.running()) << server.error();

    SmtpClient client;
    configure(client, server);
    // Lines of dots arrive as they were: in base64 no line starts with one.
    client.setBody("Hello Bob,\n.\n.starts with a dot\n..two dots\r\nlast line");
    ASSERT_TRUE(client.send()) << client.errorCode() << " "
                               << SmtpClient::messageFor(client.errorCode());
    EXPECT_EQ(client.errorCode(), 0);

    const std::vector<ReceivedMail> mails = server.mails();
    ASSERT_EQ(mails.size(), 1u);
    const ReceivedMail& mail = mails[0];
    EXPECT_EQ(mail.mailFrom, "alice@example.org");
    EXPECT_EQ(mail.rcptTo, (std::vector<std::string>{"bob@example.net", "carol@example.com"}));
    EXPECT_TRUE(mail.authenticated);
    EXPECT_EQ(mail.login, kLogin);
    EXPECT_EQ(mail.password, kPassword);
    // The end of data follows a line break of its own: the mail ends in one empty line.
    EXPECT_EQ(mail.data,
              kHeader + base64Body("Hello Bob,\n.\n.starts with a dot\n..two dots\r\nlast line") +
                  "\r\n");
    EXPECT_NE(mail.decoded.find(
                  "\nbody: Hello Bob,\r\n.\r\n.starts with a dot\r\n..two dots\r\nlast line\n"),
              std::string::npos)
        << mail.decoded;
    EXPECT_EQ(server.authAttempts(), (std::vector<std::string>{"ok " + kLogin + " " + kPassword}));
}

// A body's own last line break is kept, then the one empty line.
TEST(RealSmtpServer, BodyEndsWithItsLineBreakAndOneEmptyLine) {
    RealSmtpServer server(kLogin, kPassword);
    ASSERT_TRUE(server.running()) << server.error();

    for (const std::string body : {"one\ntwo\n", "one\r\ntwo\r\n"}) {
        SmtpClient client;
        configure(client, server);
        client.setBody(body);
        EXPECT_TRUE(client.send()) << client.errorCode();
    }
    SmtpClient empty;
    configure(empty, server);
    EXPECT_TRUE(empty.send()) << empty.errorCode();

    const std::vector<ReceivedMail> mails = server.mails();
    ASSERT_EQ(mails.size(), 3u);
    EXPECT_EQ(mails[0].data, kHeader + base64Body("one\r\ntwo\r\n") + "\r\n");
    EXPECT_EQ(mails[1].data, mails[0].data);
    EXPECT_EQ(mails[2].data, kHeader + "\r\n");
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_TRUE(mails[i].decoded.ends_with("\nbody: one\r\ntwo\r\n\n")) << mails[i].decoded;
    }
}

// What a mail program shows is what the program wrote, in any script: the
// texts are decoded by Python's email package and compared.
TEST(RealSmtpServer, ChineseTextsArriveAsWritten) {
    RealSmtpServer server(kLogin, kPassword);
    ASSERT_TRUE(server.running()) << server.error();
    const std::string subject =
        "KVQ_Nyra 反馈主题:读取W25Q64FV时校验失败，地址0x1000处的数据不一致，请帮忙看看";
    const std::string body =
        "内容：\n校验失败！\n.\n------------------联系方式-------------------\r\n"
        "张三 zhangsan@example.org";
    SmtpClient client;
    configure(client, server);
    client.setSenderName("KVQ_Nyra 问题反馈");
    client.setSubject(subject);
    client.setBody(body);
    ASSERT_TRUE(client.send()) << client.errorCode();
    const std::vector<ReceivedMail> mails = server.mails();
    ASSERT_EQ(mails.size(), 1u);
    const std::string& shown = mails[0].decoded;
    for (const char c : mails[0].data) {
        ASSERT_EQ(static_cast<unsigned char>(c) & 0x80, 0) << "only ASCII on the wire";
    }
    EXPECT_EQ(
        shown,
        "Date: Thu, 05 Mar 2026 14:07:09 +0000\n"
        "From: KVQ_Nyra 问题反馈 <alice@example.org>\n"
        "To: Bob Builder <bob@example.net>, carol@example.com\n"
        "Subject: " +
            subject +
            "\n"
            "charset: utf-8\n"
            // The text in its canonical form: CRLF line ends.
            "body: 内容：\r\n校验失败！\r\n.\r\n------------------联系方式-------------------\r\n"
            "张三 zhangsan@example.org\n");
}

TEST(RealSmtpServer, WrongPasswordIsRefusedAndNothingDelivered) {
    RealSmtpServer server(kLogin, kPassword);
    ASSERT_TRUE(server.running()) << server.error();

    SmtpClient client;
    configure(client, server);
    client.setPassword("not the password");
    client.setBody("never sent");
    EXPECT_FALSE(client.send());
    EXPECT_EQ(client.errorCode(), 404);
    EXPECT_EQ(SmtpClient::messageFor(client.errorCode()), "Bad login or password.");

    // The server did see the attempt, with the login as given.
    EXPECT_EQ(server.authAttempts(),
              (std::vector<std::string>{"refused " + kLogin + " not the password"}));
    EXPECT_TRUE(server.mails().empty());
}

TEST(RealSmtpServer, StoppedServerCannotBeReached) {
    RealSmtpServer server(kLogin, kPassword);
    ASSERT_TRUE(server.running()) << server.error();
    server.stop();

    SmtpClient client;
    configure(client, server);
    client.setBody("never sent");
    EXPECT_FALSE(client.send());
    EXPECT_EQ(client.errorCode(), 106);
    EXPECT_TRUE(server.mails().empty());
}

}  // namespace
}  // namespace nyra
