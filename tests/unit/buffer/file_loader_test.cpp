// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer/file_loader.h"

#include <sys/stat.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "buffer/file_name_text.h"
#include "support/temp_dir.h"
#include "ui/ids.h"
#include "ui/main_panel.h"
#include "ui/scripted_frontend.h"
#include "unit/buffer/loader_fixture.h"

namespace nyra {
namespace {

using namespace ids;
using testing::FileLoaderTest;

TEST_F(FileLoaderTest, AFourByteFileFillsTheWorkingFileTextsAndMenus) {
    const std::string path = dir.write("data.bin", std::string("\x01\x02\x03\x04", 4));
    ASSERT_TRUE(loader.loadFile(path, true));

    EXPECT_EQ(dir.read("u_mod1.dll"), std::string("\x01\x02\x03\x04", 4));
    EXPECT_TRUE(data.isLoaded());
    EXPECT_EQ(data.dataLength(), 4u);
    EXPECT_TRUE(data.working().isOpen());
    EXPECT_EQ(data.reference().path(), path);
    EXPECT_EQ(panel.text(kTextFileChecksum), "000000000A");
    EXPECT_EQ(panel.text(kTextChipChecksum), "0000000406");  // 10 + 4 * 255
    EXPECT_EQ(data.rows().data, 1u);
    EXPECT_EQ(data.rows().total, 1u);

    EXPECT_EQ(panel.text(kWindowTitle), "Corvo_KVQ_Nyra V2.1 - data.bin  0.00KB");
    EXPECT_EQ(panel.text(kEditFileName), path);
    EXPECT_EQ(loader.loadedPath(), path);
    ASSERT_TRUE(window.loadedFile);
    EXPECT_EQ(*window.loadedFile, std::make_pair(path, std::uint64_t{4}));
    EXPECT_EQ(window.logged, std::vector<std::string>{path + " 0.00KB"});
    ASSERT_EQ(window.statuses.size(), 1u);
    EXPECT_EQ(window.statuses[0], std::make_pair(std::string("file loaded"), false));

    for (const int id : {kCmdSaveAs, kCmdFind, kCmdGoTo, kCmdEditMode, kCmdDataView})
        EXPECT_FALSE(panel.menuGreyed(id)) << id;
    EXPECT_TRUE(panel.menuGreyed(kCmdSaveFile));
    EXPECT_TRUE(panel.menuGreyed(kCmdFileFill));  // edit mode off
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(focusClears, 1);
    EXPECT_TRUE(frontend.boxes().empty());
}

TEST_F(FileLoaderTest, ChipChecksumFollowsTheChipSizeAndFileFillFollowsEditMode) {
    window.chip = 2;
    panel.setMenuChecked(kCmdEditMode, true);
    const std::string path = dir.write("data.bin", std::string("\x01\x02\x03\x04", 4));
    ASSERT_TRUE(loader.loadFile(path, true));
    EXPECT_EQ(panel.text(kTextChipChecksum), "0000000003");  // the first two bytes
    EXPECT_FALSE(panel.menuGreyed(kCmdFileFill));
}

TEST_F(FileLoaderTest, AnEmptyFileLoadsAsNoBytes) {
    window.chip = 0;
    const std::string path = dir.write("empty.bin", "");
    ASSERT_TRUE(loader.loadFile(path, true));
    EXPECT_TRUE(data.isLoaded());
    EXPECT_EQ(data.dataLength(), 0u);
    EXPECT_EQ(panel.text(kTextFileChecksum), "0000000000");
    EXPECT_EQ(panel.text(kWindowTitle), "Corvo_KVQ_Nyra V2.1 - empty.bin  0.00KB");
    EXPECT_EQ(window.logged, std::vector<std::string>{path + " 0.00KB"});
}

TEST_F(FileLoaderTest, ChunksAreSummedAcrossTheirEdges) {
    // Two full chunks and a short one: every byte counts once.
    std::string bytes(2 * 8192 + 100, '\0');
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(i * 7 + 3);
        sum += static_cast<unsigned char>(bytes[i]);
    }
    const std::string path = dir.write("big.bin", bytes);
    ASSERT_TRUE(loader.loadFile(path, true));
    EXPECT_EQ(dir.read("u_mod1.dll"), bytes);
    EXPECT_EQ(data.dataChecksum(), sum);
    EXPECT_EQ(panel.text(kTextFileChecksum), formatChecksum(sum));
    EXPECT_EQ(panel.text(kWindowTitle), "Corvo_KVQ_Nyra V2.1 - big.bin  16.10KB");
    EXPECT_EQ(data.rows().data, (bytes.size() + 15) / 16);
}

TEST_F(FileLoaderTest, ALongPathIsShortenedInTheBoxButNotInTheTitle) {
    const std::string folder = dir.file(std::string(30, 'a')) + "/" + std::string(30, 'b');
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/image.bin";
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    ASSERT_TRUE(loader.loadFile(path, true));
    EXPECT_EQ(panel.text(kEditFileName), shortenedFileNameText(path));
    EXPECT_NE(panel.text(kEditFileName), path);
    EXPECT_NE(panel.text(kEditFileName).find("/.../"), std::string::npos);
    EXPECT_EQ(panel.text(kWindowTitle), "Corvo_KVQ_Nyra V2.1 - image.bin  0.00KB");
}

TEST_F(FileLoaderTest, TheChipImageShowsTheDeviceAndCanBeSavedAtOnce) {
    const std::string path = dir.write("u_mod0.dll", std::string(1536, '\x10'));
    ASSERT_TRUE(loader.loadFile(path, false));
    EXPECT_EQ(panel.text(kWindowTitle), "Corvo_KVQ_Nyra V2.1 - W25Q80_1.50KB");
    EXPECT_EQ(panel.text(kEditFileName), "chip data");
    EXPECT_EQ(window.statuses.at(0), std::make_pair(std::string("chip read"), false));
    EXPECT_TRUE(window.logged.empty());
    EXPECT_FALSE(panel.menuGreyed(kCmdSaveFile));
    EXPECT_TRUE(loader.loadedFromChip());
    ASSERT_TRUE(window.loadedFile);
    EXPECT_EQ(window.loadedFile->second, 1536u);
}

TEST_F(FileLoaderTest, TheProgramsOwnFilesAreRefusedAsAChoice) {
    const std::string first = dir.write("first.bin", "ab");
    ASSERT_TRUE(loader.loadFile(first, true));
    const std::string image = dir.write("u_mod0.dll", "xyz");
    for (const std::string& path : {image, dir.file("u_mod1.dll")}) {
        frontend.clearRecord();
        EXPECT_FALSE(loader.loadFile(path, true));
        ASSERT_EQ(frontend.boxes().size(), 1u);
        EXPECT_EQ(frontend.boxes()[0].text, "reserved name");
        EXPECT_EQ(frontend.boxes()[0].caption, "Catalogue");
        EXPECT_EQ(frontend.boxes()[0].icon, BoxIcon::Warning);
    }
    // The earlier data is untouched.
    EXPECT_TRUE(data.isLoaded());
    EXPECT_EQ(dir.read("u_mod1.dll"), "ab");
    EXPECT_EQ(loader.loadedPath(), first);
    EXPECT_EQ(panel.text(kEditFileName), first);
}

TEST_F(FileLoaderTest, CapFilesGoToTheAddressOffsetToolAndLeaveTheBufferAlone) {
    const std::string first = dir.write("first.bin", "abc");
    ASSERT_TRUE(loader.loadFile(first, true));
    std::vector<std::pair<std::string, std::uint32_t>> offsets;
    loader.hooks().addressOffset = [&](const std::string& path, std::uint32_t offset) {
        offsets.emplace_back(path, offset);
    };
    const std::string lower = dir.write("bios.cap", "zzzz");
    const std::string upper = dir.write("BIOS.CAP", "zzzz");
    EXPECT_FALSE(loader.loadFile(lower, true));
    EXPECT_FALSE(loader.loadFile(upper, true));
    ASSERT_EQ(offsets.size(), 2u);
    EXPECT_EQ(offsets[0], std::make_pair(lower, std::uint32_t{2048}));
    EXPECT_EQ(offsets[1], std::make_pair(upper, std::uint32_t{2048}));
    EXPECT_TRUE(data.isLoaded());
    EXPECT_EQ(data.dataLength(), 3u);
    EXPECT_EQ(dir.read("u_mod1.dll"), "abc");
    EXPECT_EQ(loader.loadedPath(), first);
    EXPECT_EQ(data.reference().path(), first);
}

TEST_F(FileLoaderTest, AFileOfFourGibibytesIsRefusedBeforeAnythingChanges) {
    const std::string first = dir.write("first.bin", "abc");
    ASSERT_TRUE(loader.loadFile(first, true));
    const std::string huge = dir.file("huge.bin");
    {
        const int fd = ::open(huge.c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, off_t{1} << 32), 0);  // sparse: no disk space taken
        ::close(fd);
    }
    window.statuses.clear();
    EXPECT_FALSE(loader.loadFile(huge, true));
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].icon, BoxIcon::Error);
    EXPECT_EQ(frontend.boxes()[0].caption, "Error");
    EXPECT_NE(frontend.boxes()[0].text.find("4 GiB"), std::string::npos);
    EXPECT_NE(frontend.boxes()[0].text.find(huge), std::string::npos);
    ASSERT_EQ(window.statuses.size(), 1u);
    EXPECT_EQ(window.statuses[0], std::make_pair(std::string("load failed"), true));
    EXPECT_EQ(frontend.boxes()[0].text.rfind("load failed\n", 0), 0u);

    EXPECT_TRUE(data.isLoaded());
    EXPECT_EQ(data.dataLength(), 3u);
    EXPECT_EQ(dir.read("u_mod1.dll"), "abc");
    EXPECT_EQ(loader.loadedPath(), first);
    ASSERT_TRUE(window.loadedFile);
    EXPECT_EQ(window.loadedFile->first, first);
    EXPECT_EQ(panel.text(kWindowTitle), "Corvo_KVQ_Nyra V2.1 - first.bin  0.00KB");
}

