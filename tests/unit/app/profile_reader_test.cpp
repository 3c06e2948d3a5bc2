// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/profile_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "support/open_descriptors.h"
#include "support/temp_dir.h"

using namespace nyra;

namespace {

// All key lines of a section as "key=value" (value name part).
std::vector<std::string> keyLines(std::string_view file, std::string_view section) {
    ProfileReader reader;
    reader.loadFromMemory(file);
    std::vector<std::string> out;
    if (!reader.findSection(section))
        return out;
    while (reader.nextKeyLine())
        out.push_back(reader.line().keyName + "=" + reader.value());
    return out;
}

}  // namespace

TEST(ProfileLineParse, CommentIsCutAndBlanksBeforeItTrimmed) {
    const ProfileLine line = parseProfileLine("  54=Erase   ; the erase button");
    EXPECT_EQ(line.text, "54=Erase");
    EXPECT_EQ(line.keyName, "54");
    EXPECT_EQ(line.valueName, "Erase");
    EXPECT_EQ(line.kind, ProfileLine::kKeyName | ProfileLine::kValue);
}

TEST(ProfileLineParse, SemicolonInsideValueCutsTheRest) {
    EXPECT_EQ(parseProfileLine("3=Yes;No").valueName, "Yes");
}

TEST(ProfileLineParse, KeyAndValueAreNotTrimmedAgain) {
    const ProfileLine line = parseProfileLine("9 = Erase");
    EXPECT_EQ(line.keyName, "9 ");
    EXPECT_EQ(line.valueName, " Erase");
}

TEST(ProfileLineParse, SplitsAtFirstEquals) {
    const ProfileLine line = parseProfileLine("1=a=b");
    EXPECT_EQ(line.keyName, "1");
    EXPECT_EQ(line.valueName, "a=b");
}

TEST(ProfileLineParse, LineWithoutEqualsIsAKeyWithEmptyValue) {
    const ProfileLine line = parseProfileLine("lonely");
    EXPECT_EQ(line.keyName, "lonely");
    EXPECT_EQ(line.valueName, "");
    EXPECT_EQ(line.kind, ProfileLine::kKeyName);
}

TEST(ProfileLineParse, EmptyAndCommentOnlyLinesHaveKindZero) {
    EXPECT_EQ(parseProfileLine("").kind, 0u);
    EXPECT_EQ(parseProfileLine(" \t ; note").kind, 0u);
    EXPECT_EQ(parseProfileLine(" \t ; note").text, "");
}

TEST(ProfileLineParse, SectionHeaderNeedsThreeCharacters) {
    const ProfileLine header = parseProfileLine("  [ftext]  ; texts", "old");
    EXPECT_EQ(header.kind, ProfileLine::kSection);
    EXPECT_EQ(header.section, "ftext");

    const ProfileLine tiny = parseProfileLine("[]", "old");
    EXPECT_NE(tiny.kind, ProfileLine::kSection);
    EXPECT_EQ(tiny.section, "old");

    EXPECT_EQ(parseProfileLine("[x]").section, "x");
    // Starts with "[" but does not end with "]": a key line with a subscript.
    const ProfileLine keyed = parseProfileLine("[a]=b");
    EXPECT_EQ(keyed.kind, ProfileLine::kKeySubscript | ProfileLine::kValue);
    EXPECT_EQ(keyed.keyName, "");
    EXPECT_EQ(keyed.keySubscript, "a");
}

TEST(ProfileLineParse, SubscriptsAndKindMask) {
    const ProfileLine line = parseProfileLine("k[1]=v[2]");
    EXPECT_EQ(line.keyName, "k");
    EXPECT_EQ(line.keySubscript, "1");
    EXPECT_EQ(line.valueName, "v");
    EXPECT_EQ(line.valueSubscript, "2");
    EXPECT_EQ(line.kind, 1u | 2u | 4u | 8u);

    // The subscript is the text after "[" without the last character.
    EXPECT_EQ(parseProfileLine("0=a[1]x").valueSubscript, "1]");
    // Only "[" without "]": no split.
    EXPECT_EQ(parseProfileLine("0=a[1").valueName, "a[1");
    // The stored text is the name part: a value "[x]" has an empty name.
    const ProfileLine onlySub = parseProfileLine("0=[x]");
    EXPECT_EQ(onlySub.valueName, "");
    EXPECT_EQ(onlySub.kind, ProfileLine::kKeyName | ProfileLine::kValueSubscript);
}

TEST(ProfileLineParse, LastCharacterOfASubscriptIsAWholeUtf8Character) {
    const ProfileLine line = parseProfileLine("0=名[子]字");
    EXPECT_EQ(line.valueName, "名");
    EXPECT_EQ(line.valueSubscript, "子]");
}

