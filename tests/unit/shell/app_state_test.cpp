// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/app_state.h"
#include "catalogue/catalogue_codec.h"
#include "catalogue/catalogue_tools.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/call_hold.h"
#include "support/recording_usb.h"
#include "support/temp_dir.h"
#include "ui/scripted_frontend.h"

namespace nyra {
namespace {

using namespace ids;
using testing::RecordingUsb;

constexpr const char* kFtext =
    "[ftext]\r\n1=File\r\n5=Edit mode\r\n9=Erase\r\n53=Auto(F9)\r\n54=Erase(F4)\r\n"
    "55=Program(F6)\r\n56=Verify(F8)\r\n57=Read(F7)\r\n58=Blank(F3)\r\n59=Detect(F5)\r\n"
    "60=Batch(F2)\r\n";
constexpr const char* kItext =
    "[itext]\r\n0=no file\r\n1=catalogue missing\r\n2=Catalogue\r\n9=Notice\r\n"
    "12=switch on auto-identify\r\n30=stop erase?\r\n31=stop program?\r\n32=stop verify?\r\n"
    "33=stop read?\r\n34=no programmer\r\n35=cannot open\r\n36=Stop erase(F4)\r\n"
    "38=Stop program(F6)\r\n118=file not found\r\n";

class AppStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        RecordingUsb::instance().reset();
        dir.write("ftext.ini", kFtext);
        dir.write("itext.ini", kItext);
    }
    void startUp() {
        state.startUp(dir.folder());
        state.worker().waitUntilIdle();
    }
    std::vector<std::string> boxTexts() {
        std::vector<std::string> out;
        for (const auto& box : frontend.boxes())
            out.push_back(box.text);
        return out;
    }

    TempDir dir;
    ScriptedFrontend frontend;
    VirtualClock clock;
    UsbApi usb = RecordingUsb::api();
    AppState state{frontend, clock, usb};
};

TEST_F(AppStateTest, StartUpTakesCaptionsFromTheTextsAndRunsJobSevenFirst) {
    startUp();
    EXPECT_EQ(state.panel().text(kBtnErase), "Erase(F4)");
    EXPECT_EQ(state.panel().text(kLabelType), "");  // key not in the file: empty, not the template
    EXPECT_EQ(state.panel().text(kTextCapacity), "0");  // no text key: template caption
    EXPECT_EQ(state.panel().text(kEditFileName), "no file");
    EXPECT_EQ(state.panel().menuItem(kMenuFile)->caption, "File");
    EXPECT_EQ(state.panel().menuItem(kBtnErase)->caption, "Erase");
    EXPECT_TRUE(state.panel().menuGreyed(kCmdSaveFile));
    EXPECT_TRUE(state.panel().menuGreyed(kCmdCheckUpdate));
    EXPECT_TRUE(state.panel().menuGreyed(kCmdFeedback));
    EXPECT_FALSE(state.panel().visible(kProgressBar));
    // Switches file missing: all five switches on and the file written.
    EXPECT_TRUE(state.soundSwitchOn());
    EXPECT_TRUE(state.autoIdentifyOn());
    EXPECT_TRUE(std::filesystem::exists(dir.file("umod2.dll")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("log.txt")));

    // Job 7 ran framed by the state indications; its result is not reported.
    const auto frames = RecordingUsb::instance().frames();
    ASSERT_GE(frames.size(), 2u);
    EXPECT_EQ(frames[0][1] & 0x3F, 34);
    EXPECT_EQ(frames[0][13], 1);
    std::vector<int> states;
    for (const auto& frame : frames) {
        if ((frame[1] & 0x3F) == 34)
            states.push_back(frame[13]);
    }
    EXPECT_EQ(states, (std::vector<int>{1, 0}));
    EXPECT_EQ(frames[0][0], 0xA5);
    EXPECT_EQ(frames[0][19], 0x5A);
}

TEST_F(AppStateTest, MissingCatalogueIsReportedAndStartUpGoesOn) {
    startUp();
    const auto boxes = frontend.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "catalogue missing");
    EXPECT_EQ(boxes[0].caption, "Catalogue");
    EXPECT_EQ(boxes[0].icon, BoxIcon::Warning);
    EXPECT_FALSE(RecordingUsb::instance().frames().empty());
}

