// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/file_split.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "ui/scripted_frontend.h"

namespace nyra {
namespace {

constexpr const char* kTexts =
    "[ftext]\r\n23=Split\r\n66=Points:\r\n67=Example\r\n76=Cancel\r\n77=OK\r\n98=Open\r\n"
    "[itext]\r\n9=Notice\r\n25=cannot open\r\n157=bad points\r\n158=no piece\r\n"
    "159=split done\r\n160=no points\r\n";

// Bytes that differ from their neighbours, so a piece from the wrong place shows.
std::string pattern(std::size_t length) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<char>((i * 13 + i / 251) & 0xFF);
    return bytes;
}

std::vector<std::string> names(const TempDir& dir) {
    std::vector<std::string> out;
    for (const auto& entry : std::filesystem::directory_iterator(dir.file("")))
        out.push_back(entry.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

TEST(SplitPoints, FullWidthCommasBecomeCommasAndOnlyDigitsAndCommasPass) {
    EXPECT_EQ(normaliseSplitPoints("1024\xEF\xBC\x8C"
                                   "2048\xEF\xBC\x8C\xEF\xBC\x8C"
                                   "4096"),
              "1024,2048,,4096");
    EXPECT_EQ(normaliseSplitPoints("12,34"), "12,34");
    EXPECT_TRUE(splitPointsValid("1024,2048"));
    EXPECT_TRUE(splitPointsValid("1024,"));
    EXPECT_TRUE(splitPointsValid("1,,2"));
    for (const char* bad :
         {"", ",1024", "1024, 2048", " 1024", "10a", "-5", "1024;2048", "1024\xEF\xBC\x8C"}) {
        EXPECT_FALSE(splitPointsValid(bad)) << bad;
    }
}

TEST(SplitPoints, CutsFollowTheRulesForOrderAndLength) {
    using P = std::vector<SplitPiece>;
    EXPECT_EQ(splitPieces("1024,2048", 3000), (P{{0, 1024}, {1024, 2048}, {2048, 3000}}));
    // A point not past the previous cut is skipped; later ones still count.
    EXPECT_EQ(splitPieces("2048,1024", 3000), (P{{0, 2048}, {2048, 3000}}));
    EXPECT_EQ(splitPieces("1000,500,2000", 3000), (P{{0, 1000}, {1000, 2000}, {2000, 3000}}));
    EXPECT_EQ(splitPieces("0,1024,1024,,", 3000), (P{{0, 1024}, {1024, 3000}}));
    // A point past the end stops the list, even before points that would fit.
    EXPECT_EQ(splitPieces("5000", 3000), (P{{0, 3000}}));
    EXPECT_EQ(splitPieces("1000,5000,2000", 3000), (P{{0, 1000}, {1000, 3000}}));
    // A point at the end leaves an empty last piece.
    EXPECT_EQ(splitPieces("3000", 3000), (P{{0, 3000}, {3000, 3000}}));
    // Too many digits for 64 bits is past any end rather than wrapping round.
    EXPECT_EQ(splitPieces("100,99999999999999999999999,200", 3000), (P{{0, 100}, {100, 3000}}));
    EXPECT_EQ(splitPieces("18446744073709551716", 3000), (P{{0, 3000}}));
}

TEST(SplitPoints, PieceNamesGoBeforeTheFileNamesLastDot) {
    EXPECT_EQ(pieceName("/data/fw.bin", {0, 1024}), "/data/fw_0-1023.bin");
    EXPECT_EQ(pieceName("/data/fw.v2.bin", {1024, 2048}), "/data/fw.v2_1024-2047.bin");
    EXPECT_EQ(pieceName("/data/fw.bin", {3000, 3000}), "/data/fw_3000-2999.bin");
    EXPECT_EQ(pieceName("/data/fw.bin", {0, 0}), "/data/fw_0--1.bin");
    // Without a "." in the file name the text goes in front of it, never
    // into a folder's name.
    EXPECT_EQ(pieceName("/data/fw", {0, 10}), "/data/_0-9fw");
    EXPECT_EQ(pieceName("/home/a.b/fw", {0, 10}), "/home/a.b/_0-9fw");
    EXPECT_EQ(pieceName("fw", {0, 10}), "_0-9fw");
    EXPECT_EQ(pieceName("/data/.hidden", {0, 10}), "/data/_0-9.hidden");
    EXPECT_EQ(pieceName("/a.b/c.d/fw.rom", {0, 10}), "/a.b/c.d/fw_0-9.rom");
}

class FileSplitTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir.write("ftext.ini", kTexts);
        dir.write("itext.ini", kTexts);
        texts.loadFrom(dir.folder());
    }
    // The window with its source chosen and the points typed.
    bool splitWith(const std::string& source, const std::string& points) {
        frontend.chooseFile(source);
        tool.browse();
        tool.setPointsText(points);
        return tool.split();
    }
    std::vector<std::string> boxTexts() const {
        std::vector<std::string> out;
        for (const auto& box : frontend.boxes()) {
            EXPECT_EQ(box.caption, "Notice");
            EXPECT_EQ(box.icon, BoxIcon::Information);
            out.push_back(box.text.substr(0, box.text.find('\n')));
        }
        return out;
    }
    std::vector<std::string> pieces() const { return names(dirIn); }

    TempDir dir;    // the texts
    TempDir dirIn;  // the source and its pieces only
    TextTable texts;
    ScriptedFrontend frontend;
    FileSplitTool tool{frontend, texts};
};

TEST_F(FileSplitTest, TheWindowShowsItsTextsAndAskForASourceWithItsFilter) {
    EXPECT_EQ(tool.title(), "Split");
    EXPECT_EQ(tool.openCaption(), "Open");
    EXPECT_EQ(tool.pointsLabel(), "Points:");
    EXPECT_EQ(tool.example(), "Example");
    EXPECT_EQ(tool.okCaption(), "OK");
    EXPECT_EQ(tool.cancelCaption(), "Cancel");
    EXPECT_EQ(tool.sourcePath(), "");

    frontend.cancelDialog();
    tool.browse();
    EXPECT_EQ(tool.sourcePath(), "");
    frontend.chooseFile("/x/fw.bin");
    tool.browse();
    EXPECT_EQ(tool.sourcePath(), "/x/fw.bin");
    const auto dialogs = frontend.dialogs();
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(dialogs[1].dialog.filter, kSplitFilter);
    EXPECT_EQ(dialogs[1].dialog.defaultExtension, ".bin");
    EXPECT_FALSE(dialogs[1].dialog.multiSelect);
}

TEST_F(FileSplitTest, ThreeThousandBytesAtTwoPointsGiveThreePieces) {
    const std::string bytes = pattern(3000);
    const std::string source = dirIn.write("fw.bin", bytes);
    EXPECT_TRUE(splitWith(source, "1024,2048"));

    EXPECT_EQ(dirIn.read("fw_0-1023.bin"), bytes.substr(0, 1024));
    EXPECT_EQ(dirIn.read("fw_1024-2047.bin"), bytes.substr(1024, 1024));
    EXPECT_EQ(dirIn.read("fw_2048-2999.bin"), bytes.substr(2048));
    EXPECT_EQ(dirIn.read("fw.bin"), bytes);
    EXPECT_EQ(pieces(), (std::vector<std::string>{"fw.bin", "fw_0-1023.bin", "fw_1024-2047.bin",
                                                  "fw_2048-2999.bin"}));
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text,
              "split done\n\nfw_0-1023.bin\nfw_1024-2047.bin\nfw_2048-2999.bin");
}

