// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/file_merge.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/file_access.h"
#include "support/small_disk.h"
#include "support/temp_dir.h"
#include "ui/scripted_frontend.h"

namespace nyra {
namespace {

constexpr const char* kTexts =
    "[ftext]\r\n22=Merge\r\n76=Cancel\r\n77=OK\r\n99=Folder\r\n100=Add\r\n101=Delete\r\n"
    "[itext]\r\n9=Notice\r\n25=cannot open\r\n153=no folder\r\n154=no name\r\n"
    "155=merged\r\n156=no output\r\n";

std::string pattern(std::size_t length, int seed) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] =
            static_cast<char>((i * 7 + static_cast<std::size_t>(seed) * 31 + i / 253) & 0xFF);
    return bytes;
}

TEST(MergeHomeFolder, AnEmptyHomeFallsBackToThePasswordEntry) {
    const char* saved = std::getenv("HOME");
    const std::string before = saved ? saved : "";
    ::setenv("HOME", "/some/home", 1);
    EXPECT_EQ(homeFolder(), "/some/home");
    ::setenv("HOME", "", 1);
    const passwd* user = ::getpwuid(::getuid());
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(homeFolder(), user->pw_dir);
    if (saved)
        ::setenv("HOME", before.c_str(), 1);
    else
        ::unsetenv("HOME");
}

TEST(MergeOutputPath, AddsTheSeparatorAndBinOnlyWhereMissing) {
    EXPECT_EQ(mergeOutputPath("/data", "out"), "/data/out.bin");
    EXPECT_EQ(mergeOutputPath("/data/", "out"), "/data/out.bin");
    EXPECT_EQ(mergeOutputPath("/data", "out.hex"), "/data/out.hex");
    EXPECT_EQ(mergeOutputPath("/", "Cmbin.bin"), "/Cmbin.bin");
    EXPECT_EQ(mergeOutputPath("/data", "out."), "/data/out.");
}

class FileMergeTest : public ::testing::Test {
protected:
    void SetUp() override {
        textDir.write("ftext.ini", kTexts);
        textDir.write("itext.ini", kTexts);
        texts.loadFrom(textDir.folder());
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
    // The window with these files added in one choice.
    void add(std::vector<std::string> paths) {
        frontend.chooseFiles(std::move(paths));
        tool.addFiles();
    }

    TempDir textDir;
    TempDir dir;
    TextTable texts;
    ScriptedFrontend frontend;
    FileMergeTool tool{frontend, texts, dir.folder()};
};

TEST_F(FileMergeTest, TheWindowOpensWithItsTextsTheFolderAndTheDefaultName) {
    EXPECT_EQ(tool.title(), "Merge");
    EXPECT_EQ(tool.addCaption(), "Add");
    EXPECT_EQ(tool.deleteCaption(), "Delete");
    EXPECT_EQ(tool.folderCaption(), "Folder");
    EXPECT_EQ(tool.okCaption(), "OK");
    EXPECT_EQ(tool.cancelCaption(), "Cancel");
    EXPECT_EQ(tool.outputFolder(), dir.folder());
    EXPECT_EQ(tool.fileName(), "Cmbin.bin");
    EXPECT_TRUE(tool.files().empty());
}

TEST_F(FileMergeTest, AddedFilesGoToTheEndInTheOrderChosen) {
    add({"/a/1.bin", "/a/2.bin"});
    frontend.cancelDialog();
    tool.addFiles();
    add({"/b/3.rom", "/a/1.bin"});
    EXPECT_EQ(tool.files(),
              (std::vector<std::string>{"/a/1.bin", "/a/2.bin", "/b/3.rom", "/a/1.bin"}));
    const auto dialogs = frontend.dialogs();
    ASSERT_EQ(dialogs.size(), 3u);
    for (const auto& call : dialogs) {
        EXPECT_EQ(call.kind, FrontendCall::Kind::OpenFile);
        EXPECT_EQ(call.dialog.filter, kMergeFilter);
        EXPECT_EQ(call.dialog.defaultExtension, ".bin");
        EXPECT_TRUE(call.dialog.multiSelect);
    }
}

TEST_F(FileMergeTest, DeleteTakesEverySelectedRowAndOnlyThose) {
    add({"/0", "/1", "/2", "/3", "/4"});
    // In any order, twice, or past the end.
    tool.removeRows({1, 3, 0, 3, 9});
    EXPECT_EQ(tool.files(), (std::vector<std::string>{"/2", "/4"}));
    tool.removeRows({});
    EXPECT_EQ(tool.files().size(), 2u);
    tool.removeRows({0, 1});
    EXPECT_TRUE(tool.files().empty());
}

TEST_F(FileMergeTest, TheFolderBrowserReplacesTheFolderUnlessCancelled) {
    frontend.cancelDialog();
    tool.chooseFolder();
    EXPECT_EQ(tool.outputFolder(), dir.folder());
    frontend.chooseFile("/mnt/usb");
    tool.chooseFolder();
    EXPECT_EQ(tool.outputFolder(), "/mnt/usb");
    const auto dialogs = frontend.dialogs();
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(dialogs[0].kind, FrontendCall::Kind::BrowseFolder);
    EXPECT_EQ(dialogs[0].text, "Choose a folder:");
}

TEST_F(FileMergeTest, FilesAreJoinedInListOrderAcrossChunks) {
    const std::string a = pattern(2500, 1), b = pattern(1024, 2), c = pattern(7, 3);
    add({dir.write("a.bin", a), dir.write("b.bin", b), dir.write("c.bin", c), dir.file("a.bin")});
    tool.setFileName("joined");
    EXPECT_TRUE(tool.merge());
    EXPECT_EQ(dir.read("joined.bin"), a + b + c + a);
    EXPECT_EQ(dir.read("a.bin"), a);
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"merged"});
}