TEST_F(AppStateTest, AProgramFolderThatCannotBeWrittenIsReportedAndStartUpGoesOn) {
    const std::string folder = dir.folder() + "gone/";
    state.startUp(folder);
    state.worker().waitUntilIdle();
    const std::string notice =
        "The program folder " + folder + " cannot be written: no data file can be loaded.";
    EXPECT_NE(state.log().text().find(notice), std::string::npos);
    EXPECT_FALSE(RecordingUsb::instance().frames().empty()) << "identification still ran";

    AppState writable{frontend, clock, usb};
    writable.startUp(dir.folder());
    writable.worker().waitUntilIdle();
    EXPECT_EQ(writable.log().text().find("cannot be written"), std::string::npos);
}

TEST_F(AppStateTest, MissingTextFilesLeaveEmptyCaptionsButJobButtonsStillWork) {
    std::filesystem::remove(dir.file("ftext.ini"));
    std::filesystem::remove(dir.file("itext.ini"));
    int runs = 0;
    startUp();  // it registers the real jobs
    state.worker().registerJob(job::kErase, [&] { return static_cast<std::uint8_t>(++runs); });
    EXPECT_EQ(state.panel().text(kBtnErase), "");
    state.command(kBtnErase);
    state.worker().waitUntilIdle();
    EXPECT_EQ(runs, 1);
}

TEST_F(AppStateTest, JobButtonStartsItsJobOrStopsItByItsCaption) {
    int runs = 0;
    startUp();  // it registers the real jobs
    state.worker().registerJob(job::kErase, [&] { return static_cast<std::uint8_t>(++runs); });
    state.flags().stopErase = true;
    state.command(kBtnErase);
    state.worker().waitUntilIdle();
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(state.flags().stopErase.load());

    // While the job runs its button shows the running caption: a press is a stop request.
    state.panel().setText(kBtnErase, "Stop erase(F4)");
    state.command(kBtnErase);
    state.worker().waitUntilIdle();
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(state.flags().stopErase.load());
}

TEST_F(AppStateTest, FunctionKeysReachOnlyEnabledButtons) {
    int erases = 0;
    int blanks = 0;
    startUp();  // it registers the real jobs
    state.worker().registerJob(job::kErase, [&] { return static_cast<std::uint8_t>(++erases); });
    state.worker().registerJob(job::kBlankCheck,
                               [&] { return static_cast<std::uint8_t>(++blanks); });
    int batchWindows = 0;
    state.showBatchWindow = [&] { ++batchWindows; };

    state.panel().disableControl(kBtnErase);
    EXPECT_TRUE(state.keyPressed(Key::F4, false));  // consumed, but nothing starts
    EXPECT_TRUE(state.keyPressed(Key::F3, false));
    state.worker().waitUntilIdle();
    EXPECT_EQ(erases, 0);
    EXPECT_EQ(blanks, 1);

    state.panel().disableControl(kBtnBatch);
    EXPECT_TRUE(state.keyPressed(Key::F2, false));  // F2 whatever the button's state
    EXPECT_EQ(batchWindows, 1);

    EXPECT_FALSE(state.keyPressed(Key::O, false));  // plain O takes the normal path
    EXPECT_TRUE(state.escapeOrEnterPressed(false));
    EXPECT_TRUE(state.escapeOrEnterPressed(true));
}

TEST_F(AppStateTest, BatchButtonWithoutAutoIdentifyExplains) {
    int batchWindows = 0;
    state.showBatchWindow = [&] { ++batchWindows; };
    startUp();
    state.command(kCmdAutoIdentify);
    EXPECT_FALSE(state.autoIdentifyOn());
    state.command(kBtnBatch);
    EXPECT_EQ(batchWindows, 0);
    EXPECT_EQ(boxTexts().back(), "switch on auto-identify");
    EXPECT_EQ(frontend.boxes().back().icon, BoxIcon::Information);
}

TEST_F(AppStateTest, SwitchTogglesAreStoredAndShownAsCheckMarks) {
    startUp();
    state.command(kCmdSounds);
    state.command(kCmdBatchProgram);
    EXPECT_FALSE(state.panel().menuChecked(kCmdSounds));
    EXPECT_FALSE(state.panel().menuChecked(kCmdBatchProgram));
    EXPECT_EQ(dir.read("umod2.dll"), std::string("\x00\x01\x01\x00\x01", 5));

    // A greyed item does not toggle.
    state.panel().greyMenuCommand(kCmdSounds);
    state.command(kCmdSounds);
    EXPECT_EQ(dir.read("umod2.dll")[0], '\0');
}

