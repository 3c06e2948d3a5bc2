// SPDX-License-Identifier: GPL-3.0-or-later
// The feedback form and the mail it hands to the SMTP client, against the
// scripted server and the real one; the version window's rows.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "app/text_table.h"
#include "net/feedback_form.h"
#include "net/smtp_client.h"
#include "net/version_table.h"
#include "real_smtp_server.h"
#include "smtp_test_server.h"
#include "support/temp_dir.h"
#include "ui/scripted_frontend.h"

namespace nyra {
namespace {

using namespace feedback_ids;
using testing::RealSmtpServer;
using testing::SmtpTestServer;

constexpr const char* kItext =
    "[itext]\r\n9=Notice\r\n29=Error\r\n120=Program\r\n121=Firmware\r\n122=Current\r\n"
    "123=Latest\r\n125=New version\r\n126=Up to date\r\n127=New firmware\r\n"
    "128=Firmware up to date\r\n184=Please enter your message!\r\n185=none\r\n"
    "200=Feedback sent!\r\n201=Note\r\n";
constexpr const char* kFtext =
    "[ftext]\r\n75=Send\r\n76=Cancel\r\n78=Quick Feedback\r\n79=Subject:\r\n80=Message:\r\n"
    "81=Contact:\r\n82=(* required)\r\n";

const std::vector<std::string> kHappyScript = {
    "220 ready\r\n", "250 ok\r\n", "334 VXNlcm5hbWU6\r\n", "334 UGFzc3dvcmQ6\r\n", "235 ok\r\n",
    "250 ok\r\n",    "250 ok\r\n", "354 go\r\n",           "250 queued\r\n",       "221 bye\r\n"};

class FeedbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir.write("itext.ini", kItext);
        dir.write("ftext.ini", kFtext);
        texts.loadFrom(dir.folder());
        deployment.smtpServer = "127.0.0.1";
        deployment.timeout = std::chrono::milliseconds(5000);
    }

    // Fills the form and presses Send; waits for the answer.
    bool send(std::uint16_t port, const FeedbackFields& fields) {
        deployment.smtpPort = port;
        form.open();
        form.panel().setText(kSubject, fields.subject);
        form.panel().setText(kContent, fields.content);
        form.panel().setText(kContact, fields.contact);
        const bool started = form.press(kSend);
        form.waitUntilSent();
        return started;
    }

    TempDir dir;
    TextTable texts;
    ScriptedFrontend frontend;
    NetDeployment deployment;
    FeedbackForm form{frontend, texts, deployment};
};

TEST_F(FeedbackTest, TheFormOpensWithItsTextsAndEmptyFields) {
    form.panel().setText(kContent, "left over");
    form.open();
    EXPECT_EQ(form.title(), "Quick Feedback");
    EXPECT_EQ(form.panel().text(kSubjectLabel), "Subject:");
    EXPECT_EQ(form.panel().text(kContentLabel), "Message:");
    EXPECT_EQ(form.panel().text(kContactLabel), "Contact:");
    EXPECT_EQ(form.panel().text(kRequired), "(* required)");
    EXPECT_EQ(form.panel().text(kSend), "Send");
    EXPECT_EQ(form.panel().text(kCancel), "Cancel");
    EXPECT_EQ(form.panel().text(kContent), "");
    EXPECT_TRUE(form.panel().control(kSend).enabled);

    // Without the text files the form keeps its own texts.
    TextTable none;
    FeedbackForm bare(frontend, none, deployment);
    bare.open();
    EXPECT_EQ(bare.title(), "快速反馈");
    EXPECT_EQ(bare.panel().text(kSend), "发送");
    EXPECT_EQ(bare.panel().text(kContactLabel), "联系方式:");
}

TEST_F(FeedbackTest, AnEmptyMessageIsAskedForAndNothingIsSent) {
    // Nothing listens there: a send would end in a failure box.
    EXPECT_FALSE(send(1, {"subject", "", "me@example.org"}));
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text, "Please enter your message!");
    EXPECT_EQ(frontend.boxes()[0].caption, "Notice");
    EXPECT_EQ(frontend.boxes()[0].icon, BoxIcon::Information);
    EXPECT_EQ(form.panel().text(kSubject), "subject") << "the form stays as it was";
}

TEST_F(FeedbackTest, TheMailCarriesTheFieldsWithNoneForEmptyOnes) {
    SmtpTestServer server(kHappyScript);
    ASSERT_TRUE(send(server.port(), {"", "The read\r\nfailed.", ""}));
    server.join();

    const auto& commands = server.commands();
    ASSERT_GE(commands.size(), 7u);
    EXPECT_EQ(commands[2], base64Encode("nyrafb@example.com"));
    EXPECT_EQ(commands[3], base64Encode("Tq7rW2xexemplar"));
    EXPECT_EQ(commands[4], "MAIL FROM:<nyrafb@example.com>");
    EXPECT_EQ(commands[5], "RCPT TO:<feedback@example.com>");

    const std::string& data = server.data();
    const std::string header = data.substr(data.find("From:"));
    EXPECT_EQ(header.substr(0, header.find("\r\n\r\n") + 4),
              "From: " + mimeHeaderText("KVQ_Nyra 问题反馈") +
                  " <nyrafb@example.com>\r\n"
                  "X-Mailer: KVQMail\r\n"
                  "Reply-To: nyrafb@example.com\r\n"
                  "X-Priority: 3 (Normal)\r\n"
                  "To: <feedback@example.com>\r\n"
                  "Subject: " +
                  mimeHeaderText("KVQ_Nyra 反馈主题:none") +
                  "\r\n"
                  "MIME-Version: 1.0\r\n"
                  "Content-type: text/plain; charset=UTF-8\r\n"
                  "Content-Transfer-Encoding: base64\r\n\r\n");
    EXPECT_NE(
        data.find("\r\n\r\n" + base64Body("KVQ_Nyra:\r\nThe read\r\nfailed.\r\n"
                                          "------------------联系方式-------------------\r\nnone")),
        std::string::npos)
        << data;

    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text, "Feedback sent!");
    EXPECT_EQ(frontend.boxes()[0].caption, "Notice");
    EXPECT_EQ(frontend.boxes()[0].icon, BoxIcon::Information);
    EXPECT_TRUE(form.panel().control(kSend).enabled);
}

