// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/text_language.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/text_codec.h"
#include "app/text_table.h"
#include "support/temp_dir.h"

using namespace nyra;

namespace {

class TextLanguageTest : public ::testing::Test {
protected:
    // Writes both files as the shipped sets are written: GBK, CR LF.
    std::string languageOf(const std::string& ftextBody, const std::string& itextBody) {
        dir.write("ftext.ini", utf8ToGbk("[ftext]\r\n" + ftextBody));
        dir.write("itext.ini", utf8ToGbk("[itext]\r\n" + itextBody));
        TextTable table;
        table.loadFrom(dir.folder());
        return textLanguage(table);
    }

    TempDir dir;
};

TEST(LocaleName, OnlyPlainLanguageAndRegionLettersAreAccepted) {
    for (const char* good : {"zh_CN", "en", "de", "pt_BR", "fil"})
        EXPECT_TRUE(isLocaleName(good)) << good;
    for (const char* bad : {"", "e", "english", "zh_cn", "ZH_CN", "zh-CN", "zh_CNX", "zh_", "zh CN",
                            "../zh_CN", "zh_CN.qm", "zh_CN/", "en\n"})
        EXPECT_FALSE(isLocaleName(bad)) << bad;
}

TEST_F(TextLanguageTest, TheSetNamesItsOwnLanguage) {
    EXPECT_EQ(languageOf("42=器件信息\r\n62=zh_CN\r\n", "9=提示\r\n"), "zh_CN");
    // The name wins over what the texts look like.
    EXPECT_EQ(languageOf("42=器件信息\r\n62=ja\r\n", ""), "ja");
    EXPECT_EQ(languageOf("42=Device\r\n62=en\r\n", "9=Notice\r\n"), "en");
}

TEST_F(TextLanguageTest, ChineseTextsWithoutANameAreSimplifiedChinese) {
    // Only a message holds Chinese; every caption is Latin.
    EXPECT_EQ(languageOf("42=Device\r\n", "9=Notice\r\n118=文件不存在\r\n"), "zh_CN");
    // A set that fills the key with something unusable is judged by its texts.
    EXPECT_EQ(languageOf("42=器件信息\r\n62=../../tmp/x\r\n", ""), "zh_CN");
}

TEST_F(TextLanguageTest, LatinTextsWithoutAUsableNameLeaveTheLanguageOpen) {
    EXPECT_EQ(languageOf("42=Device\r\n", "9=Notice\r\n"), "");
    EXPECT_EQ(languageOf("42=Gerät\r\n62=de_DE.qm\r\n", "9=Größe — ±½\r\n"), "");
    // No text files at all.
    TextTable empty;
    EXPECT_EQ(textLanguage(empty), "");
}

TEST_F(TextLanguageTest, TextsTheFilesLackFollowTheSetsLanguage) {
    const struct {
        const char* ftext;
        const char* expected;
    } cases[] = {{"62=zh_CN\r\n", "文件名:"},    {"62=zh_TW\r\n", "文件名:"},
                 {"42=器件信息\r\n", "文件名:"}, {"62=en\r\n", "File name:"},
                 {"62=de\r\n", "File name:"},    {"", "File name:"}};
    for (const auto& c : cases) {
        dir.write("ftext.ini", utf8ToGbk(std::string("[ftext]\r\n") + c.ftext));
        dir.write("itext.ini", "[itext]\r\n");
        TextTable table;
        table.loadFrom(dir.folder());
        EXPECT_EQ(inTextLanguage(table, "文件名:", "File name:"), c.expected) << c.ftext;
    }
}

TEST(ShippedTextSets, NameTheirLanguage) {
    const char* binaryDir = std::getenv("NYRA_TEST_BINARY_DIR");
    if (!binaryDir)
        GTEST_SKIP() << "NYRA_TEST_BINARY_DIR is not set";
    const std::filesystem::path demo = std::filesystem::path(binaryDir) / "demo";
    if (!std::filesystem::exists(demo / "ftext.ini"))
        GTEST_SKIP() << "no demo folder in " << binaryDir;

    TextTable chinese;
    chinese.loadFrom(demo.string());
    EXPECT_EQ(textLanguage(chinese), "zh_CN");
    EXPECT_FALSE(chinese.text(kAboutTextKey).empty());

    TextTable english;
    english.loadFrom((demo / "lang" / "en").string());
    EXPECT_EQ(textLanguage(english), "en");
    EXPECT_FALSE(english.text(kAboutTextKey).empty());
    EXPECT_NE(english.text(kAboutTextKey), chinese.text(kAboutTextKey));
}

}  // namespace
