// SPDX-License-Identifier: GPL-3.0-or-later
// The tools menu's merge and split commands open their windows over the
// program's texts, the merge with the user's home as its folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "shell/app_state.h"
#include "support/app_state_desk.h"

namespace nyra {
namespace {

using namespace ids;

class MergeSplitStateTest : public testing::AppStateDesk<> {
protected:
    void SetUp() override {
        startUpWith("[itext]\r\n9=Notice\r\n155=merged\r\n160=no points\r\n",
                    "[ftext]\r\n22=Merge files\r\n23=Split file\r\n");
    }
};

TEST_F(MergeSplitStateTest, MergeOpensInTheHomeFolderAndOkWritesThere) {
    const char* home = std::getenv("HOME");
    const std::string saved = home ? home : "";
    ::setenv("HOME", dir.file("").c_str(), 1);
    std::optional<std::string> folder, title;
    bool merged = false;
    state.showFileMerge = [&](FileMergeTool& tool) {
        folder = tool.outputFolder();
        title = tool.title();
        tool.setFileName("joined");
        merged = tool.merge();
    };
    state.command(kCmdMerge);
    if (home)
        ::setenv("HOME", saved.c_str(), 1);
    ASSERT_TRUE(folder);
    EXPECT_EQ(*folder, dir.file(""));
    EXPECT_EQ(*title, "Merge files");
    EXPECT_TRUE(merged);
    EXPECT_TRUE(dir.exists("joined.bin"));
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text, "merged");
}

TEST_F(MergeSplitStateTest, SplitOpensEmptyEachTime) {
    int opened = 0;
    state.showFileSplit = [&](FileSplitTool& tool) {
        ++opened;
        EXPECT_EQ(tool.title(), "Split file");
        EXPECT_EQ(tool.sourcePath(), "");
        EXPECT_EQ(tool.pointsText(), "");
        frontend.chooseFile(dir.write("s.bin", "abc"));
        tool.browse();
        EXPECT_FALSE(tool.split());
    };
    state.command(kCmdSplit);
    state.command(kCmdSplit);
    EXPECT_EQ(opened, 2);
    ASSERT_EQ(frontend.boxes().size(), 2u);
    EXPECT_EQ(frontend.boxes()[1].text, "no points");
}

TEST_F(MergeSplitStateTest, WithoutAWindowTheCommandsDoNothing) {
    state.command(kCmdMerge);
    state.command(kCmdSplit);
    EXPECT_TRUE(frontend.calls().empty());
}

}  // namespace
}  // namespace nyra