TEST_F(AppStateTest, HelpAndChangeLogThatCannotBeFoundAreReported) {
    startUp();
    frontend.shellOpenResult(false);
    state.command(kCmdManual);
    ASSERT_EQ(frontend.opened().size(), 1u);
    EXPECT_EQ(frontend.opened()[0], dir.folder() + "KVQ_Nyra.html");
    EXPECT_EQ(boxTexts().back(), "file not found\n" + dir.folder() + "KVQ_Nyra.html");
}

TEST_F(AppStateTest, ChangeLogWithoutAProgramToOpenItNamesTheFile) {
    startUp();
    ASSERT_TRUE(std::filesystem::exists(state.logFilePath()));
    const std::size_t boxesBefore = frontend.boxes().size();

    // The log file is there, but the desktop has nothing that opens it.
    frontend.shellOpenResult(false);
    state.command(kCmdChangeLog);
    ASSERT_EQ(frontend.opened(), (std::vector<std::string>{state.logFilePath()}));
    const auto boxes = frontend.boxes();
    ASSERT_EQ(boxes.size(), boxesBefore + 1);
    EXPECT_EQ(boxes.back().text, "file not found\n" + dir.folder() + "log.txt");
    EXPECT_EQ(boxes.back().caption, "Notice");
    EXPECT_EQ(boxes.back().icon, BoxIcon::Warning);
    EXPECT_EQ(boxes.back().buttons, BoxButtons::Ok);

    // Opened: nothing to tell.
    frontend.shellOpenResult(true);
    state.command(kCmdChangeLog);
    EXPECT_EQ(frontend.opened().size(), 2u);
    EXPECT_EQ(frontend.boxes().size(), boxesBefore + 1);
}

// A desktop that learns only later whether its opener managed.
class LateOpenFrontend : public ScriptedFrontend {
public:
    using ScriptedFrontend::shellOpen;
    void shellOpen(const std::string& path, std::function<void(bool)> done) override {
        paths.push_back(path);
        pending.push_back(std::move(done));
    }
    std::vector<std::string> paths;
    std::vector<std::function<void(bool)>> pending;
};

TEST_F(AppStateTest, AFailureReportedAfterTheOpenStartedIsStillShown) {
    LateOpenFrontend late;
    AppState lateState{late, clock, usb};
    lateState.startUp(dir.folder());
    lateState.worker().waitUntilIdle();
    const std::size_t boxesBefore = late.boxes().size();

    lateState.command(kCmdChangeLog);
    lateState.command(kCmdManual);
    ASSERT_EQ(late.pending.size(), 2u);
    EXPECT_EQ(late.boxes().size(), boxesBefore);

    late.pending[1](false);
    late.pending[0](true);
    const auto boxes = late.boxes();
    ASSERT_EQ(boxes.size(), boxesBefore + 1);
    EXPECT_EQ(boxes.back().text, "file not found\n" + dir.folder() + "KVQ_Nyra.html");
    lateState.shutdown();
}

TEST_F(AppStateTest, AboutDialogGetsItsLineFromTheTexts) {
    dir.write("ftext.ini", std::string(kFtext) + "61=About this program\r\n");
    std::vector<std::string> shown;
    state.showAboutDialog = [&](const std::string& text) { shown.push_back(text); };
    startUp();
    state.command(kBtnAbout);
    state.command(kSysCmdAbout);
    EXPECT_EQ(shown, (std::vector<std::string>{"About this program", "About this program"}));
}

TEST_F(AppStateTest, TheDesktopLearnsTheTextLanguageBeforeTheFirstBox) {
    dir.write("ftext.ini", std::string(kFtext) + "62=zh_CN\r\n");
    std::optional<std::string> languageAtFirstBox;
    bool sawBox = false;
    frontend.setObserver([&](const FrontendCall& call) {
        if (call.kind == FrontendCall::Kind::MessageBox && !sawBox) {
            sawBox = true;
            languageAtFirstBox = frontend.language();
        }
    });
    startUp();  // the missing catalogue shows a box
    ASSERT_TRUE(sawBox);
    EXPECT_EQ(languageAtFirstBox, std::optional<std::string>("zh_CN"));
}

TEST_F(AppStateTest, EnglishTextsWithoutALanguageLeaveTheDesktopsOwn) {
    startUp();
    EXPECT_EQ(frontend.language(), std::optional<std::string>(""));
}

