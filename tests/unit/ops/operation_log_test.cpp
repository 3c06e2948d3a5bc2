// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/operation_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace nyra {
namespace {

class OperationLogTest : public ::testing::Test {
protected:
    OperationLogTest() {
        dir.write("log.txt", "");
        log.setFilePath(dir.file("log.txt"));
    }
    std::vector<std::string> view() const { return model.snapshot().lines; }
    std::string file() const { return dir.read("log.txt"); }

    TempDir dir;
    LogModel model;
    VirtualClock clock{{2026, 1, 2, 9, 5, 3, 0}};
    OperationLog log{model, clock};
};

TEST(OperationLogPrefix, HourHasNoLeadingZeroAndTwoSpacesFollow) {
    struct Case {
        int hour, minute, second;
        const char* prefix;
    };
    const Case cases[] = {
        {9, 5, 3, "9:05:03  "},    {12, 0, 0, "12:00:00  "}, {0, 0, 0, "0:00:00  "},
        {23, 59, 9, "23:59:09  "}, {1, 10, 0, "1:10:00  "},
    };
    for (const Case& c : cases) {
        const LocalTime time{2026, 6, 30, c.hour, c.minute, c.second, 999};
        EXPECT_EQ(OperationLog::timePrefix(time), c.prefix) << c.hour << ":" << c.minute;
    }
}

TEST_F(OperationLogTest, LineGoesToTheViewWithTheTimeAndToTheFileWithTheDate) {
    log.line("first");
    EXPECT_EQ(model.text(), "9:05:03  first");
    EXPECT_EQ(file(), "\r\n2026\\01\\02 09:05:03\tfirst");

    clock.advance((2 * 3600 + 54 * 60 + 57) * 1000);  // 12:00:00
    log.line("noon");
    EXPECT_EQ(view(), (std::vector<std::string>{"9:05:03  first", "12:00:00  noon"}));
    EXPECT_EQ(model.text(), "9:05:03  first\r\n12:00:00  noon");
    EXPECT_EQ(file(), "\r\n2026\\01\\02 09:05:03\tfirst\r\n2026\\01\\02 12:00:00\tnoon");

    // Past midnight the file's date moves on.
    clock.advance(12 * 3600 * 1000 + 61 * 1000);
    log.fileLine("late");
    EXPECT_TRUE(file().ends_with("\r\n2026\\01\\03 00:01:01\tlate")) << file();
    EXPECT_EQ(view().size(), 2u) << "a file line is not shown";
}

TEST_F(OperationLogTest, FileLineIsWrittenBeforeTheViewChanges) {
    std::vector<std::string> fileAtChange;
    auto [token, snapshot] =
        model.subscribe([&](const LogChange&) { fileAtChange.push_back(file()); });
    EXPECT_TRUE(snapshot.lines.empty());
    log.line("one");
    log.line("one");
    ASSERT_EQ(fileAtChange.size(), 2u);
    EXPECT_TRUE(fileAtChange[0].ends_with("\tone"));
    EXPECT_EQ(fileAtChange[1], file()) << "both file lines were there when the view changed";
    model.unsubscribe(token);
}

TEST_F(OperationLogTest, RepeatedTextReplacesTheLastViewLineButTheFileKeepsEveryLine) {
    log.line("Busy");
    clock.advance(2000);
    log.line("Busy");
    EXPECT_EQ(view(), std::vector<std::string>{"9:05:05  Busy"});
    EXPECT_EQ(file(), "\r\n2026\\01\\02 09:05:03\tBusy\r\n2026\\01\\02 09:05:05\tBusy");

    // Only the last text counts: a text seen earlier is a new line.
    log.line("Idle");
    log.line("Busy");
    EXPECT_EQ(view(),
              (std::vector<std::string>{"9:05:05  Busy", "9:05:05  Idle", "9:05:05  Busy"}));
    EXPECT_EQ(model.text(), "9:05:05  Busy\r\n9:05:05  Idle\r\n9:05:05  Busy");
}

TEST_F(OperationLogTest, ClearEmptiesTheViewAndMarksTheFile) {
    log.line("a");
    log.line("b");
    const std::string before = file();
    log.clear();
    EXPECT_EQ(model.lineCount(), 0u);
    EXPECT_EQ(model.text(), "");
    EXPECT_EQ(file(), before + "\r\n2026\\01\\02 09:05:03\t\r\n");

    // The next line is the first one, even when it repeats the text before the clear.
    clock.advance(1000);
    log.line("b");
    EXPECT_EQ(model.text(), "9:05:04  b");
    log.line("c");
    EXPECT_EQ(model.text(), "9:05:04  b\r\n9:05:04  c");
}

TEST_F(OperationLogTest, MissingOrUnwritableLogFileIsSkippedSilently) {
    std::filesystem::remove(dir.file("log.txt"));
    log.line("no file");
    log.clear();
    log.dataFile("/x/rom.bin", 10);
    EXPECT_FALSE(dir.exists("log.txt")) << "the log file is created at start-up only";
    EXPECT_EQ(view().size(), 1u);

    const std::string unwritable[] = {dir.folder(), dir.file("missing/log.txt"), ""};
    for (const std::string& path : unwritable) {
        log.setFilePath(path);
        log.line("still shown " + path);
        EXPECT_EQ(model.lastLine(), "9:05:03  still shown " + path);
    }
    EXPECT_FALSE(dir.exists("missing"));
}

TEST_F(OperationLogTest, DataFileLogsItsNameAndSizeInKilobytes) {
    struct Case {
        const char* path;
        std::uint64_t bytes;
        const char* text;
    };
    const Case cases[] = {
        {"/home/user/rom.bin", 1536, "rom.bin 1.50KB"},
        {"C:\\chips\\dump.hex", 0, "dump.hex 0.00KB"},
        {"a\\b/c.bin", 1024 * 1024, "c.bin 1024.00KB"},
        {"a/b\\d.bin", 100, "d.bin 0.10KB"},
        {"plain.bin", 8u << 20, "plain.bin 8192.00KB"},
    };
    for (const Case& c : cases) {
        log.dataFile(c.path, c.bytes);
        EXPECT_EQ(model.lastLine(), std::string("9:05:03  ") + c.text) << c.path;
        EXPECT_TRUE(file().ends_with(std::string("\t") + c.text)) << c.path;
    }
    EXPECT_EQ(sizeText(1536), "1.50KB");
    EXPECT_EQ(sizeText(0), "0.00KB");
}

}  // namespace
}  // namespace nyra
