// SPDX-License-Identifier: GPL-3.0-or-later
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

TEST(TextCodec, ValidUtf8AcceptsEachRangeUpToItsEdges) {
    for (const char* text : {
             "\x7F",                                  // last one-byte character
             "\xC2\x80", "\xC3\xA9", "\xDF\xBF",      // two bytes
             "\xE0\xA0\x80", "\xE1\x80\x80",          // first three-byte forms
             "\xED\x9F\xBF", "\xEE\x80\x80",          // around the surrogates
             "\xEF\xBF\xBF", "\xE6\x96\xBF",          // highest trail bytes
             "\xF0\x90\x80\x80", "\xF1\x80\x80\x80",  // first four-byte forms
             "\xF4\x8F\xBF\xBF",                      // U+10FFFF
         }) {
        EXPECT_TRUE(isValidUtf8(text)) << testing::PrintToString(std::string(text));
        EXPECT_TRUE(isValidUtf8(std::string(text) + "a")) << "followed by ASCII";
    }
}

TEST(TextCodec, ValidUtf8RejectsEachRangeJustPastItsEdges) {
    for (const char* text : {
             "\x80", "\xBF", "\xFF",                  // no lead byte
             "\xC1\xBF",                              // overlong two-byte form
             "\xC2\x7F", "\xC2\xC0", "\xC2\x41",      // bad second byte ("A")
             "\xE0\x9F\xBF",                          // overlong three-byte form
             "\xE6\x96\x41", "\xE6\x96\xC0",          // bad third byte
             "\xF0\x8F\xBF\xBF",                      // overlong four-byte form
             "\xF4\x90\x80\x80", "\xF5\x80\x80\x80",  // beyond U+10FFFF
             "ok\xE6",                                // lead byte at the end
         }) {
        EXPECT_FALSE(isValidUtf8(text)) << testing::PrintToString(std::string(text));
    }
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

TEST(TextCodec, LongTextConvertsWhole) {
    // Longer than one conversion buffer in both directions.
    std::string gbk;
    std::string utf8;
    for (int i = 0; i < 6000; ++i) {
        gbk += i % 2 ? "\xB2\xC1" : "a";
        utf8 += i % 2 ? "擦" : "a";
    }
    EXPECT_EQ(gbkToUtf8(gbk), utf8);
    EXPECT_EQ(utf8ToGbk(utf8), gbk);
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