TEST(ProfileLineParse, SubscriptDropsAWholeWideLastCharacter) {
    // A "]" anywhere in the value makes the text after "[" a subscript.
    const ProfileLine one = parseProfileLine("0=]x[字");
    EXPECT_EQ(one.valueName, "]x");
    EXPECT_EQ(one.valueSubscript, "");
    EXPECT_EQ(one.kind, ProfileLine::kKeyName | ProfileLine::kValue);
    EXPECT_EQ(parseProfileLine("0=]x[b\xF0\x9F\x98\x80").valueSubscript, "b");
    EXPECT_EQ(parseProfileLine("0=]x[bé").valueSubscript, "b");
}

TEST(ProfileReader, FindsSectionExactlyAndReadsItsKeyLines) {
    const std::string file =
        "; head\r\n[FTEXT]\r\n0=upper\r\n[ftext]\r\n0=Open\r\n\r\n  ; note\r\n1=Save\r\n"
        "[itext]\r\n0=Other\r\n";
    EXPECT_EQ(keyLines(file, "ftext"), (std::vector<std::string>{"0=Open", "1=Save"}));
    EXPECT_EQ(keyLines(file, "FTEXT"), (std::vector<std::string>{"0=upper"}));
    EXPECT_EQ(keyLines(file, "itext"), (std::vector<std::string>{"0=Other"}));
    EXPECT_TRUE(keyLines(file, "Ftext").empty());
}

TEST(ProfileReader, FindsOnlyTheFirstSectionOfAName) {
    const std::string file = "[ftext]\r\n0=first\r\n[ftext]\r\n0=second\r\n1=more\r\n";
    EXPECT_EQ(keyLines(file, "ftext"), (std::vector<std::string>{"0=first"}));
}

TEST(ProfileReader, NextKeyLineStaysFalseAtTheNextSection) {
    ProfileReader reader;
    reader.loadFromMemory("[a]\r\n1=x\r\n[b]\r\n2=y\r\n");
    ASSERT_TRUE(reader.findSection("a"));
    EXPECT_EQ(reader.line().kind, ProfileLine::kSection);
    ASSERT_TRUE(reader.nextKeyLine());
    EXPECT_EQ(reader.line().section, "a");
    EXPECT_FALSE(reader.nextKeyLine());
    EXPECT_FALSE(reader.nextKeyLine());
    EXPECT_EQ(reader.value(), "");
    ASSERT_TRUE(reader.findSection("b"));
    ASSERT_TRUE(reader.nextKeyLine());
    EXPECT_EQ(reader.value(), "y");
}

TEST(ProfileReader, NextKeyLineWithoutSectionIsFalse) {
    ProfileReader reader;
    reader.loadFromMemory("1=x\r\n");
    EXPECT_FALSE(reader.nextKeyLine());
    EXPECT_FALSE(reader.findSection("a"));
    EXPECT_FALSE(reader.nextKeyLine());
}

TEST(ProfileReader, BareLfRunsOnIntoTheNextLine) {
    // The line is read up to its CR: the LF and what follows stay in it.
    EXPECT_EQ(keyLines("[s]\r\n1=a\n2=b\r\n3=c\r\n", "s"),
              (std::vector<std::string>{"1=a\n2=b", "3=c"}));
    // A file with LF line ends only is one line: no section in it.
    EXPECT_TRUE(keyLines("[s]\n1=a\n", "s").empty());
    // The LF is white space when it ends up at the end of a line.
    EXPECT_EQ(keyLines("[s]\r\n1=a\n\r\n", "s"), (std::vector<std::string>{"1=a"}));
}

TEST(ProfileReader, CrWithoutLfEndsTheLineAndLosesNoCharacter) {
    EXPECT_EQ(keyLines("[s]\r1=a\r2=b", "s"), (std::vector<std::string>{"1=a", "2=b"}));
}

TEST(ProfileReader, LastLineWithoutLineEndIsRead) {
    EXPECT_EQ(keyLines("[s]\r\n7=end", "s"), (std::vector<std::string>{"7=end"}));
}

TEST(ProfileReader, NumericKeyIsAllDigitsAndAtMostNine) {
    const auto numeric = [](std::string_view key, int& number) {
        ProfileReader reader;
        reader.loadFromMemory("[s]\r\n" + std::string(key) + "=v\r\n");
        EXPECT_TRUE(reader.findSection("s"));
        EXPECT_TRUE(reader.nextKeyLine());
        return reader.numericKey(number);
    };
    int n = -1;
    EXPECT_TRUE(numeric("54", n));
    EXPECT_EQ(n, 54);
    EXPECT_TRUE(numeric("007", n));
    EXPECT_EQ(n, 7);
    EXPECT_TRUE(numeric("999999999", n));
    EXPECT_EQ(n, 999999999);
    n = -1;
    EXPECT_FALSE(numeric("1234567890", n));  // would overflow a 32-bit fold
    EXPECT_FALSE(numeric("5a", n));          // the fold would give 99
    EXPECT_FALSE(numeric("5 ", n));          // the fold would give 34
    EXPECT_FALSE(numeric("a5", n));
    EXPECT_FALSE(numeric("-5", n));
    EXPECT_FALSE(numeric("５", n));  // full-width digit
    EXPECT_FALSE(numeric("", n));    // "=v": no key name at all
    EXPECT_EQ(n, -1);
    EXPECT_TRUE(numeric("5[x]", n));  // the key name part is "5"
    EXPECT_EQ(n, 5);
}