TEST_F(AppStateTest, CloseAsksBeforeStoppingARunningJob) {
    startUp();
    std::filesystem::create_directory(dir.file("temp"));
    dir.write("temp/tempFile.bin", "x");
    state.flags().eraseRunning = true;

    frontend.answerBox(BoxAnswer::Cancel);
    EXPECT_FALSE(state.closeRequested());
    EXPECT_FALSE(state.flags().stopErase.load());
    EXPECT_EQ(state.workerShared().quit.load(), 0);
    EXPECT_TRUE(std::filesystem::exists(dir.file("temp/tempFile.bin")));
    EXPECT_EQ(boxTexts().back(), "stop erase?");
    EXPECT_EQ(frontend.boxes().back().buttons, BoxButtons::OkCancel);

    ASSERT_EQ(state.link().connect(false), true);
    RecordingUsb::instance().calls.clear();
    frontend.answerBox(BoxAnswer::Ok);
    EXPECT_TRUE(state.closeRequested());
    EXPECT_TRUE(state.flags().stopErase.load());
    const auto writes = RecordingUsb::instance().callsNamed("interrupt_write");
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].bytes[1] & 0x3F, 9);
    EXPECT_EQ(writes[0].timeout, 100);
    EXPECT_FALSE(state.link().connected());
    EXPECT_FALSE(std::filesystem::exists(dir.file("temp")));
    EXPECT_EQ(state.workerShared().quit.load(), 1);
}

// The close handler runs on the window thread while the erase job waits for
// its reply on the worker: it must wait for that read, never overlap it.
TEST_F(AppStateTest, CloseDuringAnEraseWaitsForTheReadInProgress) {
    startUp();
    std::atomic<bool> reading{false};
    state.worker().registerJob(job::kErase, [&] {
        state.flags().eraseRunning = true;
        std::uint8_t reply[1];
        while (!state.flags().stopErase.load()) {
            reading = true;
            state.link().readReply(reply, 1, 1000);
        }
        state.flags().eraseRunning = false;
        return std::uint8_t{0};
    });
    {
        // The job's own read, not the drain of the link check before it.
        testing::CallHold hold([](const testing::UsbCall& call) {
            return call.name == "bulk_read" && call.timeout == 1000;
        });
        state.startJob(job::kErase);
        hold.waitUntilInside();
        ASSERT_TRUE(reading.load());
        RecordingUsb::instance().calls.clear();
        frontend.answerBox(BoxAnswer::Ok);
        std::atomic<bool> closed{false};
        std::thread window([&] { closed = state.closeRequested(); });
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_TRUE(RecordingUsb::instance().callsNamed("interrupt_write").empty())
            << "command 9 sent while the read was inside the library";
        hold.releaseCall();
        window.join();
        EXPECT_TRUE(closed.load());
    }
    state.shutdown();
    EXPECT_EQ(RecordingUsb::instance().overlaps.load(), 0);
    const auto writes = RecordingUsb::instance().callsNamed("interrupt_write");
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes[0].bytes[1] & 0x3F, 9);
    EXPECT_EQ(writes[0].timeout, 100);
    EXPECT_TRUE(state.flags().stopErase.load());
}

TEST_F(AppStateTest, CloseWithSeveralJobsStopsAtTheFirstCancel) {
    startUp();
    state.flags().programRunning = true;
    state.flags().readRunning = true;
    frontend.answerBox(BoxAnswer::Ok);
    frontend.answerBox(BoxAnswer::Cancel);
    EXPECT_FALSE(state.closeRequested());
    EXPECT_TRUE(state.flags().stopProgram.load());
    EXPECT_FALSE(state.flags().closeRequested.load());
    EXPECT_EQ(boxTexts(),
              (std::vector<std::string>{"catalogue missing", "stop program?", "stop read?"}));
}

TEST_F(AppStateTest, DeviceChangeNoticeRunsJobSevenAgain) {
    startUp();
    RecordingUsb::instance().calls.clear();
    state.windowMessage(kMsgDeviceChange);
    state.worker().waitUntilIdle();
    EXPECT_FALSE(RecordingUsb::instance().frames().empty());
    EXPECT_FALSE(state.workerShared().deviceChangeFlag.load());
}

}  // namespace
}  // namespace nyra