TEST_F(FileSplitTest, ALongListOfPiecesIsCutShortInTheBox) {
    const std::string source = dirIn.write("fw.bin", pattern(30));
    std::string points;
    for (int at = 1; at < 25; ++at)
        points += std::to_string(at) + ",";
    EXPECT_TRUE(splitWith(source, points));
    EXPECT_EQ(pieces().size(), 26u);  // the source and its 25 pieces
    ASSERT_EQ(frontend.boxes().size(), 1u);
    const std::string text = frontend.boxes()[0].text;
    EXPECT_EQ(text.substr(0, text.find('\n')), "split done");
    EXPECT_NE(text.find("\nfw_0-0.bin\n"), std::string::npos);
    EXPECT_NE(text.find("\nfw_19-19.bin\n"), std::string::npos);
    EXPECT_EQ(text.find("fw_20-20.bin"), std::string::npos);
    EXPECT_EQ(text.substr(text.rfind('\n') + 1), "\xE2\x80\xA6 (+5)");
}

TEST_F(FileSplitTest, AFullWidthCommaCutsTheSameAndTheFieldShowsACommaAfterwards) {
    const std::string bytes = pattern(3000);
    const std::string source = dirIn.write("fw.bin", bytes);
    EXPECT_TRUE(splitWith(source,
                          "1024\xEF\xBC\x8C"
                          "2048"));
    EXPECT_EQ(tool.pointsText(), "1024,2048");
    EXPECT_EQ(dirIn.read("fw_1024-2047.bin"), bytes.substr(1024, 1024));
    EXPECT_EQ(dirIn.read("fw_2048-2999.bin"), bytes.substr(2048));
    EXPECT_EQ(pieces().size(), 4u);
}

