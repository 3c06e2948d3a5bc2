// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer/file_saver.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "buffer/change_log.h"
#include "unit/buffer/loader_fixture.h"

namespace nyra {
namespace {

using namespace ids;

const std::string kBegin =
    "\r\n---------------------------------------BEGIN---------------------------------------\r\n";
const std::string kEnd =
    "----------------------------------------END----------------------------------------";

class FileSaverTest : public testing::FileLoaderTest {
protected:
    VirtualClock clock{{2024, 3, 9, 7, 5, 4, 0}};
    FileSaver saver{loader, data, panel, frontend, texts, window, clock};
};

TEST(ChangeLog, LinesAreZeroFilledHexAndNullPastTheEnd) {
    EXPECT_EQ(change_log::byteLine(0x10, 0x3A, 0x5B), "        [00000010]: 3A --> 5B\r\n");
    EXPECT_EQ(change_log::byteLine(0xABCDEF12, 0x0, 0xF), "        [ABCDEF12]: 00 --> 0F\r\n");
    EXPECT_EQ(change_log::byteLine(4, std::nullopt, 0x7), "        [00000004]: null --> 07\r\n");
    EXPECT_EQ(change_log::timeText({2024, 3, 9, 7, 5, 4, 0}), "    2024-03-09 07:05:04");
}

TEST_F(FileSaverTest, SaveWritesOnlyTheChangedBytesAndLogsEachOne) {
    std::string bytes(0x20, '\x11');
    bytes[0x10] = '\x3A';
    const std::string path = dir.write("data.bin", bytes);
    dir.write("log.txt", "earlier");
    ASSERT_TRUE(loader.loadFile(path, true));
    ASSERT_TRUE(data.writeByte(0x10, 0x5B));
    ASSERT_TRUE(data.writeByte(0x21, 0x07));  // 0x20 becomes FF, past the old end
    panel.enableMenuCommand(kCmdSaveFile);
    refreshes = 0;
    ASSERT_TRUE(saver.saveFile());

    std::string expected = bytes;
    expected[0x10] = '\x5B';
    expected += "\xFF\x07";
    EXPECT_EQ(dir.read("data.bin"), expected);
    EXPECT_EQ(dir.read("log.txt"),
              "earlier" + kBegin + "    2024-03-09 07:05:04 data.bin 文件修改如下：\r\n" +
                  "        [00000010]: 3A --> 5B\r\n" + "        [00000020]: null --> FF\r\n" +
                  "        [00000021]: null --> 07\r\n" + kEnd);
    EXPECT_TRUE(panel.menuGreyed(kCmdSaveFile));
    EXPECT_EQ(window.statuses.back(), std::make_pair(std::string("saved"), false));
    EXPECT_EQ(refreshes, 1);

    // Nothing changed since: a second save writes an empty record.
    ASSERT_TRUE(saver.saveFile());
    const std::string log = dir.read("log.txt");
    EXPECT_TRUE(
        log.ends_with(kBegin + "    2024-03-09 07:05:04 data.bin 文件修改如下：\r\n" + kEnd));
}

TEST_F(FileSaverTest, AFailedWriteIsReportedAndNeverCalledSaved) {
    const std::string path = dir.write("data.bin", "abc");
    ASSERT_TRUE(loader.loadFile(path, true));
    ASSERT_TRUE(data.writeByte(1, 'X'));
    panel.enableMenuCommand(kCmdSaveFile);
    std::filesystem::remove(path);  // the loaded file has gone
    window.statuses.clear();
    EXPECT_FALSE(saver.saveFile());
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].icon, BoxIcon::Error);
    EXPECT_EQ(frontend.boxes()[0].caption, "Error");
    EXPECT_NE(frontend.boxes()[0].text.find(path), std::string::npos);
    for (const auto& status : window.statuses)
        EXPECT_NE(status.first, "saved");
    EXPECT_FALSE(panel.menuGreyed(kCmdSaveFile));
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(FileSaverTest, AFullDiskOrAReadOnlyFileIsReportedAndNeverCalledSaved) {
    // /dev/full takes the open and refuses every write with ENOSPC.
    ASSERT_TRUE(loader.loadFile(dir.write("u_mod0.dll", "\x01\x02\x03"), false));
    frontend.chooseFile("/dev/full");
    window.statuses.clear();
    EXPECT_FALSE(saver.saveFile());
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].icon, BoxIcon::Error);
    EXPECT_NE(frontend.boxes()[0].text.find("/dev/full"), std::string::npos);
    for (const auto& status : window.statuses)
        EXPECT_NE(status.first, "saved");
    EXPECT_TRUE(loader.loadedFromChip()) << "the chip data is still unsaved";

    if (::geteuid() == 0)
        GTEST_SKIP() << "file permissions do not bind the superuser";
    const std::string path = dir.write("data.bin", "abc");
    ASSERT_TRUE(loader.loadFile(path, true));
    ASSERT_TRUE(data.writeByte(0, 'X'));
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    frontend.clearRecord();
    EXPECT_FALSE(saver.saveFile());
    EXPECT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(dir.read("data.bin"), "abc");
}