TEST_F(FileLoaderTest, AnUnreadableSourceIsReportedAndTheCurrentDataStays) {
    const std::string first = dir.write("first.bin", "abc");
    ASSERT_TRUE(loader.loadFile(first, true));
    std::filesystem::create_directory(dir.file("folder.bin"));
    // A FIFO or a device would block the window or never end: refused at once.
    ASSERT_EQ(::mkfifo(dir.file("fifo.bin").c_str(), 0644), 0);
    for (const std::string& path : {dir.file("missing.bin"), dir.file("folder.bin"),
                                    dir.file("fifo.bin"), std::string("/dev/zero")}) {
        frontend.clearRecord();
        window.statuses.clear();
        EXPECT_FALSE(loader.loadFile(path, true));
        ASSERT_EQ(frontend.boxes().size(), 1u) << path;
        ASSERT_EQ(window.statuses.size(), 1u);
        EXPECT_EQ(window.statuses[0], std::make_pair(std::string("load failed"), true));
        EXPECT_NE(frontend.boxes()[0].text.find("load failed"), std::string::npos);
        EXPECT_TRUE(data.isLoaded());
        EXPECT_EQ(dir.read("u_mod1.dll"), "abc");
        EXPECT_EQ(loader.loadedPath(), first);
    }
}

