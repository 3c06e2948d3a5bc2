// SPDX-License-Identifier: GPL-3.0-or-later
// The update check through the worker: the version document from Python's
// HTTP server on the loopback, the firmware version from the simulated
// programmer, and the version window or the failure boxes.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "net/deployment.h"
#include "support/http_test_server.h"
#include "unit/ops/chip_job_fixture.h"

namespace nyra {
namespace {

using namespace ids;
using testing::HttpTestServer;

constexpr const char* kUpdateItext =
    "120=Program\r\n121=Firmware\r\n122=Current\r\n123=Latest\r\n125=New version\r\n"
    "126=Up to date\r\n127=New firmware\r\n128=Firmware up to date\r\n"
    "129=Update check failed!\r\n201=Note\r\n";

class UpdateCheckTest : public ops_test::ChipJobTest {
protected:
    std::string itextFile() const override {
        return std::string(ops_test::kJobItext) + kUpdateItext;
    }

    void SetUp() override {
        ChipJobTest::SetUp();
        ASSERT_TRUE(server.running()) << server.error();
        frontend.clearRecord();
    }

    // Runs the menu command with the document the server answer gives.
    void check(const std::string& answer) { checkAt(server.url(answer)); }
    void checkAt(const std::string& updateServer) {
        NetDeployment deployment;
        deployment.updateServer = updateServer;
        deployment.webAddress = "http://www.example.com";
        deployment.timeout = std::chrono::milliseconds(5000);
        state.setNetDeployment(deployment);
        questionsBefore = framesOf(cmd::kFirmwareVersion).size();
        state.command(kCmdCheckUpdate);
        state.worker().waitUntilIdle();
    }

    // Version questions the programmer got in the last check.
    std::size_t versionQuestions() {
        return framesOf(cmd::kFirmwareVersion).size() - questionsBefore;
    }

    // The result the programmer was told at the end of the last check.
    std::optional<std::uint8_t> toldResult() {
        const auto told = framesOf(cmd::kStateIndication);
        if (told.empty())
            return std::nullopt;
        return told.back()[kCommandArgumentOffset];
    }

