// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/file_filter.h"

#include <gtest/gtest.h>

namespace nyra {
namespace {

using Patterns = std::vector<std::string>;

TEST(FileFilterParse, LabelsAndPatternLists) {
    const auto filters =
        parseFileFilter("*.*|*.*|*.bin;*.rom(*.bin;*.rom)|*.bin;*.rom|*.cap(*.cap)|*.cap||");
    ASSERT_EQ(filters.size(), 3u);
    EXPECT_EQ(filters[0], (FileFilter{"*.*", {"*.*"}}));
    EXPECT_EQ(filters[1], (FileFilter{"*.bin;*.rom(*.bin;*.rom)", {"*.bin", "*.rom"}}));
    EXPECT_EQ(filters[2], (FileFilter{"*.cap(*.cap)", {"*.cap"}}));
}

TEST(FileFilterParse, MalformedFilters) {
    EXPECT_TRUE(parseFileFilter("").empty());
    EXPECT_TRUE(parseFileFilter("||").empty());
    EXPECT_TRUE(parseFileFilter("|").empty());
    // No end marker.
    EXPECT_EQ(parseFileFilter("Bin|*.bin"), (std::vector<FileFilter>{{"Bin", {"*.bin"}}}));
    // A trailing label without its patterns is dropped.
    EXPECT_EQ(parseFileFilter("Bin|*.bin|All"), (std::vector<FileFilter>{{"Bin", {"*.bin"}}}));
    EXPECT_EQ(parseFileFilter("Bin|*.bin|All|"), (std::vector<FileFilter>{{"Bin", {"*.bin"}}}));
    // A pair whose pattern field holds nothing usable is dropped, the rest kept.
    EXPECT_EQ(parseFileFilter("Odd| ; |Bin|*.bin||"),
              (std::vector<FileFilter>{{"Bin", {"*.bin"}}}));
    // An empty label ends the list, as the end marker does.
    EXPECT_EQ(parseFileFilter("Bin|*.bin||Rom|*.rom||"),
              (std::vector<FileFilter>{{"Bin", {"*.bin"}}}));
    EXPECT_TRUE(parseFileFilter("|*.bin|Rom|*.rom||").empty());
}

TEST(FileFilterQt, PlainLabelsGetTheirPatternList) {
    EXPECT_EQ(qtFilterString("Bin Files (*.bin)|*.bin|All Files (*.*)|*.*||"),
              "Bin Files (*.bin);;All Files (*.*)");
    EXPECT_EQ(qtFilterString("all files|*.*|(*.bin;*.rom)|*.bin;*.rom||"),
              "all files (*.*);;*.bin;*.rom(*.bin *.rom)");
    EXPECT_EQ(qtFilterString("*.*|*.*||"), "*.* (*.*)");
}

TEST(FileFilterQt, OwnPatternListIsRewrittenSpaceSeparated) {
    // Qt splits the list in parentheses at spaces only: "*.bin;*.rom" would
    // be one pattern that matches no file.
    EXPECT_EQ(qtFilterString("*.bin;*.rom(*.bin;*.rom)|*.bin;*.rom||"), "*.bin;*.rom(*.bin *.rom)");
    EXPECT_EQ(qtFilterString("bin文件(*.bin)|*.bin|rom文件(*.rom)|*.rom|其他文件(*.*)|*.*||"),
              "bin文件(*.bin);;rom文件(*.rom);;其他文件(*.*)");
    EXPECT_EQ(qtFilterString("(*.nyr)|*.nyr||"), "*.nyr(*.nyr)");
}

TEST(FileFilterQt, ParenthesesThatAreNotThePatternsStay) {
    EXPECT_EQ(qtFilterString("Firmware (new)|*.bin||"), "Firmware (new) (*.bin)");
    EXPECT_EQ(qtFilterString("Images (*.png)|*.bin||"), "Images (*.png) (*.bin)");
}

TEST(FileFilterQt, UnreadablePatternsAndSeparatorsAreDropped) {
    EXPECT_EQ(qtFilterString(std::vector<FileFilter>{{"Odd", {"a(b)", "*.bin"}}}), "Odd (*.bin)");
    EXPECT_EQ(qtFilterString(std::vector<FileFilter>{{"Odd", {"文件"}}, {"Bin", {"*.bin"}}}),
              "Bin (*.bin)");
    EXPECT_EQ(qtFilterString(std::vector<FileFilter>{{"a;;b", {"*.x"}}}), "a;b (*.x)");
    EXPECT_EQ(qtFilterString(""), "");
}

TEST(DefaultExtension, AddedOnlyToNamesWithoutOne) {
    EXPECT_EQ(withDefaultExtension("/home/u/chip", "*.bin"), "/home/u/chip.bin");
    EXPECT_EQ(withDefaultExtension("/home/u/chip", ".bin"), "/home/u/chip.bin");
    EXPECT_EQ(withDefaultExtension("chip", "bin"), "chip.bin");
    EXPECT_EQ(withDefaultExtension("/home/u/chip.rom", "*.bin"), "/home/u/chip.rom");
    EXPECT_EQ(withDefaultExtension("/home/u.d/chip", "*.bin"), "/home/u.d/chip.bin");
    EXPECT_EQ(withDefaultExtension("/home/u/chip", ".*"), "/home/u/chip");
    EXPECT_EQ(withDefaultExtension("/home/u/chip", "*.*"), "/home/u/chip");
    EXPECT_EQ(withDefaultExtension("/home/u/chip", ""), "/home/u/chip");
    EXPECT_EQ(withDefaultExtension("/home/u/", "*.bin"), "/home/u/");
}

}  // namespace
}  // namespace nyra