TEST_F(FileLoaderTest, AStoppedLoadLeavesNothingLoadedAndNoPartialWorkingFile) {
    // Two chunks' worth, so the stop comes between them.
    const std::string big = dir.write("big.bin", std::string((1u << 20) + 10, 'b'));
    int asked = 0;
    loader.hooks().stopRequested = [&asked] { return ++asked > 1; };
    EXPECT_FALSE(loader.loadFile(big, true));
    EXPECT_EQ(asked, 2);
    EXPECT_FALSE(data.isLoaded());
    EXPECT_FALSE(dir.exists("u_mod1.dll"));
    ASSERT_FALSE(window.statuses.empty());
    EXPECT_EQ(window.statuses.back(), std::make_pair(std::string("load failed"), true));
}

TEST_F(FileLoaderTest, AWorkingFileThatCannotBeMadeLeavesNothingLoaded) {
    const std::string first = dir.write("first.bin", "abc");
    ASSERT_TRUE(loader.loadFile(first, true));
    // The working file's place is taken by a folder: it can be neither
    // created nor reopened.
    std::filesystem::remove(dir.file("u_mod1.dll"));
    std::filesystem::create_directory(dir.file("u_mod1.dll"));
    const std::string second = dir.write("second.bin", "defg");
    window.statuses.clear();
    refreshes = 0;
    EXPECT_FALSE(loader.loadFile(second, true));

    EXPECT_FALSE(data.isLoaded());
    EXPECT_EQ(data.dataLength(), 0u);
    EXPECT_FALSE(data.working().isOpen());
    EXPECT_FALSE(data.reference().isOpen());
    EXPECT_FALSE(window.loadedFile);
    EXPECT_EQ(panel.text(kWindowTitle), "Corvo_KVQ_Nyra V2.1");
    EXPECT_EQ(panel.text(kEditFileName), "no file");
    EXPECT_EQ(panel.text(kTextFileChecksum), "0000000000");
    for (const int id : {kCmdSaveFile, kCmdSaveAs, kCmdFind, kCmdGoTo, kCmdDataView})
        EXPECT_TRUE(panel.menuGreyed(id)) << id;
    ASSERT_EQ(window.statuses.size(), 1u);
    EXPECT_EQ(window.statuses[0], std::make_pair(std::string("load failed"), true));
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].caption, "Error");
    EXPECT_EQ(frontend.boxes()[0].icon, BoxIcon::Error);
    EXPECT_EQ(refreshes, 1);  // the view shows that nothing is there

    // The chip image reports its own text.
    const std::string image = dir.write("u_mod0.dll", "img");
    frontend.clearRecord();
    EXPECT_FALSE(loader.loadFile(image, false));
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text.rfind("image failed", 0), 0u);
}

