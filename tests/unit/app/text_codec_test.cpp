#include "app/text_codec.h"

#include <gtest/gtest.h>

#include <string>

using namespace nyra;
using namespace std::string_literals;

TEST(TextCodec, ValidUtf8AcceptsWellFormedText) {
    EXPECT_TRUE(isValidUtf8(""));
    EXPECT_TRUE(isValidUtf8("plain ascii\r\n"));
    EXPECT_TRUE(isValidUtf8("擦除 \xF0\x9F\x98\x80"));
}

TEST(TextCodec, ValidUtf8RejectsMalformedText) {
    EXPECT_FALSE(isValidUtf8("\xC0\x80"));          // overlong NUL
    EXPECT_FALSE(isValidUtf8("\xE0\x80\xAF"));      // overlong "/"
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
    EXPECT_FALSE(isValidUtf8("\xE6\x93"));          // cut off
    EXPECT_FALSE(isValidUtf8("\xB2\xC1\xB3\xFD"));  // GBK 擦除
}

TEST(TextCodec, GbkDecodesToUtf8) {
    EXPECT_EQ(gbkToUtf8("\xB2\xC1\xB3\xFD"), "擦除");
    EXPECT_EQ(gbkToUtf8("A\xCC\xE1\xCA\xBE\xD2\xF4"
                        "B"),
              "A提示音B");
    // Trail bytes equal to "[" and "]" belong to their characters.
    EXPECT_EQ(gbkToUtf8("\xB0\x5B\xB0\x5D"), "癧癩");
}

TEST(TextCodec, InvalidGbkBytesAreReplacedAndDecodingGoesOn) {
    EXPECT_EQ(gbkToUtf8("\xFF"
                        "A\xB2\xC1"),
              "\xEF\xBF\xBD"
              "A擦");
    // A lead byte cut off at the end of the text.
    EXPECT_EQ(gbkToUtf8("ok\xB2"), "ok\xEF\xBF\xBD");
    // An invalid pair loses only its lead byte; the ASCII byte after it stays.
    EXPECT_EQ(gbkToUtf8("\xB2"
                        "1"),
              "\xEF\xBF\xBD"
              "1");
    EXPECT_EQ(gbkToUtf8("a\0b"s), "a\0b"s);
}

TEST(TextCodec, Utf8EncodesToGbk) {
    EXPECT_EQ(utf8ToGbk("擦除.bin"), "\xB2\xC1\xB3\xFD.bin");
    EXPECT_EQ(gbkToUtf8(utf8ToGbk("文件复制到内存失败")), "文件复制到内存失败");
}

TEST(TextCodec, Utf8ThatGbkCannotHoldBecomesQuestionMarks) {
    EXPECT_EQ(utf8ToGbk("a\xF0\x9F\x98\x80"
                        "b"),
              "a?b");  // emoji: one "?" for four bytes
    EXPECT_EQ(utf8ToGbk("a\xFF"
                        "b"),
              "a?b");  // invalid UTF-8 byte
}

TEST(TextCodec, TextFileIsUtf8WhenValidElseGbk) {
    EXPECT_EQ(textFileToUtf8("擦除"), "擦除");
    EXPECT_EQ(textFileToUtf8("\xEF\xBB\xBF[ftext]"), "[ftext]");
    EXPECT_EQ(textFileToUtf8("\xB2\xC1\xB3\xFD"), "擦除");
    // One GBK character makes the whole file GBK, even beside valid UTF-8 bytes.
    EXPECT_EQ(textFileToUtf8("\xE6\x96\x87|\xB2\xC1"), gbkToUtf8("\xE6\x96\x87|\xB2\xC1"));
}
