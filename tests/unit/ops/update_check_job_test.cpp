// The update check through the worker: the version document from Python's
// HTTP server on the loopback, the firmware version from the simulated
// programmer, and the version window or the failure boxes.
#include <gtest/gtest.h>

#include <string>

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
    void check(const std::string& answer) {
        NetDeployment deployment;
        deployment.updateServer = server.url(answer);
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

    HttpTestServer server;
    std::size_t questionsBefore = 0;
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
