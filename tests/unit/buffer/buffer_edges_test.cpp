// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "buffer/file_loader.h"
#include "unit/buffer/loader_fixture.h"

namespace nyra {
namespace {

using namespace ids;
using testing::FileLoaderTest;

TEST_F(FileLoaderTest, TheChipImageShowsItsOwnChecksumNotTheFileBefore) {
    const std::string user = dir.write("data.bin", std::string("\x10\x20", 2));
    ASSERT_TRUE(loader.loadFile(user, true));
    ASSERT_EQ(panel.text(kTextFileChecksum), "0000000030");

    dir.write("u_mod0.dll", std::string("\x01\x02\x03", 3));
    ASSERT_TRUE(loader.loadFile(dir.file("u_mod0.dll"), false));
    EXPECT_EQ(panel.text(kTextFileChecksum), "0000000006");
    EXPECT_EQ(panel.text(kEditFileName), "chip data");
}

// /proc/self/mem opens and is no directory, but reading its first page fails:
// a read error must fail the load, not pass as the end of an empty file.
TEST_F(FileLoaderTest, AReadErrorFailsTheLoad) {
    const std::string path = "/proc/self/mem";
    EXPECT_FALSE(loader.loadFile(path, true));
    EXPECT_FALSE(data.isLoaded());
    EXPECT_FALSE(window.loadedFile.has_value());
    ASSERT_FALSE(frontend.boxes().empty());
    EXPECT_NE(frontend.boxes().back().text.find("load failed"), std::string::npos);
}

}  // namespace
}  // namespace nyra
