// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer/file_name_text.h"

#include <gtest/gtest.h>

#include <string>

namespace nyra {
namespace {

TEST(FileNameText, ShortPathsStayWhole) {
    EXPECT_EQ(shortenedFileNameText("/home/a/data.bin"), "/home/a/data.bin");
    const std::string exactly53 = "/home/" + std::string(43, 'x') + ".bin";
    ASSERT_EQ(exactly53.size(), 53u);
    EXPECT_EQ(shortenedFileNameText(exactly53), exactly53);
    // The separator after the first component does not count: 54 still fit,
    // at 55 the folder goes.
    const std::string just54 = "/home/ab/" + std::string(41, 'x') + ".bin";
    ASSERT_EQ(just54.size(), 54u);
    EXPECT_EQ(shortenedFileNameText(just54), just54);
    const std::string just55 = "/home/ab/" + std::string(42, 'x') + ".bin";
    EXPECT_EQ(shortenedFileNameText(just55), "/home/.../" + std::string(42, 'x') + ".bin");
}

TEST(FileNameText, LeadingFoldersAfterTheFirstGiveWayUntilTheRestFits) {
    // 60 characters; "/home" and the rest together are 59 before removal.
    const std::string path = "/home/abcdefgh/ijklmnop/" + std::string(32, 'f') + ".bin";
    ASSERT_EQ(path.size(), 60u);
    // Removing "abcdefgh/" leaves 50 characters of head and rest: enough.
    EXPECT_EQ(shortenedFileNameText(path), "/home/.../ijklmnop/" + std::string(32, 'f') + ".bin");

    // A long file name takes every folder with it.
    const std::string deep = "/mnt/one/two/three/" + std::string(45, 'n') + ".rom";
    EXPECT_EQ(shortenedFileNameText(deep), "/mnt/.../" + std::string(45, 'n') + ".rom");
}

TEST(FileNameText, APathWithNothingToRemoveIsShownWhole) {
    const std::string path = "/home/" + std::string(60, 'z');
    EXPECT_EQ(shortenedFileNameText(path), path);
    const std::string noSlash(70, 'q');
    EXPECT_EQ(shortenedFileNameText(noSlash), noSlash);
}

TEST(FileNameText, LengthCountsCharactersNotBytes) {
    // 40 three-byte characters: 120 bytes, but only 51 characters in all.
    std::string name;
    for (int i = 0; i < 40; ++i)
        name += "数";
    const std::string path = "/home/a/" + name + ".bin";
    EXPECT_EQ(shortenedFileNameText(path), path);
    const std::string longer = "/home/abc/def/" + name + "1234567.bin";
    EXPECT_EQ(shortenedFileNameText(longer), "/home/.../" + name + "1234567.bin");
}

TEST(FileNameText, NamePartAndTheRefusedNames) {
    EXPECT_EQ(fileNamePart("/a/b/c.bin"), "c.bin");
    EXPECT_EQ(fileNamePart("c.bin"), "c.bin");
    EXPECT_TRUE(isProgramImageName("/opt/p/u_mod0.dll"));
    EXPECT_TRUE(isProgramImageName("u_mod1.dll"));
    EXPECT_FALSE(isProgramImageName("/opt/u_mod1.dll/data.bin"));
    EXPECT_FALSE(isProgramImageName("/opt/xu_mod1.dll"));
    EXPECT_FALSE(isProgramImageName("/opt/u_mod2.dll"));
}

TEST(FileNameText, CapFilesInAnyCase) {
    EXPECT_TRUE(isCapFile("/a/bios.cap"));
    EXPECT_TRUE(isCapFile("/a/BIOS.CAP"));
    EXPECT_TRUE(isCapFile("/a/b.CaP"));
    EXPECT_FALSE(isCapFile("/a/recap"));
    EXPECT_FALSE(isCapFile("/a/b.cap.bin"));
    EXPECT_FALSE(isCapFile("cap"));
    EXPECT_TRUE(isCapFile(".cap")) << "the shortest name that ends so";
}

}  // namespace
}  // namespace nyra