TEST(ProfileReader, DecodesGbkFileBeforeParsing) {
    // 癧 is B0 5B and 癩 is B0 5D in GBK: read raw, the value would split at them.
    const std::string gbk = "[ftext]\r\n0=\xB2\xC1\xB3\xFD\r\n1=\xB0\x5Bx\xB0\x5D\r\n";
    ProfileReader reader;
    reader.loadFromMemory(gbk);
    ASSERT_TRUE(reader.findSection("ftext"));
    ASSERT_TRUE(reader.nextKeyLine());
    EXPECT_EQ(reader.value(), "擦除");
    ASSERT_TRUE(reader.nextKeyLine());
    EXPECT_EQ(reader.value(), "癧x癩");
    EXPECT_EQ(reader.line().kind, ProfileLine::kKeyName | ProfileLine::kValue);
}

TEST(ProfileReader, GbkSectionNameIsDecoded) {
    EXPECT_EQ(keyLines("[\xCE\xC4\xBC\xFE]\r\n1=a\r\n", "文件"), (std::vector<std::string>{"1=a"}));
}

TEST(ProfileReader, KeepsUtf8FileAndSkipsItsBom) {
    EXPECT_EQ(keyLines("\xEF\xBB\xBF[ftext]\r\n0=擦除\r\n", "ftext"),
              (std::vector<std::string>{"0=擦除"}));
}

TEST(ProfileReader, InvalidGbkByteDoesNotLoseTheFile) {
    EXPECT_EQ(keyLines("[s]\r\n1=\xFF\xB2\xC1\r\n2=ok\r\n", "s"),
              (std::vector<std::string>{"1=\xEF\xBF\xBD擦", "2=ok"}));
}

TEST(ProfileReader, LoadsFileLargerThanOneReadPiece) {
    TempDir dir;
    std::string file = "[s]\r\n";
    while (file.size() < 3 * ProfileReader::kReadPiece)
        file += "; padding padding padding\r\n";
    file += "1=\xB2\xC1\r\n";
    const std::string path = dir.write("big.ini", file);
    ProfileReader reader;
    ASSERT_TRUE(reader.load(path));
    ASSERT_TRUE(reader.findSection("s"));
    ASSERT_TRUE(reader.nextKeyLine());
    EXPECT_EQ(reader.value(), "擦");
}

TEST(ProfileReader, MissingFileOrDirectoryIsFalseWithoutMessage) {
    TempDir dir;
    std::vector<std::string> messages;
    ProfileReader reader([&](const std::string& m) { messages.push_back(m); });
    EXPECT_FALSE(reader.load(dir.file("absent.ini")));
    EXPECT_FALSE(reader.load(dir.folder()));
    EXPECT_TRUE(messages.empty());
}

TEST(ProfileReader, FifoIsRefusedWithoutWaitingForAWriter) {
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("fifo.ini").c_str(), 0600), 0);
    ProfileReader reader;
    EXPECT_FALSE(reader.load(dir.file("fifo.ini")));
}

TEST(ProfileReader, EmptyFileLoadsWithNothingInIt) {
    TempDir dir;
    ProfileReader reader;
    EXPECT_TRUE(reader.load(dir.write("empty.ini", "")));
    EXPECT_FALSE(reader.findSection("s"));
}

TEST(ProfileReader, LastByteAfterAFullReadPieceIsKept) {
    TempDir dir;
    const std::string head = "[s]\r\n;";
    const std::string tail = "\r\n1=ab";
    const std::string file =
        head + std::string(ProfileReader::kReadPiece + 1 - head.size() - tail.size(), 'x') + tail;
    ASSERT_EQ(file.size(), ProfileReader::kReadPiece + 1);
    ProfileReader reader;
    ASSERT_TRUE(reader.load(dir.write("t.ini", file)));
    ASSERT_TRUE(reader.findSection("s"));
    ASSERT_TRUE(reader.nextKeyLine());
    EXPECT_EQ(reader.value(), "ab");
}

