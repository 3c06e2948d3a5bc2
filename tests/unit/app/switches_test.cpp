// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/switches.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <map>
#include <string>

#include "support/open_descriptors.h"
#include "support/temp_dir.h"

using namespace nyra;
using namespace std::string_literals;

namespace {

constexpr int kAll[] = {kCmdSounds, kCmdAutoIdentify, kCmdBatchErase, kCmdBatchProgram,
                        kCmdBatchVerify};

class CountingMenu : public MenuCheckMarks {
public:
    unsigned menuState(int commandId) const override {
        ++queries[commandId];
        return MenuCheckMarks::menuState(commandId);
    }
    void setChecked(int commandId, bool checked) override {
        ++marks[commandId];
        MenuCheckMarks::setChecked(commandId, checked);
    }
    mutable std::map<int, int> queries;
    std::map<int, int> marks;
};

// Lowers the largest file this process may write, as a full disk would.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lower = saved_;
        lower.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*previous_)(int) = SIG_DFL;
};

class SwitchesTest : public ::testing::Test {
protected:
    std::string file() const { return dir.read(Switches::kFileName); }
    void setFile(const std::string& bytes) { dir.write(Switches::kFileName, bytes); }
    std::string checks() const {
        std::string s;
        for (int id : kAll)
            s += menu.isChecked(id) ? '1' : '0';
        return s;
    }

    TempDir dir;
    CountingMenu menu;
    Switches switches{dir.folder(), menu};
};

}  // namespace

TEST_F(SwitchesTest, EmptyFileTurnsAllFiveOn) {
    setFile("");
    switches.readAtStartup();
    EXPECT_EQ(checks(), "11111");
    EXPECT_EQ(file(), "");
}

TEST_F(SwitchesTest, MissingFileIsCreatedEmptyAndAllFiveOn) {
    switches.readAtStartup();
    EXPECT_EQ(checks(), "11111");
    EXPECT_TRUE(dir.exists(Switches::kFileName));
    EXPECT_EQ(file(), "");
}

TEST_F(SwitchesTest, BytesSetTheCheckMarks) {
    for (int id : kAll)
        menu.setChecked(id, true);
    setFile("\x00\x01\x00\x07\x00"s);
    switches.readAtStartup();
    EXPECT_EQ(checks(), "01010");
}

TEST_F(SwitchesTest, MissingBytesAreOn) {
    setFile("\x00\x00"s);
    switches.readAtStartup();
    EXPECT_EQ(checks(), "00111");
}

TEST_F(SwitchesTest, WithoutFolderSlashThePathStillJoins) {
    std::string folder = dir.folder();
    folder.pop_back();
    EXPECT_EQ(Switches(folder, menu).path(), dir.file(Switches::kFileName));
}

TEST_F(SwitchesTest, FolderSlashIsNotDoubledAndNoFolderMeansTheCurrentOne) {
    EXPECT_EQ(switches.path(), dir.file(Switches::kFileName));
    EXPECT_EQ(Switches("", menu).path(), "umod2.dll");
}

TEST_F(SwitchesTest, StartupSetsExactlyTheFiveItems) {
    setFile("\x01\x01\x01\x01\x01\x01\x01"s);
    switches.readAtStartup();
    std::map<int, int> once;
    for (int id : kAll)
        once[id] = 1;
    EXPECT_EQ(menu.marks, once);
}

TEST_F(SwitchesTest, UnopenableFileRunsTheSoundsToggle) {
    ASSERT_EQ(mkdir(dir.file(Switches::kFileName).c_str(), 0755), 0);
    menu.setChecked(kCmdBatchVerify, true);  // the menu's own state
    switches.readAtStartup();
    EXPECT_EQ(menu.queries[kCmdSounds], 1);
    // The file still cannot be written, so sounds stay off; the others keep
    // the menu's state.
    EXPECT_EQ(checks(), "00001");
}

TEST_F(SwitchesTest, SoundsToggleWritesByteZero) {
    setFile("\x01\x00\x00"s);
    menu.setChecked(kCmdSounds, true);
    EXPECT_TRUE(switches.toggleSounds());
    EXPECT_FALSE(menu.isChecked(kCmdSounds));
    EXPECT_EQ(file(), "\x00\x00\x00"s);
    EXPECT_TRUE(switches.toggleSounds());
    EXPECT_TRUE(menu.isChecked(kCmdSounds));
    EXPECT_EQ(file(), "\x01\x00\x00"s);
}