TEST_F(FileSplitTest, PointsOutOfOrderOrWithATrailingCommaCutOnce) {
    const std::string bytes = pattern(3000);
    const std::string source = dirIn.write("fw.bin", bytes);
    EXPECT_TRUE(splitWith(source, "2048,1024"));
    EXPECT_EQ(pieces(), (std::vector<std::string>{"fw.bin", "fw_0-2047.bin", "fw_2048-2999.bin"}));
    EXPECT_EQ(dirIn.read("fw_2048-2999.bin"), bytes.substr(2048));

    std::filesystem::remove(dirIn.file("fw_0-2047.bin"));
    std::filesystem::remove(dirIn.file("fw_2048-2999.bin"));
    EXPECT_TRUE(splitWith(source, "1024,"));
    EXPECT_EQ(pieces(), (std::vector<std::string>{"fw.bin", "fw_0-1023.bin", "fw_1024-2999.bin"}));
    EXPECT_EQ(dirIn.read("fw_1024-2999.bin"), bytes.substr(1024));
}

TEST_F(FileSplitTest, APointPastTheEndCopiesTheWholeFileAndOneAtTheEndAddsAnEmptyPiece) {
    const std::string bytes = pattern(3000);
    const std::string source = dirIn.write("fw.bin", bytes);
    EXPECT_TRUE(splitWith(source, "5000"));
    EXPECT_EQ(pieces(), (std::vector<std::string>{"fw.bin", "fw_0-2999.bin"}));
    EXPECT_EQ(dirIn.read("fw_0-2999.bin"), bytes);

    EXPECT_TRUE(splitWith(source, "3000"));
    EXPECT_EQ(pieces(), (std::vector<std::string>{"fw.bin", "fw_0-2999.bin", "fw_3000-2999.bin"}));
    EXPECT_EQ(dirIn.read("fw_0-2999.bin"), bytes);
    EXPECT_TRUE(dirIn.exists("fw_3000-2999.bin"));
    EXPECT_EQ(dirIn.read("fw_3000-2999.bin"), "");
    EXPECT_EQ(boxTexts(), (std::vector<std::string>{"split done", "split done"}));
}

TEST_F(FileSplitTest, BadOrMissingPointsAreReportedAndNothingIsWritten) {
    const std::string source = dirIn.write("fw.bin", pattern(3000));
    for (const char* points : {"1024, 2048", " 1024", ",1024", "1024x"}) {
        frontend.clearRecord();
        EXPECT_FALSE(splitWith(source, points)) << points;
        EXPECT_EQ(boxTexts(), std::vector<std::string>{"bad points"}) << points;
    }
    frontend.clearRecord();
    EXPECT_FALSE(splitWith(source, ""));
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"no points"});
    EXPECT_EQ(pieces(), std::vector<std::string>{"fw.bin"});
}

TEST_F(FileSplitTest, WithoutASourceOkDoesNothingAtAll) {
    tool.setPointsText("1024");
    EXPECT_FALSE(tool.split());
    tool.setPointsText("");
    EXPECT_FALSE(tool.split());
    EXPECT_TRUE(frontend.boxes().empty());
}

TEST_F(FileSplitTest, ASourceThatCannotBeOpenedIsReportedWithItsPath) {
    const std::string missing = dirIn.file("gone.bin");
    EXPECT_FALSE(splitWith(missing, "10"));
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"cannot open"});
    EXPECT_NE(frontend.boxes()[0].text.find(missing), std::string::npos);

    frontend.clearRecord();
    std::filesystem::create_directory(dirIn.file("folder.bin"));
    EXPECT_FALSE(splitWith(dirIn.file("folder.bin"), "10"));
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"cannot open"});
    EXPECT_EQ(pieces(), std::vector<std::string>{"folder.bin"});
}