TEST_F(FileLoaderTest, ACopyThatRunsOutOfRoomMidwayIsNotLoaded) {
    const std::string path = dir.write("big.bin", std::string(3 * 8192, 'x'));
    // A file size limit stands in for a full disk: the second chunk fails.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previous {};
    ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &previous), 0);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 10000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool loaded = loader.loadFile(path, true);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::sigaction(SIGXFSZ, &previous, nullptr);

    EXPECT_FALSE(loaded);
    EXPECT_FALSE(data.isLoaded());
    EXPECT_FALSE(data.working().isOpen());
    EXPECT_FALSE(window.loadedFile);
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text.rfind("load failed", 0), 0u);
    EXPECT_EQ(panel.text(kWindowTitle), "Corvo_KVQ_Nyra V2.1");
}

TEST_F(FileLoaderTest, TheOpenDialogAsksForAnyFileAndLoadsTheChoice) {
    const std::string path = dir.write("pick.bin", "\x05");
    frontend.chooseFile(path);
    loader.openFile();
    ASSERT_EQ(frontend.dialogs().size(), 1u);
    EXPECT_EQ(frontend.dialogs()[0].kind, FrontendCall::Kind::OpenFile);
    EXPECT_EQ(frontend.dialogs()[0].dialog.filter, kOpenFileFilter);
    EXPECT_EQ(frontend.dialogs()[0].dialog.defaultExtension, ".*");
    EXPECT_FALSE(frontend.dialogs()[0].dialog.multiSelect);
    EXPECT_TRUE(data.isLoaded());
    EXPECT_EQ(loader.loadedPath(), path);

    // Cancel loads nothing new.
    frontend.cancelDialog();
    loader.openFile();
    EXPECT_EQ(loader.loadedPath(), path);
    // The dialog's choice is a user's choice: the working file is refused.
    frontend.chooseFile(dir.file("u_mod1.dll"));
    loader.openFile();
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text, "reserved name");
}

TEST_F(FileLoaderTest, DropsLoadTheFirstFileOnlyWhileBrowsingIsAllowed) {
    const std::string a = dir.write("a.bin", "aa");
    const std::string b = dir.write("b.bin", "bbb");
    panel.setEnabled(kBtnBrowse, false);
    loader.filesDropped({a, b});
    EXPECT_FALSE(data.isLoaded());
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text, "busy");
    EXPECT_EQ(frontend.boxes()[0].caption, "Notice");
    EXPECT_EQ(frontend.boxes()[0].icon, BoxIcon::Information);

    panel.setEnabled(kBtnBrowse, true);
    loader.filesDropped({a, b});
    EXPECT_TRUE(data.isLoaded());
    EXPECT_EQ(loader.loadedPath(), a);
    EXPECT_EQ(dir.read("u_mod1.dll"), "aa");
    // A dropped working file is a user's choice, so it is refused.
    loader.filesDropped({dir.file("u_mod1.dll")});
    EXPECT_EQ(frontend.boxes().back().text, "reserved name");
    EXPECT_EQ(loader.loadedPath(), a);
}

}  // namespace
}  // namespace nyra
