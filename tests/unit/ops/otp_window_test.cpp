// SPDX-License-Identifier: GPL-3.0-or-later
// The OTP window without its widgets: its start state, and which message
// each button posts, or the box it shows instead.
#include <gtest/gtest.h>

#include <vector>

#include "otp/otp_window.h"
#include "support/temp_dir.h"
#include "ui/ids.h"
#include "ui/scripted_frontend.h"

namespace nyra {
namespace {

using namespace otp_ids;

class OtpWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir.write("ftext.ini",
                  "[ftext]\r\n24=OTP\r\n34=Program\r\n35=Verify\r\n68=Lock\r\n86=Detect\r\n"
                  "87=Blank\r\n88=Read\r\n89=Save\r\n98=Open\r\n");
        dir.write("itext.ini",
                  "[itext]\r\n9=Notice\r\n179=Choose the file to program!\r\n"
                  "180=Choose the file to verify!\r\n");
        texts.loadFrom(dir.folder());
    }
    TempDir dir;
    TextTable texts;
    ScriptedFrontend frontend;
    std::vector<int> posted;
    OtpWindow window{[this](int message) { posted.push_back(message); }, frontend, texts};
};

TEST_F(OtpWindowTest, OpensWithItsCaptionsAndOnlyDetectAndOpenEnabled) {
    window.panel().setChecked(kLock, true);  // as an earlier chip left it
    window.panel().setText(kLog, "old");
    EXPECT_FALSE(window.isOpen());
    window.open();
    EXPECT_TRUE(window.isOpen());
    EXPECT_EQ(window.title(), "OTP");
    const std::pair<int, const char*> captions[] = {
        {kDetect, "Detect"}, {kOpen, "Open"}, {kProgram, "Program"}, {kLock, "Lock"},
        {kRead, "Read"},     {kSave, "Save"}, {kVerify, "Verify"},   {kBlank, "Blank"}};
    for (const auto& [id, caption] : captions) {
        EXPECT_EQ(window.panel().text(id), caption) << id;
    }
    EXPECT_FALSE(window.panel().checked(kLock)) << "no lock request from before";
    EXPECT_EQ(window.panel().text(kLog), "");
    for (const int id : {kProgram, kLock, kRead, kSave, kVerify, kBlank}) {
        EXPECT_FALSE(window.panel().enabled(id)) << id;
    }
    for (const int id : {kDetect, kOpen, kFile}) {
        EXPECT_TRUE(window.panel().enabled(id)) << id;
    }
    window.close();
    EXPECT_FALSE(window.isOpen());
}

TEST_F(OtpWindowTest, EachButtonPostsItsMessageAndProgramAndVerifyWantAFile) {
    window.open();
    // Without a file only program and verify refuse, each with its own box.
    for (const auto& [id, text] : {std::pair{kProgram, "Choose the file to program!"},
                                   std::pair{kVerify, "Choose the file to verify!"}}) {
        frontend.clearRecord();
        window.press(id);
        ASSERT_EQ(frontend.boxes().size(), 1u);
        EXPECT_EQ(frontend.boxes()[0].text, text);
        EXPECT_EQ(frontend.boxes()[0].caption, "Notice");
    }
    EXPECT_TRUE(posted.empty());
    for (const int id : {kDetect, kRead, kSave, kBlank})
        window.press(id);
    EXPECT_EQ(posted, (std::vector<int>{ids::kMsgOtpFirst, ids::kMsgOtpFirst + 2,
                                        ids::kMsgOtpFirst + 3, ids::kMsgOtpFirst + 5}));

    frontend.chooseFile(dir.write("area.bin", "x"));
    window.press(kOpen);
    EXPECT_EQ(window.filePath(), dir.file("area.bin"));
    EXPECT_EQ(window.panel().text(kFile), dir.file("area.bin"));
    posted.clear();
    frontend.clearRecord();
    window.press(kProgram);
    window.press(kVerify);
    EXPECT_TRUE(frontend.boxes().empty());
    EXPECT_EQ(posted, (std::vector<int>{ids::kMsgOtpFirst + 1, ids::kMsgOtpFirst + 4}));
    // A cancelled dialog keeps the file.
    frontend.cancelDialog();
    window.press(kOpen);
    EXPECT_EQ(window.filePath(), dir.file("area.bin"));
}

}  // namespace
}  // namespace nyra