TEST_F(FileSplitTest, APieceThatCannotBeCreatedStopsWithoutSuccessButKeepsEarlierPieces) {
    const std::string bytes = pattern(3000);
    const std::string source = dirIn.write("fw.bin", bytes);
    // A folder where the second piece belongs cannot be opened as a file.
    std::filesystem::create_directory(dirIn.file("fw_1024-2047.bin"));
    EXPECT_FALSE(splitWith(source, "1024,2048"));
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"no piece"});
    EXPECT_NE(frontend.boxes()[0].text.find(dirIn.file("fw_1024-2047.bin")), std::string::npos);
    EXPECT_EQ(dirIn.read("fw_0-1023.bin"), bytes.substr(0, 1024));
    EXPECT_FALSE(dirIn.exists("fw_2048-2999.bin"));
}

TEST_F(FileSplitTest, ALastPieceThatCannotBeCreatedIsAFailureToo) {
    const std::string bytes = pattern(3000);
    const std::string source = dirIn.write("fw.bin", bytes);
    std::filesystem::create_directory(dirIn.file("fw_2048-2999.bin"));
    EXPECT_FALSE(splitWith(source, "1024,2048"));
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"no piece"});
    EXPECT_EQ(dirIn.read("fw_1024-2047.bin"), bytes.substr(1024, 1024));
}

TEST_F(FileSplitTest, APieceNameThatLeadsBackToTheSourceNeverEmptiesIt) {
    const std::string bytes = pattern(3000);
    const std::string source = dirIn.write("fw.bin", bytes);
    std::filesystem::create_hard_link(source, dirIn.file("fw_1024-2999.bin"));
    EXPECT_FALSE(splitWith(source, "1024"));
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"no piece"});
    EXPECT_EQ(dirIn.read("fw.bin"), bytes);
    EXPECT_EQ(dirIn.read("fw_0-1023.bin"), bytes.substr(0, 1024));
}

TEST_F(FileSplitTest, ExistingPiecesAreEmptiedAndADottedFolderKeepsItsName) {
    std::filesystem::create_directory(dirIn.file("v1.2"));
    const std::string bytes = pattern(2500);
    const std::string source = dirIn.write("v1.2/image", bytes);
    dirIn.write("v1.2/_0-99image", std::string(5000, 'x'));
    EXPECT_TRUE(splitWith(source, "100"));
    EXPECT_EQ(dirIn.read("v1.2/_0-99image"), bytes.substr(0, 100));
    EXPECT_EQ(dirIn.read("v1.2/_100-2499image"), bytes.substr(100));
    EXPECT_EQ(pieces(), std::vector<std::string>{"v1.2"});
}

TEST_F(FileSplitTest, APieceThatCannotBeWrittenInFullIsAFailure) {
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full to fill";
    const std::string bytes = pattern(3000);
    const std::string source = dirIn.write("fw.bin", bytes);
    // The second piece's name leads to a device that takes no bytes.
    std::filesystem::create_symlink("/dev/full", dirIn.file("fw_1024-2999.bin"));
    EXPECT_FALSE(splitWith(source, "1024"));
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"no piece"});
    EXPECT_EQ(dirIn.read("fw_0-1023.bin"), bytes.substr(0, 1024));
    EXPECT_EQ(dirIn.read("fw.bin"), bytes);
}

TEST(SplitFile, ReportsThePiecesItWroteInOrder) {
    TempDir dir;
    const std::string source = dir.write("a.rom", pattern(5000));
    const SplitResult result = splitFile(source, "1500,3000");
    EXPECT_EQ(result.status, SplitStatus::Done);
    EXPECT_EQ(result.pieces,
              (std::vector<std::string>{dir.file("a_0-1499.rom"), dir.file("a_1500-2999.rom"),
                                        dir.file("a_3000-4999.rom")}));
    std::string joined;
    for (const std::string& piece : result.pieces)
        joined += dir.read(std::filesystem::path(piece).filename().string());
    EXPECT_EQ(joined, dir.read("a.rom"));
}

}  // namespace
}  // namespace nyra