TEST(ProfileReader, FileShorterThanItsReportedSizeIsNotPadded) {
    // A descriptor already past its first bytes delivers fewer bytes than the
    // file's size, as a file cut short during the read does.
    TempDir dir;
    const std::string path = dir.write("t.ini", "XXXX[s]\r\n1=ab");
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::lseek(fd, 4, SEEK_SET), 4);
    std::vector<std::string> messages;
    ProfileReader reader([&](const std::string& m) { messages.push_back(m); });
    EXPECT_TRUE(reader.loadFromDescriptor(fd));
    ::close(fd);
    EXPECT_TRUE(messages.empty());
    ASSERT_TRUE(reader.findSection("s"));
    ASSERT_TRUE(reader.nextKeyLine());
    EXPECT_EQ(reader.value(), "ab");
}

TEST(ProfileReader, FileOfExactlyTheSizeLimitIsRead) {
    TempDir dir;
    const std::string path = dir.write("limit.ini", "[s]\r\n1=a\r\n");
    ASSERT_EQ(truncate(path.c_str(), ProfileReader::kMaxFileBytes), 0);  // sparse
    ProfileReader reader;
    ASSERT_TRUE(reader.load(path));
    ASSERT_TRUE(reader.findSection("s"));
    ASSERT_TRUE(reader.nextKeyLine());
    EXPECT_EQ(reader.value(), "a");
}

TEST(ProfileReader, RefusesHugeFile) {
    TempDir dir;
    const std::string path = dir.write("huge.ini", "[s]\r\n1=a\r\n");
    ASSERT_EQ(truncate(path.c_str(), ProfileReader::kMaxFileBytes + 1), 0);  // sparse
    ProfileReader reader;
    EXPECT_FALSE(reader.load(path));
    EXPECT_FALSE(reader.findSection("s"));
}

TEST(ProfileReader, ReadErrorShowsMessageWithErrorNumber) {
    TempDir dir;
    const std::string path = dir.write("t.ini", "[s]\r\n1=a\r\n");
    const int fd = ::open(path.c_str(), O_WRONLY);  // reading it fails with EBADF
    ASSERT_GE(fd, 0);
    std::vector<std::string> messages;
    ProfileReader reader([&](const std::string& m) { messages.push_back(m); });
    EXPECT_FALSE(reader.loadFromDescriptor(fd));
    ::close(fd);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "文件复制到内存失败！ \r\n错误代码：#" + std::to_string(EBADF));
    EXPECT_FALSE(reader.findSection("s"));
}

TEST(ProfileReader, FailedLoadForgetsTheFileBefore) {
    TempDir dir;
    ProfileReader reader;
    reader.loadFromMemory("[s]\r\n1=a\r\n");
    EXPECT_FALSE(reader.load(dir.file("absent.ini")));
    EXPECT_FALSE(reader.findSection("s"));

    reader.loadFromMemory("[s]\r\n1=a\r\n");
    const int fd = ::open(dir.folder().c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(reader.loadFromDescriptor(fd));
    ::close(fd);
    EXPECT_FALSE(reader.findSection("s"));
}

TEST(ProfileReader, NewContentStartsOutsideAnySection) {
    ProfileReader reader;
    reader.loadFromMemory("[s]\r\n1=a\r\n2=b\r\n");
    ASSERT_TRUE(reader.findSection("s"));
    ASSERT_TRUE(reader.nextKeyLine());
    reader.loadFromMemory("[t]\r\n1=x\r\n2=y\r\n3=z\r\n");
    EXPECT_FALSE(reader.nextKeyLine());
    EXPECT_EQ(reader.line().kind, 0u);
    ASSERT_TRUE(reader.findSection("t"));
    ASSERT_TRUE(reader.nextKeyLine());
    EXPECT_EQ(reader.value(), "x");
}

TEST(ProfileReader, LoadLeavesNoDescriptorOpen) {
    TempDir dir;
    const std::string path = dir.write("t.ini", "[s]\r\n1=a\r\n");
    const int before = openDescriptorCount();
    ProfileReader reader;
    EXPECT_TRUE(reader.load(path));
    EXPECT_FALSE(reader.load(dir.folder()));
    EXPECT_EQ(openDescriptorCount(), before);
}

TEST(ProfileReader, LoadsThroughDescriptorZero) {
    TempDir dir;
    const std::string path = dir.write("t.ini", "[s]\r\n1=a\r\n");
    ProfileReader reader;
    {
        const StandardInputClosed noInput;
        ASSERT_TRUE(reader.load(path));
    }
    ASSERT_TRUE(reader.findSection("s"));
    ASSERT_TRUE(reader.nextKeyLine());
    EXPECT_EQ(reader.value(), "a");
}

TEST(ProfileReader, CloseFreesTheFile) {
    ProfileReader reader;
    reader.loadFromMemory("[s]\r\n1=a\r\n");
    ASSERT_TRUE(reader.findSection("s"));
    reader.close();
    EXPECT_FALSE(reader.nextKeyLine());
    EXPECT_FALSE(reader.findSection("s"));
}
