// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "shell/app_state.h"
#include "support/app_state_desk.h"
#include "tools/address_offset.h"

namespace nyra {
namespace {

using namespace ids;

constexpr const char* kItext =
    "[itext]\r\n0=no file\r\n2=Catalogue\r\n9=Notice\r\n25=load failed\r\n29=Error\r\n"
    "181=copying\r\n182=offset past the end\r\n183=no temp file\r\n189=file loaded\r\n";

struct Opened {
    std::string path;
    std::string offset;
    bool readOnly = false;
};

class AddressOffsetStateTest : public testing::AppStateDesk<> {
protected:
    void SetUp() override {
        startUpWith(kItext);
        state.showAddressOffset = [this](AddressOffsetTool& tool) {
            opened = Opened{tool.path(), tool.offsetText(), tool.offsetReadOnly()};
            if (pressOk)
                loaded = tool.load();
        };
    }

    std::optional<Opened> opened;
    bool pressOk = false;
    bool loaded = false;
};

TEST_F(AddressOffsetStateTest, TheMenuCommandOpensAnEmptyWindow) {
    state.command(kCmdOffsetProgram);
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->path, "");
    EXPECT_EQ(opened->offset, "0");
    EXPECT_FALSE(opened->readOnly);
}

TEST_F(AddressOffsetStateTest, ACapFileOpensTheWindowInsteadOfLoading) {
    std::string bytes(10000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i % 251);
    const std::string path = dir.write("board.CAP", bytes);
    frontend.chooseFile(path);
    state.command(kBtnBrowse);

    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->path, path);
    EXPECT_EQ(opened->offset, "2048");
    EXPECT_TRUE(opened->readOnly);
    EXPECT_FALSE(state.dataBuffer().isLoaded());
    EXPECT_FALSE(dir.exists("u_mod1.dll"));
}

TEST_F(AddressOffsetStateTest, OkLoadsTheTailFromTheProgramsTemporaryFolder) {
    std::string bytes(10000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i % 251);
    const std::string path = dir.write("board.cap", bytes);
    pressOk = true;
    EXPECT_FALSE(state.fileLoader().loadFile(path, true));  // the file itself is not loaded

    EXPECT_TRUE(loaded);
    EXPECT_EQ(state.tempFolder(), dir.folder() + "temp");
    EXPECT_EQ(dir.read("temp/tempFile.bin"), bytes.substr(2048));
    EXPECT_EQ(dir.read("u_mod1.dll"), bytes.substr(2048));
    EXPECT_EQ(state.dataBuffer().dataLength(), 7952u);
    EXPECT_TRUE(state.flags().fileLoaded.load());

    // Closing the program takes the temporary file and folder away.
    state.worker().waitUntilIdle();
    EXPECT_TRUE(state.closeRequested());
    EXPECT_FALSE(dir.exists("temp/tempFile.bin"));
    EXPECT_FALSE(dir.exists("temp"));
}

}  // namespace
}  // namespace nyra