TEST_F(FileMergeTest, ANameWithADotIsKeptAndAnOldOutputIsEmptiedFirst) {
    const std::string a = pattern(100, 4);
    add({dir.write("a.bin", a)});
    dir.write("out.hex", std::string(5000, 'x'));
    tool.setFileName("out.hex");
    EXPECT_TRUE(tool.merge());
    EXPECT_EQ(dir.read("out.hex"), a);
    EXPECT_FALSE(dir.exists("out.hex.bin"));
}

TEST_F(FileMergeTest, AnEmptyListMakesAnEmptyFileAndSucceeds) {
    dir.write("Cmbin.bin", "old");
    FileMergeTool inFolder(frontend, texts, dir.folder());
    EXPECT_TRUE(inFolder.merge());
    EXPECT_TRUE(dir.exists("Cmbin.bin"));
    EXPECT_EQ(dir.read("Cmbin.bin"), "");
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"merged"});
}

TEST_F(FileMergeTest, AMissingFolderOrNameIsSaidAndNothingIsCreated) {
    FileMergeTool noFolder(frontend, texts, "");
    EXPECT_FALSE(noFolder.merge());
    tool.setFileName("");
    EXPECT_FALSE(tool.merge());
    EXPECT_EQ(boxTexts(), (std::vector<std::string>{"no folder", "no name"}));
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("")));
}

TEST_F(FileMergeTest, AFailedMergeLeavesNoOutputAndAnExistingOneAsItWas) {
    const std::string a = pattern(1500, 5);
    std::filesystem::create_directory(dir.file("folder.bin"));
    add({dir.write("a.bin", a), dir.file("gone.bin"), dir.write("b.bin", "never")});
    FileMergeTool& t = tool;
    t.setFileName("m");
    EXPECT_FALSE(t.merge());
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"cannot open"});
    EXPECT_NE(frontend.boxes()[0].text.find(dir.file("gone.bin")), std::string::npos);
    EXPECT_FALSE(dir.exists("m.bin"));

    // A folder in the list is no file to read either; the old output survives.
    const std::string old = pattern(700, 11);
    dir.write("m.bin", old);
    frontend.clearRecord();
    t.removeRows({1, 2});
    add({dir.file("folder.bin")});
    EXPECT_FALSE(t.merge());
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"cannot open"});
    EXPECT_EQ(dir.read("m.bin"), old);
    // No temporary file stays behind.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.file("")))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.bin", "b.bin", "folder.bin", "m.bin"}));
}