namespace nyra {
namespace {

using namespace ids;

constexpr const char* kCatalogueText =
    "$25 SPI FLASH\r\n#WINBOND:\r\n"
    "@W25X05(CL):256:4:64KB:N:300:EF3010:000000:3.3V:000\r\n"
    "@W25Q64FV:256:4:8MB:N:300:EF4017:00EF16:3.3V:000\r\n"
    "#MX:\r\n@MX25L1606E:256:4:2MB:N:300:C22015:00C214:3.3V:000\r\n"
    "$24 EEPROM\r\n#GENERIC:\r\n@24C02:8:N:256B:A0:100:000000:000000:5:100\r\n";

class AppStateCatalogueTest : public ::testing::Test {
protected:
    void SetUp() override {
        RecordingUsb::instance().reset();
        const BuildResult built = buildDatabase(kCatalogueText);
        ASSERT_TRUE(built.errors.empty());
        dir.write("database.dat", std::string(built.database.begin(), built.database.end()));
        state.startUp(dir.folder());
        state.worker().waitUntilIdle();
    }
    TempDir dir;
    ScriptedFrontend frontend;
    VirtualClock clock;
    UsbApi usb = RecordingUsb::api();
    AppState state{frontend, clock, usb};
};

TEST_F(AppStateCatalogueTest, StartUpFillsTheListsAndSelectsTheFirstChip) {
    EXPECT_TRUE(frontend.boxes().empty());
    EXPECT_EQ(state.panel().items(kListChipType),
              (std::vector<std::string>{"25 SPI FLASH", "24 EEPROM"}));
    EXPECT_EQ(state.panel().items(kListManufacturer), (std::vector<std::string>{"WINBOND", "MX"}));
    EXPECT_EQ(state.panel().items(kListDevice),
              (std::vector<std::string>{"W25X05(CL)", "W25Q64FV"}));
    EXPECT_EQ(state.panel().currentIndex(kListDevice), 0);
    EXPECT_EQ(state.selection().chipSize(), 65536u);
}

TEST_F(AppStateCatalogueTest, ChoosingAChipChangesWhatEveryCommandCarries) {
    state.listSelectionChanged(kListDevice, 1);
    EXPECT_EQ(state.selection().chipSize(), 8u << 20);
    EXPECT_NE(state.panel().text(kTextCapacity), "0");

    ASSERT_TRUE(state.link().connect(false));
    RecordingUsb::instance().calls.clear();
    ASSERT_TRUE(state.channel().sendCommand(cmd::kEndOfOperation, 100));
    const auto frame = RecordingUsb::instance().frames().at(0);
    EXPECT_EQ(frame[6], 0x00);
    EXPECT_EQ(frame[7], 0x80);  // 8 MiB, most significant byte first
    EXPECT_EQ(frame[0], 0xA5);
    EXPECT_EQ(frame[19], 0x5A);

    // Another type, chosen in the window, refills the makers and devices.
    state.panel().setCurrentIndex(kListChipType, 1);
    state.command(kListChipType);
    EXPECT_EQ(state.panel().items(kListDevice), std::vector<std::string>{"24C02"});
    EXPECT_EQ(state.selection().chipSize(), 256u);
}

}  // namespace
}  // namespace nyra

namespace nyra {
namespace {

using namespace ids;

TEST(AppStateLog, CatalogueProblemsAreLoggedInTheViewAndTheLogFile) {
    RecordingUsb::instance().reset();
    TempDir dir;
    // A chip line with too few fields is left out, and the log says so.
    const auto database = catalogue_codec::scramble(
        "$25 SPI FLASH\r\n#WINBOND:\r\n@W25Q64FV:256:4:8MB:N:300:EF4017:00EF16:3.3V:000\r\n"
        "@BROKEN:256:4\r\n");
    ASSERT_TRUE(database.has_value());
    dir.write("database.dat", std::string(database->begin(), database->end()));
    ScriptedFrontend frontend;
    VirtualClock clock({2026, 3, 4, 5, 6, 7, 0});
    UsbApi usb = RecordingUsb::api();
    AppState state(frontend, clock, usb);
    state.startUp(dir.folder());
    state.worker().waitUntilIdle();

    EXPECT_EQ(state.panel().items(kListDevice), std::vector<std::string>{"W25Q64FV"});
    const std::string view = state.log().text();
    EXPECT_NE(view.find("line 4 has fewer than 10 fields"), std::string::npos) << view;

    state.logLine("second");
    EXPECT_EQ(state.log().text(), view + "\r\n5:06:07  second");
    EXPECT_EQ(state.panel().text(kLogView), "") << "the log lives in its model";
    const std::string file = dir.read("log.txt");
    EXPECT_EQ(file.rfind("\r\n2026\\03\\04 05:06:07\tChip catalogue line 4", 0), 0u) << file;
    EXPECT_TRUE(file.ends_with("\r\n2026\\03\\04 05:06:07\tsecond")) << file;
}

}  // namespace
}  // namespace nyra
