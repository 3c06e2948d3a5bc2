// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/text_table.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

using namespace nyra;

namespace {

class TextTableTest : public ::testing::Test {
protected:
    void loadFtext(const std::string& body) {
        table.loadTexts(dir.write("ftext.ini", body), "ftext", kFtextEntries, kFtextBase);
    }
    void loadItext(const std::string& body) {
        table.loadTexts(dir.write("itext.ini", body), "itext", kItextEntries, kItextBase);
    }

    TempDir dir;
    TextTable table;
};

}  // namespace

TEST_F(TextTableTest, StartsEmpty) {
    for (int i = 0; i < kTextSlots; ++i)
        EXPECT_EQ(table.slot(i), "") << i;
}

TEST_F(TextTableTest, CommentAfterValueIsCut) {
    loadFtext("[ftext]\r\n54=Erase ; the erase button\r\n");
    EXPECT_EQ(table.text(ftext(54)), "Erase");
    EXPECT_EQ(table.slot(55), "Erase");
}

TEST_F(TextTableTest, SemicolonInsideValueCutsTheRest) {
    loadFtext("[ftext]\r\n3=Save; or not\r\n");
    EXPECT_EQ(table.text(ftext(3)), "Save");
}

TEST_F(TextTableTest, LeadingBlankOfValueIsKept) {
    loadFtext("[ftext]\r\n9= Erase\r\n");
    EXPECT_EQ(table.text(ftext(9)), " Erase");
}

TEST_F(TextTableTest, FtextKeysStayInsideTheFtextSlots) {
    loadFtext("[ftext]\r\n0=first\r\n137=beyond\r\n500=far\r\nname=x\r\n");
    EXPECT_EQ(table.text(ftext(0)), "first");
    EXPECT_EQ(table.slot(0), "");
    // Neither the key 137 nor the other keys reach the slot of itext 0.
    EXPECT_EQ(table.slot(138), "");
    EXPECT_EQ(table.text(itext(0)), "");
}

TEST_F(TextTableTest, NonNumericKeysStoreNothing) {
    loadFtext("[ftext]\r\nname=x\r\n=y\r\n[0]=z\r\n");
    for (int i = 0; i < kTextSlots; ++i)
        EXPECT_EQ(table.slot(i), "") << i;
}

TEST_F(TextTableTest, AnyBaseInsideTheTableIsFilled) {
    table.loadTexts(dir.write("a.ini", "[s]\r\n0=zero\r\n1=one\r\n"), "s", 2, 0);
    EXPECT_EQ(table.slot(0), "zero");
    EXPECT_EQ(table.slot(1), "one");
    // Keys that would land beyond the last slot are dropped.
    table.loadTexts(dir.write("b.ini", "[s]\r\n0=last\r\n1=past\r\n5=far\r\n"), "s", 10,
                    kTextSlots - 1);
    EXPECT_EQ(table.slot(kTextSlots - 1), "last");
    EXPECT_EQ(table.slot(kTextSlots), "");
}

TEST_F(TextTableTest, KeysMapToTheirSlots) {
    loadFtext("[ftext]\r\n0=first\r\n136=last\r\n137=beyond\r\n");
    loadItext("[itext]\r\n0=i-first\r\n206=i-last\r\n207=beyond\r\n");
    EXPECT_EQ(table.slot(0), "");
    EXPECT_EQ(table.slot(1), "first");
    EXPECT_EQ(table.slot(137), "last");
    EXPECT_EQ(table.slot(138), "i-first");  // ftext 137 did not land here
    EXPECT_EQ(table.slot(344), "i-last");
    EXPECT_EQ(table.text(itext(206)), "i-last");
    EXPECT_EQ(table.text(ftext(137)), "");
    EXPECT_EQ(table.text(itext(207)), "");
    EXPECT_EQ(table.text(ftext(-1)), "");
    EXPECT_EQ(table.slot(kTextSlots), "");
}

TEST_F(TextTableTest, OnlyTheFirstEntriesKeyLinesAreConsidered) {
    std::string body = "[ftext]\r\n; comments and blank lines do not count\r\n\r\n";
    body += "5=early\r\n";  // key line 1
    for (int line = 2; line <= 136; ++line)
        body += "name=x\r\n";  // non-numeric keys count
    body += "7=line137\r\n";   // key line 137: considered
    body += "8=line138\r\n";   // key line 138: not
    for (int line = 139; line <= 150; ++line) {
        body += line == 140 ? "5=late\r\n" : "name=x\r\n";
    }
    loadFtext(body);
    EXPECT_EQ(table.text(ftext(5)), "early");
    EXPECT_EQ(table.text(ftext(7)), "line137");
    EXPECT_EQ(table.text(ftext(8)), "");
}

TEST_F(TextTableTest, LaterDuplicateReplacesEarlierText) {
    loadFtext("[ftext]\r\n4=one\r\n4=two\r\n5=kept\r\n5=\r\n");
    EXPECT_EQ(table.text(ftext(4)), "two");
    EXPECT_EQ(table.text(ftext(5)), "");
}

TEST_F(TextTableTest, OnlyTheFirstSectionOfTheNameIsRead) {
    loadFtext("[ftext]\r\n1=first\r\n[other]\r\n2=other\r\n[ftext]\r\n1=second\r\n3=second\r\n");
    EXPECT_EQ(table.text(ftext(1)), "first");
    EXPECT_EQ(table.text(ftext(2)), "");
    EXPECT_EQ(table.text(ftext(3)), "");
}

TEST_F(TextTableTest, MissingFileOrSectionLeavesTableUnchanged) {
    loadFtext("[ftext]\r\n1=kept\r\n");
    table.loadTexts(dir.file("absent.ini"), "ftext", kFtextEntries, kFtextBase);
    loadFtext("[itext]\r\n1=wrong section\r\n");
    EXPECT_EQ(table.text(ftext(1)), "kept");
}

TEST_F(TextTableTest, ValueNamePartIsStored) {
    loadFtext("[ftext]\r\n2=Open[Ctrl+O]\r\n");
    EXPECT_EQ(table.text(ftext(2)), "Open");
}

TEST_F(TextTableTest, LoadFromReadsBothGbkFiles) {
    dir.write("ftext.ini", "[ftext]\r\n54=\xB2\xC1\xB3\xFD\r\n");
    dir.write("itext.ini", "[itext]\r\n0=\xCE\xC4\xBC\xFE\r\n");
    std::string folder = dir.folder();
    folder.pop_back();  // works without the trailing "/" too
    table.loadFrom(folder);
    EXPECT_EQ(table.text(ftext(54)), "擦除");
    EXPECT_EQ(table.text(itext(0)), "文件");
}

TEST_F(TextTableTest, LoadFromEmptyFolderReadsTheCurrentDirectory) {
    dir.write("ftext.ini", "[ftext]\r\n1=here\r\n");
    const std::filesystem::path previous = std::filesystem::current_path();
    ASSERT_EQ(chdir(dir.folder().c_str()), 0);
    table.loadFrom("");
    std::filesystem::current_path(previous);
    EXPECT_EQ(table.text(ftext(1)), "here");
}

TEST_F(TextTableTest, LoadFromReadsUtf8File) {
    dir.write("ftext.ini", "[ftext]\r\n30=提示音\r\n");
    table.loadFrom(dir.folder());
    EXPECT_EQ(table.text(ftext(30)), "提示音");
}