TEST_F(FileMergeTest, AnOutputThatCannotBeCreatedIsSaid) {
    add({dir.write("a.bin", "abc")});
    FileMergeTool noSuchFolder(frontend, texts, dir.file("no/such"));
    frontend.chooseFile(dir.file("a.bin"));
    noSuchFolder.addFiles();
    EXPECT_FALSE(noSuchFolder.merge());
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"no output"});
    EXPECT_NE(frontend.boxes()[0].text.find(dir.file("no/such/Cmbin.bin")), std::string::npos);
}

TEST_F(FileMergeTest, AnOutputThatIsOneOfTheInputsIsNeverEmptied) {
    const std::string a = pattern(3000, 6), b = pattern(10, 7);
    FileMergeTool inFolder(frontend, texts, dir.folder());
    frontend.chooseFiles({dir.write("b.bin", b), dir.write("a.bin", a)});
    inFolder.addFiles();
    inFolder.setFileName("a");
    EXPECT_FALSE(inFolder.merge());
    // The same file under another name counts too.
    std::filesystem::create_hard_link(dir.file("b.bin"), dir.file("link.bin"));
    inFolder.setFileName("link.bin");
    EXPECT_FALSE(inFolder.merge());
    EXPECT_EQ(boxTexts(), (std::vector<std::string>{"no output", "no output"}));
    EXPECT_EQ(dir.read("a.bin"), a);
    EXPECT_EQ(dir.read("b.bin"), b);
}

TEST_F(FileMergeTest, AnOutputListedAsAnInputBeforeItExistsIsNotReadIntoItself) {
    const std::string a = pattern(1500, 9);
    FileMergeTool inFolder(frontend, texts, dir.folder());
    frontend.chooseFiles({dir.write("a.bin", a), dir.file("new.bin"), dir.file("a.bin")});
    inFolder.addFiles();
    inFolder.setFileName("new");
    EXPECT_FALSE(inFolder.merge());
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"cannot open"});
    EXPECT_FALSE(dir.exists("new.bin"));
}

TEST(MergeFiles, ADeviceIsNeitherWrittenNorReplaced) {
    TempDir dir;
    const MergeResult result = mergeFiles("/dev/full", {dir.write("x", pattern(3000, 10))});
    EXPECT_EQ(result.status, MergeStatus::OutputNotCreated);
    EXPECT_EQ(result.path, "/dev/full");
    EXPECT_EQ(result.error, kErrorNotRegularFile);
    struct stat info {};
    ASSERT_EQ(::stat("/dev/full", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
    // Nor is one read: a FIFO as an input would never end.
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0644), 0);
    const MergeResult fromFifo = mergeFiles(dir.file("o.bin"), {dir.file("fifo")});
    EXPECT_EQ(fromFifo.status, MergeStatus::InputNotOpened);
    EXPECT_EQ(fromFifo.error, kErrorNotRegularFile);
    EXPECT_FALSE(dir.exists("o.bin"));
}

TEST(MergeFiles, AFullDiskIsSaidAndTheOldOutputSurvives) {
    SmallDisk disk(64);
    if (!disk.available())
        GTEST_SKIP() << "no tmpfs can be mounted here";
    TempDir dir;
    const std::string old = pattern(4000, 12);
    {
        std::ofstream out(disk.file("o.bin"), std::ios::binary);
        out << old;
    }
    disk.fill();
    const MergeResult result = mergeFiles(disk.file("o.bin"), {dir.write("x", pattern(30000, 13))});
    EXPECT_EQ(result.status, MergeStatus::OutputNotWritten);
    EXPECT_EQ(result.error, ENOSPC);
    std::ifstream in(disk.file("o.bin"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), old);
}

TEST(MergeFiles, CountsTheBytesAndNamesTheFailingFile) {
    TempDir dir;
    const MergeResult done =
        mergeFiles(dir.file("o.bin"), {dir.write("x", pattern(1025, 8)), dir.write("y", "yy")});
    EXPECT_EQ(done.status, MergeStatus::Done);
    EXPECT_EQ(done.bytes, 1027u);
    const MergeResult failed = mergeFiles(dir.file("o.bin"), {dir.file("x"), dir.file("z")});
    EXPECT_EQ(failed.status, MergeStatus::InputNotOpened);
    EXPECT_EQ(failed.path, dir.file("z"));
    EXPECT_EQ(failed.error, ENOENT);
    EXPECT_EQ(failed.bytes, 1025u);
}

}  // namespace
}  // namespace nyra
