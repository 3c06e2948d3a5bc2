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
    "Date: Thu, 05 Mar 2026 14:07:09\r\n"
    "From: Alice Example <alice@example.org>\r\n"
    "X-Mailer: Nyra Feedback 1.0\r\n"
    "Reply-To: help@example.org\r\n"
    "X-Priority: 2 (High)\r\n"
    "To: Bob Builder<bob@example.net>,<carol@example.com>\r\n"
    "Subject: Chip read report\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-type: text/plain; charset=US-ASCII\r\n"
    "Content-Transfer-Encoding: 7bit\r\n"
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
    // A lone "." would end the data early unless stuffed; the server takes
    // the extra dots off again.
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
    EXPECT_EQ(mail.data, kHeader +
                             "Hello Bob,\r\n"
                             ".\r\n"
                             ".starts with a dot\r\n"
                             "..two dots\r\n"
                             "last line\r\n"
                             // The end of data follows a line break of its
                             // own: the mail ends in one empty line.
                             "\r\n");
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
    EXPECT_EQ(mails[0].data, kHeader + "one\r\ntwo\r\n\r\n\r\n");
    EXPECT_EQ(mails[1].data, kHeader + "one\r\ntwo\r\n\r\n\r\n");
    EXPECT_EQ(mails[2].data, kHeader + "\r\n\r\n");
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