TEST_F(SwitchesTest, SoundsToggleCreatesMissingFile) {
    EXPECT_TRUE(switches.toggleSounds());
    EXPECT_TRUE(menu.isChecked(kCmdSounds));
    EXPECT_EQ(file(), "\x01"s);
}

TEST_F(SwitchesTest, AutoIdentifyOnOneByteFileAppends) {
    setFile("\x00"s);
    switches.readAtStartup();
    ASSERT_TRUE(menu.isChecked(kCmdAutoIdentify));
    EXPECT_TRUE(switches.toggleAutoIdentify());
    EXPECT_EQ(file(), "\x00\x00"s);  // sounds off, auto-identify off
    EXPECT_FALSE(menu.isChecked(kCmdAutoIdentify));
}

TEST_F(SwitchesTest, AutoIdentifyOnEmptyFileWritesSoundsOnFirst) {
    setFile("");
    menu.setChecked(kCmdAutoIdentify, true);
    EXPECT_TRUE(switches.toggleAutoIdentify());
    EXPECT_EQ(file(), "\x01\x00"s);
}

TEST_F(SwitchesTest, AutoIdentifyOnLongerFileReplacesByteOne) {
    setFile("\x00\x00\x00\x00\x00"s);
    EXPECT_TRUE(switches.toggleAutoIdentify());
    EXPECT_TRUE(menu.isChecked(kCmdAutoIdentify));
    EXPECT_EQ(file(), "\x00\x01\x00\x00\x00"s);
}

TEST_F(SwitchesTest, BatchStepToggleLeavesFiveBytesFillingWithOne) {
    setFile("\x00\x00"s);
    menu.setChecked(kCmdBatchProgram, true);
    EXPECT_TRUE(switches.toggleBatchStep(kCmdBatchProgram));
    EXPECT_EQ(file(), "\x00\x00\x01\x00\x01"s);
    EXPECT_FALSE(menu.isChecked(kCmdBatchProgram));
}

TEST_F(SwitchesTest, BatchStepOnEmptyFileFillsTheOtherBytesWithOne) {
    setFile("");
    menu.setChecked(kCmdBatchErase, true);
    EXPECT_TRUE(switches.toggleBatchStep(kCmdBatchErase));
    EXPECT_EQ(file(), "\x01\x01\x00\x01\x01"s);
}

TEST_F(SwitchesTest, EachBatchStepHasItsByte) {
    setFile("\x01\x01\x01\x01\x01"s);
    for (int id : {kCmdBatchErase, kCmdBatchProgram, kCmdBatchVerify})
        menu.setChecked(id, true);
    EXPECT_TRUE(switches.toggleBatchStep(kCmdBatchErase));
    EXPECT_EQ(file(), "\x01\x01\x00\x01\x01"s);
    EXPECT_TRUE(switches.toggleBatchStep(kCmdBatchVerify));
    EXPECT_EQ(file(), "\x01\x01\x00\x01\x00"s);
    EXPECT_TRUE(switches.toggleBatchStep(kCmdBatchErase));
    EXPECT_EQ(file(), "\x01\x01\x01\x01\x00"s);
    EXPECT_FALSE(switches.toggleBatchStep(kCmdSounds));
    EXPECT_EQ(file(), "\x01\x01\x01\x01\x00"s);
}

TEST_F(SwitchesTest, BatchStepKeepsBytesAfterTheFifth) {
    setFile("\x01\x01\x01\x01\x01\x09"s);
    EXPECT_TRUE(switches.toggleBatchStep(kCmdBatchVerify));
    EXPECT_EQ(file(), "\x01\x01\x01\x01\x01\x09"s);  // unchecked item turns on: 1
}

TEST_F(SwitchesTest, GreyedItemToggleDoesNothing) {
    setFile("\x01\x01\x01\x01\x01"s);
    for (int id : kAll)
        menu.setState(id, kMenuGreyed);
    EXPECT_FALSE(switches.toggleSounds());
    EXPECT_FALSE(switches.toggleAutoIdentify());
    EXPECT_FALSE(switches.toggleBatchStep(kCmdBatchErase));
    // Checked and greyed is not "exactly checked" either.
    menu.setState(kCmdSounds, kMenuChecked | 0x1);
    EXPECT_FALSE(switches.toggleSounds());
    EXPECT_EQ(file(), "\x01\x01\x01\x01\x01"s);
    EXPECT_EQ(menu.menuState(kCmdSounds), kMenuChecked | 0x1);
    EXPECT_EQ(menu.menuState(kCmdAutoIdentify), kMenuGreyed);
}