    HttpTestServer server;
    std::size_t questionsBefore = 0;
};

// A server on the loopback that answers with the head of a long version
// document and its first two bytes, then holds the connection open.
class UnfinishedDocumentServer {
public:
    UnfinishedDocumentServer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(listener_, 1) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            return;
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~UnfinishedDocumentServer() {
        done_.store(true);
        if (thread_.joinable())
            thread_.join();
        if (listener_ >= 0)
            ::close(listener_);
    }
    bool running() const { return port_ != 0; }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/long"; }

private:
    // Waits in short polls so that the destructor is never held up.
    bool readable(int fd) {
        pollfd poll{fd, POLLIN, 0};
        while (!done_.load()) {
            if (::poll(&poll, 1, 20) > 0)
                return true;
        }
        return false;
    }
    void serve() {
        if (!readable(listener_))
            return;
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            return;
        std::string request;
        char buffer[512];
        while (request.find("\r\n\r\n") == std::string::npos && readable(connection)) {
            const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            request.append(buffer, static_cast<std::size_t>(got));
        }
        const std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: 64\r\n\r\n\x21\x24";
        ::send(connection, answer.data(), answer.size(), MSG_NOSIGNAL);
        while (!done_.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ::close(connection);
    }

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

TEST_F(UpdateCheckTest, ShowsTheVersionsOfProgramAndFirmware) {
    ASSERT_TRUE(simulator.setFirmwareVersion(0, 0x13));
    check("s200/2124");
    EXPECT_TRUE(frontend.boxes().empty());
    ASSERT_EQ(frontend.lists().size(), 1u);
    const ListWindow window = frontend.lists()[0];
    EXPECT_EQ(window.title, "KVQ_Nyra");
    EXPECT_EQ(window.line, "http://www.example.com");
    EXPECT_EQ(window.columns.size(), 4u);
    ASSERT_EQ(window.rows.size(), 2u);
    EXPECT_EQ(window.rows[0], (std::vector<std::string>{"Program", "2.1", "2.1", "Up to date"}));
    EXPECT_EQ(window.rows[1], (std::vector<std::string>{"Firmware", "2.3", "2.4", "New firmware"}));
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].rfind("GET /s200/2124/updata/KVQ_Pro_CV_Info.pdf HTTP/1.1|", 0),
              0u);
    EXPECT_EQ(versionQuestions(), 1u);
    // The question and its one-byte answer wait 100 ms each.
    simulator.clearTransferLog();
    check("s200/2124");
    int answers = 0;
    for (const auto& r : simulator.transferLog()) {
        if (r.call == sim::UsbCall::BulkRead && r.size == 1) {
            EXPECT_EQ(r.timeout, 100);
            ++answers;
        }
    }
    EXPECT_EQ(answers, 1);
}

TEST_F(UpdateCheckTest, ANewerProgramIsNoted) {
    check("s200/2223");
    ASSERT_EQ(frontend.lists().size(), 1u);
    EXPECT_EQ(frontend.lists()[0].rows[0],
              (std::vector<std::string>{"Program", "2.1", "2.2", "New version"}));
    // The simulated programmer runs 0x21 (3.1), newer than 2.3.
    EXPECT_EQ(frontend.lists()[0].rows[1],
              (std::vector<std::string>{"Firmware", "3.1", "2.3", "Firmware up to date"}));
}

TEST_F(UpdateCheckTest, NoProgrammerOrNoVersionReadsNull) {
    simulator.unplug(0);
    check("s200/2124");
    ASSERT_EQ(frontend.lists().size(), 1u);
    EXPECT_EQ(frontend.lists()[0].rows[1],
              (std::vector<std::string>{"Firmware", "NULL", "2.4", "NULL"}));
    EXPECT_TRUE(frontend.boxes().empty()) << "no box about the missing programmer";
}

TEST_F(UpdateCheckTest, AProgrammerWithoutAVersionOrBlockedReadsNull) {
    ASSERT_TRUE(simulator.setFirmwareVersion(0, 0xFF));
    check("s200/2124");
    ASSERT_EQ(frontend.lists().size(), 1u);
    EXPECT_EQ(frontend.lists()[0].rows[1][1], "NULL");

    ASSERT_TRUE(simulator.setFirmwareVersion(0, 0x13));
    state.flags().programmerBlocked.store(true);
    frontend.clearRecord();
    check("s200/2124");
    state.flags().programmerBlocked.store(false);
    ASSERT_EQ(frontend.lists().size(), 1u);
    EXPECT_EQ(frontend.lists()[0].rows[1][1], "NULL");
    EXPECT_EQ(versionQuestions(), 0u) << "a blocked programmer is not asked";
}

TEST_F(UpdateCheckTest, AFailedFetchShowsItsReasonThenTheCheckFailed) {
    for (const auto& [answer, text] :
         {std::pair<std::string, std::string>{"s404", "请求地址不存在:#404"},
          {"s500", "未知服务器错误:#500"},
          {"s503", "服务器容量不足:#503"},
          {"s299/2124", ""}}) {
        frontend.clearRecord();
        check(answer);
        const auto boxes = frontend.boxes();
        ASSERT_EQ(boxes.size(), 2u) << answer;
        EXPECT_EQ(boxes[0].text, text) << answer;
        EXPECT_EQ(boxes[0].caption, "KVQ_Nyra");
        EXPECT_EQ(boxes[0].buttons, BoxButtons::Ok);
        EXPECT_EQ(boxes[1].text, "Update check failed!");
        EXPECT_EQ(boxes[1].caption, "Error");
        EXPECT_EQ(boxes[1].icon, BoxIcon::Warning);
        EXPECT_TRUE(frontend.lists().empty()) << answer;
        EXPECT_EQ(versionQuestions(), 0u) << "the programmer is not asked";
    }
}

TEST_F(UpdateCheckTest, AShortDocumentOrNoServerFails) {
    check("s200/21");
    ASSERT_EQ(frontend.boxes().size(), 1u) << "a one-byte document says nothing";
    EXPECT_EQ(frontend.boxes()[0].text, "Update check failed!");
    EXPECT_TRUE(frontend.lists().empty());

    frontend.clearRecord();
    server.stop();
    check("s200/2124");
    ASSERT_EQ(frontend.boxes().size(), 2u);
    EXPECT_EQ(frontend.boxes()[0].caption, "KVQ_Nyra");
    EXPECT_NE(frontend.boxes()[0].text.find("could not be established"), std::string::npos);
    EXPECT_EQ(frontend.boxes()[1].text, "Update check failed!");
}

// The programmer is told how the check ended, as after any job.
TEST_F(UpdateCheckTest, TheProgrammerIsToldWhetherTheCheckSucceeded) {
    for (const auto& [answer, result] :
         {std::pair<std::string, std::uint8_t>{"s200/2124", state::kSucceeded},
          {"s404", state::kFailed},
          {"s200/21", state::kFailed}}) {
        simulator.clearFrames(0);
        check(answer);
        EXPECT_EQ(toldResult(), result) << answer;
    }
}

// Only the document's first two bytes count: the check shows the versions
// without waiting for the rest of a longer document.
TEST_F(UpdateCheckTest, TheFirstTwoBytesOfALongDocumentAreEnough) {
    check("s200/2124");
    ASSERT_EQ(frontend.lists().size(), 1u);
    const ListWindow whole = frontend.lists()[0];

    UnfinishedDocumentServer unfinished;
    ASSERT_TRUE(unfinished.running());
    frontend.clearRecord();
    checkAt(unfinished.url());
    EXPECT_TRUE(frontend.boxes().empty());
    ASSERT_EQ(frontend.lists().size(), 1u);
    EXPECT_EQ(frontend.lists()[0].rows, whole.rows);
}

TEST_F(UpdateCheckTest, RunsOnTheWorkerSoTheWindowIsFree) {
    NetDeployment deployment;
    deployment.updateServer = server.url("silent");
    deployment.timeout = std::chrono::milliseconds(2000);
    state.setNetDeployment(deployment);
    state.command(kCmdCheckUpdate);
    // The command is back while the server has not answered.
    EXPECT_FALSE(state.worker().idle());
    EXPECT_TRUE(frontend.boxes().empty());
    state.worker().waitUntilIdle();
    ASSERT_EQ(frontend.boxes().size(), 2u);
    EXPECT_EQ(frontend.boxes()[0].text, "The operation timed out.");
}

}  // namespace
}  // namespace nyra