TEST_F(FeedbackTest, ARefusalIsShownWithTheClientsMessage) {
    SmtpTestServer server({"220 ready\r\n", "250 ok\r\n", "334 VXNlcm5hbWU6\r\n",
                           "334 UGFzc3dvcmQ6\r\n", "535 no\r\n"});
    ASSERT_TRUE(send(server.port(), {"s", "text", "c"}));
    server.join();
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text, "Error:Bad login or password.");
    EXPECT_EQ(frontend.boxes()[0].caption, "Error");
    EXPECT_EQ(frontend.boxes()[0].icon, BoxIcon::Warning);
    EXPECT_EQ(form.panel().text(kContent), "text") << "the form stays open as it was";
}

TEST_F(FeedbackTest, SendIsGreyedWhileAMailIsOnItsWay) {
    SmtpTestServer server({}, true);
    deployment.smtpPort = server.port();
    deployment.timeout = std::chrono::milliseconds(300);
    form.open();
    form.panel().setText(kContent, "text");
    ASSERT_TRUE(form.press(kSend));
    EXPECT_FALSE(form.panel().control(kSend).enabled);
    EXPECT_FALSE(form.press(kSend)) << "one mail at a time";
    form.waitUntilSent();
    EXPECT_TRUE(form.panel().control(kSend).enabled);
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text, "Error:Function recv() failed.");
    // Reopening while nothing is on its way leaves Send usable.
    form.open();
    EXPECT_TRUE(form.panel().control(kSend).enabled);
    EXPECT_FALSE(form.press(kCancel));
}

TEST_F(FeedbackTest, TheRealServerTakesTheMailWithTheDeploymentsLogin) {
    RealSmtpServer server(deployment.mailLogin(), deployment.mailPassword());
    ASSERT_TRUE(server.running()) << server.error();
    ASSERT_TRUE(send(server.port(), {"Chip not found", "W25Q64 not detected", "bench 3"}));
    const auto mails = server.mails();
    ASSERT_EQ(mails.size(), 1u) << (frontend.boxes().empty() ? "" : frontend.boxes()[0].text);
    EXPECT_TRUE(mails[0].authenticated);
    EXPECT_EQ(mails[0].login, "nyrafb@example.com");
    EXPECT_EQ(mails[0].rcptTo, std::vector<std::string>{"feedback@example.com"});
    // As the receiving mail program reads it.
    EXPECT_NE(mails[0].decoded.find("\nSubject: KVQ_Nyra 反馈主题:Chip not found\n"),
              std::string::npos)
        << mails[0].decoded;
    EXPECT_NE(mails[0].decoded.find("\nbody: KVQ_Nyra:\r\nW25Q64 not detected\r\n"
                                    "------------------联系方式-------------------\r\nbench 3\n"),
              std::string::npos)
        << mails[0].decoded;
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text, "Feedback sent!");
}

class VersionWindowTest : public FeedbackTest {};

TEST_F(VersionWindowTest, ColumnsAndTheProgramRow) {
    const ListWindow window = versionWindow(texts, "http://www.example.com", {0x21, 0x24}, {});
    EXPECT_EQ(window.line, "http://www.example.com");
    EXPECT_EQ(window.columns, (std::vector<ListWindow::Column>{
                                  {" ", 70}, {"Current", 70}, {"Latest", 70}, {"Note", 120}}));
    ASSERT_EQ(window.rows.size(), 2u);
    EXPECT_EQ(window.rows[0], (std::vector<std::string>{"Program", "2.1", "2.1", "Up to date"}));
    EXPECT_EQ(versionWindow(texts, "", {0x22, 0}, {}).rows[0][3], "New version");
    EXPECT_EQ(versionWindow(texts, "", {0xAB, 0}, {}).rows[0][2], "A.B");
    EXPECT_EQ(versionWindow(texts, "", {0x20, 0}, {}).rows[0][3], "Up to date");
}

TEST_F(VersionWindowTest, TheFirmwareRowCountsTheMajorFromOne) {
    // 0x13 is firmware 2.3; 0x24 is newer (0x13 + 16 < 0x24).
    EXPECT_EQ(versionWindow(texts, "", {0x21, 0x24}, 0x13).rows[1],
              (std::vector<std::string>{"Firmware", "2.3", "2.4", "New firmware"}));
    EXPECT_EQ(versionWindow(texts, "", {0x21, 0x23}, 0x13).rows[1][3], "Firmware up to date");
    EXPECT_EQ(versionWindow(texts, "", {0x21, 0x10}, 0x13).rows[1][3], "Firmware up to date");
    EXPECT_EQ(versionWindow(texts, "", {0x21, 0x24}, 0xF5).rows[1][1], "10.5");
    EXPECT_EQ(versionWindow(texts, "", {0x21, 0x24}, std::nullopt).rows[1],
              (std::vector<std::string>{"Firmware", "NULL", "2.4", "NULL"}));
}

}  // namespace
}  // namespace nyra