TEST_F(SwitchesTest, GreyedItemCreatesNoFile) {
    menu.setState(kCmdSounds, kMenuGreyed);
    EXPECT_FALSE(switches.toggleSounds());
    EXPECT_FALSE(dir.exists(Switches::kFileName));
}

TEST_F(SwitchesTest, FailedStoreKeepsTheCheckMark) {
    ASSERT_EQ(mkdir(dir.file(Switches::kFileName).c_str(), 0755), 0);
    menu.setChecked(kCmdAutoIdentify, true);
    EXPECT_FALSE(switches.toggleSounds());
    EXPECT_FALSE(switches.toggleAutoIdentify());
    EXPECT_FALSE(switches.toggleBatchStep(kCmdBatchErase));
    EXPECT_EQ(checks(), "01000");
}

TEST_F(SwitchesTest, FileWithoutPositionedAccessChangesNoCheckMark) {
    // A FIFO opens for reading and writing but refuses every positioned read
    // and write, like a file whose storage has gone.
    ASSERT_EQ(mkfifo(dir.file(Switches::kFileName).c_str(), 0644), 0);
    switches.readAtStartup();
    EXPECT_EQ(checks(), "11111");  // nothing read: the presets stand
    EXPECT_FALSE(switches.toggleSounds());
    EXPECT_FALSE(switches.toggleAutoIdentify());
    EXPECT_FALSE(switches.toggleBatchStep(kCmdBatchErase));
    EXPECT_FALSE(switches.toggleBatchStep(kCmdBatchVerify));
    EXPECT_EQ(checks(), "11111");
}

TEST_F(SwitchesTest, FileThatCannotGrowKeepsCheckMarksAndBytes) {
    setFile("\x00"s);
    menu.setChecked(kCmdAutoIdentify, true);
    menu.setChecked(kCmdBatchErase, true);
    {
        const FileSizeLimit limit(1);
        EXPECT_FALSE(switches.toggleAutoIdentify());
        EXPECT_FALSE(switches.toggleBatchStep(kCmdBatchErase));
    }
    EXPECT_EQ(file(), "\x00"s);
    EXPECT_EQ(checks(), "01100");

    setFile("");
    {
        const FileSizeLimit limit(0);
        EXPECT_FALSE(switches.toggleSounds());
        EXPECT_FALSE(switches.toggleAutoIdentify());
    }
    EXPECT_EQ(file(), "");
    EXPECT_EQ(checks(), "01100");
}

TEST_F(SwitchesTest, LeavesNoDescriptorOpen) {
    const int before = openDescriptorCount();
    switches.readAtStartup();
    EXPECT_TRUE(switches.toggleSounds());
    EXPECT_TRUE(switches.toggleAutoIdentify());
    EXPECT_TRUE(switches.toggleBatchStep(kCmdBatchVerify));
    EXPECT_EQ(openDescriptorCount(), before);
}

TEST_F(SwitchesTest, SettingsFileOnDescriptorZeroIsReadWrittenAndClosed) {
    setFile("\x00\x00\x00\x00\x00"s);
    const StandardInputClosed noInput;
    const int before = openDescriptorCount();
    switches.readAtStartup();
    EXPECT_EQ(checks(), "00000");
    EXPECT_EQ(openDescriptorCount(), before);
    EXPECT_TRUE(switches.toggleSounds());
    EXPECT_TRUE(switches.toggleBatchStep(kCmdBatchVerify));
    EXPECT_EQ(file(), "\x01\x00\x00\x00\x01"s);
    EXPECT_EQ(openDescriptorCount(), before);
}

TEST_F(SwitchesTest, LeftoverInterruptCodeDoesNotStallTheEndOfAShortFile) {
    // errno is only meaningful after a failed call; the end of the file is no failure.
    setFile("\x00"s);
    errno = EINTR;
    switches.readAtStartup();
    EXPECT_EQ(checks(), "01111");
    errno = EINTR;
    EXPECT_TRUE(switches.toggleBatchStep(kCmdBatchErase));
    EXPECT_EQ(file(), "\x00\x01\x00\x01\x01"s);
}
