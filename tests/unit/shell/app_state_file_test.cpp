// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/app_state.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/app_state_desk.h"

namespace nyra {
namespace {

using namespace ids;

constexpr const char* kItext =
    "[itext]\r\n0=no file\r\n2=Catalogue\r\n9=Notice\r\n24=reserved name\r\n25=load failed\r\n"
    "29=Error\r\n119=busy\r\n189=file loaded\r\n";

class AppStateFileTest : public testing::AppStateDesk<> {
protected:
    void SetUp() override { startUpWith(kItext); }
};

TEST_F(AppStateFileTest, TheBrowseCommandLoadsIntoTheProgramFolderAndSetsTheSharedState) {
    const std::string path = dir.write("data.bin", "\x01\x02");
    frontend.chooseFile(path);
    state.command(kBtnBrowse);

    EXPECT_EQ(dir.read("u_mod1.dll"), "\x01\x02");
    EXPECT_TRUE(state.dataBuffer().isLoaded());
    EXPECT_TRUE(state.flags().fileLoaded.load());
    const auto loaded = state.loadedFile().get();
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->path, path);
    EXPECT_EQ(loaded->bytes, 2u);
    EXPECT_EQ(state.panel().text(kStatusLine), "file loaded");
    EXPECT_EQ(state.panel().text(kTextFileChecksum), "0000000003");
    // The data file line reached the log view after the time of day.
    bool logged = false;
    for (const std::string& line : state.log().snapshot().lines)
        logged = logged || line.ends_with("data.bin 0.00KB");
    EXPECT_TRUE(logged);
}

TEST_F(AppStateFileTest, DropsArriveAsAWindowMessageWithThePaths) {
    const std::string path = dir.write("drop.bin", "abc");
    const std::vector<std::string> dropped{path};
    state.panel().setEnabled(kBtnBrowse, false);
    state.windowMessage(kMsgFileDropped, reinterpret_cast<std::uintptr_t>(&dropped));
    EXPECT_FALSE(state.flags().fileLoaded.load());
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text, "busy");

    state.panel().setEnabled(kBtnBrowse, true);
    state.windowMessage(kMsgFileDropped, reinterpret_cast<std::uintptr_t>(&dropped));
    EXPECT_TRUE(state.flags().fileLoaded.load());
    EXPECT_EQ(state.fileLoader().loadedPath(), path);
    EXPECT_EQ(dir.read("u_mod1.dll"), "abc");
}

TEST_F(AppStateFileTest, AFailedLoadClearsTheSharedLoadedState) {
    const std::string path = dir.write("data.bin", "xy");
    ASSERT_TRUE(state.fileLoader().loadFile(path, true));
    ASSERT_TRUE(state.loadedFile().get());
    EXPECT_FALSE(state.fileLoader().loadFile(dir.file("missing.bin"), true));
    // An unreadable source changes nothing.
    EXPECT_TRUE(state.flags().fileLoaded.load());

    std::filesystem::remove(dir.file("u_mod1.dll"));
    std::filesystem::create_directory(dir.file("u_mod1.dll"));
    EXPECT_FALSE(state.fileLoader().loadFile(path, true));
    EXPECT_FALSE(state.flags().fileLoaded.load());
    EXPECT_FALSE(state.loadedFile().get());
    EXPECT_EQ(state.panel().text(kStatusLine), "load failed");
}

TEST_F(AppStateFileTest, AnEditPastTheEndGrowsTheLoadedFilesSize) {
    const std::string path = dir.write("data.bin", std::string(16, 'a'));
    ASSERT_TRUE(state.fileLoader().loadFile(path, true));
    state.command(kCmdEditMode);
    HexViewModel& view = state.hexView();
    view.clickCell(2, 3, false);  // offset 18, two past the end
    view.typeIntoEditor('4');
    view.typeIntoEditor('2');
    EXPECT_EQ(dir.read("u_mod1.dll"), std::string(16, 'a') + "\xFF\xFF\x42");
    const auto loaded = state.loadedFile().get();
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->bytes, 19u);
    EXPECT_EQ(loaded->path, path);
}

TEST_F(AppStateFileTest, TheSaveCommandsReachTheSaver) {
    const std::string path = dir.write("data.bin", "abc");
    ASSERT_TRUE(state.fileLoader().loadFile(path, true));
    ASSERT_TRUE(state.dataBuffer().writeByte(2, 'z'));
    state.command(kCmdSaveFile);
    EXPECT_EQ(dir.read("data.bin"), "abz");
    EXPECT_NE(dir.read("log.txt").find("[00000002]: 63 --> 7A"), std::string::npos);

    frontend.chooseFile(dir.file("copy.bin"));
    state.command(kCmdSaveAs);
    EXPECT_EQ(dir.read("copy.bin"), "abz");
}

}  // namespace
}  // namespace nyra