TEST_F(FileSaverTest, ChangesFarApartAreAllSavedAndAFailedSaveKeepsThemForTheNext) {
    const std::string original(5 << 20, '\x22');
    const std::string path = dir.write("data.bin", original);
    ASSERT_TRUE(loader.loadFile(path, true));
    ASSERT_TRUE(data.writeByte((3 << 20) + 5, 0x33));
    ASSERT_TRUE(data.writeByte(0x100, 0x44));

    std::filesystem::remove(path);
    EXPECT_FALSE(saver.saveFile());
    dir.write("data.bin", original);  // the file is back; the edits still wait
    ASSERT_TRUE(saver.saveFile());

    std::string expected = original;
    expected[0x100] = '\x44';
    expected[(3 << 20) + 5] = '\x33';
    EXPECT_TRUE(dir.read("data.bin") == expected);
    EXPECT_TRUE(
        dir.read("log.txt").ends_with("        [00000100]: 22 --> 44\r\n"
                                      "        [00300005]: 22 --> 33\r\n" +
                                      kEnd));

    // Saved changes are not written again; a later one is.
    ASSERT_TRUE(data.writeByte(7, 0x55));
    ASSERT_TRUE(saver.saveFile());
    const std::string log = dir.read("log.txt");
    EXPECT_TRUE(log.ends_with("文件修改如下：\r\n        [00000007]: 22 --> 55\r\n" + kEnd));
    EXPECT_EQ(dir.read("data.bin")[7], '\x55');
}

TEST_F(FileSaverTest, TheLogStartsAfreshOnceItHasReachedOneHundredMebibytes) {
    const std::string path = dir.write("data.bin", "ab");
    ASSERT_TRUE(loader.loadFile(path, true));
    const std::string record =
        kBegin + "    2024-03-09 07:05:04 data.bin 文件修改如下：\r\n" + kEnd;

    // One byte short of the limit: appended to (sparse, so it costs no disk).
    dir.write("log.txt", "");
    std::filesystem::resize_file(dir.file("log.txt"), change_log::kRestartSize - 1);
    ASSERT_TRUE(saver.saveFile());
    EXPECT_EQ(std::filesystem::file_size(dir.file("log.txt")),
              change_log::kRestartSize - 1 + record.size());

    // Now past it: the next record is all the log holds.
    ASSERT_TRUE(saver.saveFile());
    EXPECT_EQ(dir.read("log.txt"), record);
    // Exactly at the limit counts as reached.
    std::filesystem::resize_file(dir.file("log.txt"), change_log::kRestartSize);
    ASSERT_TRUE(saver.saveFile());
    EXPECT_EQ(dir.read("log.txt"), record);
}

TEST_F(FileSaverTest, ChipDataIsSavedUnderANewNameWhichIsThenLoaded) {
    const std::string image = dir.write("u_mod0.dll", "\x01\x02\x03");
    ASSERT_TRUE(loader.loadFile(image, false));
    // The program's own file as the target is refused first.
    frontend.chooseFile(dir.file("u_mod1.dll"));
    EXPECT_FALSE(saver.saveFile());
    EXPECT_EQ(frontend.boxes().back().text, "reserved name");
    EXPECT_TRUE(loader.loadedFromChip());

    const std::string target = dir.file("chip.bin");
    frontend.chooseFile(target);
    ASSERT_TRUE(saver.saveFile());
    EXPECT_EQ(dir.read("chip.bin"), "\x01\x02\x03");
    EXPECT_EQ(loader.loadedPath(), target);
    EXPECT_EQ(panel.text(kWindowTitle), "Corvo_KVQ_Nyra V2.1 - chip.bin  0.00KB");
    EXPECT_TRUE(frontend.dialogs().back().dialog.overwritePrompt);
    EXPECT_EQ(frontend.dialogs().back().dialog.filter, kSaveChipFilter);
    EXPECT_EQ(dir.read("log.txt"), kBegin +
                                       "    2024-03-09 07:05:04 W25Q80 芯片内数据保存如下：\r\n" +
                                       "        [W25Q80 ]saved as[chip.bin]\r\n" + kEnd);
}

TEST_F(FileSaverTest, SaveAsCopiesTheDataAndOntoTheLoadedFileSaves) {
    const std::string path = dir.write("data.bin", std::string(70000, 'a'));
    ASSERT_TRUE(loader.loadFile(path, true));
    ASSERT_TRUE(data.writeByte(65536, 'b'));
    frontend.chooseFile(dir.file("copy.bin"));
    ASSERT_TRUE(saver.saveFileAs());
    std::string expected(70000, 'a');
    expected[65536] = 'b';
    EXPECT_EQ(dir.read("copy.bin"), expected);
    EXPECT_EQ(loader.loadedPath(), path);  // the copy is not the loaded file
    EXPECT_EQ(dir.read("data.bin"), std::string(70000, 'a'));
    EXPECT_FALSE(dir.exists("log.txt"));  // and it is not logged

    frontend.chooseFile(path);
    ASSERT_TRUE(saver.saveFileAs());
    EXPECT_EQ(dir.read("data.bin"), expected);
    EXPECT_NE(dir.read("log.txt").find("[00010000]: 61 --> 62"), std::string::npos);
}

TEST_F(FileSaverTest, ChipDataSavedAsANewFileBecomesTheLoadedFile) {
    ASSERT_TRUE(loader.loadFile(dir.write("u_mod0.dll", "\x05\x06"), false));
    const std::string target = dir.file("copy.bin");
    frontend.chooseFile(target);
    ASSERT_TRUE(saver.saveFileAs());
    EXPECT_EQ(dir.read("copy.bin"), "\x05\x06");
    EXPECT_EQ(loader.loadedPath(), target);
    EXPECT_FALSE(loader.loadedFromChip());
    EXPECT_EQ(panel.text(kWindowTitle), "Corvo_KVQ_Nyra V2.1 - copy.bin  0.00KB");
}

}  // namespace
}  // namespace nyra
