// SPDX-License-Identifier: GPL-3.0-or-later
// What scripts rely on, from outside: for each command and each way a run can
// end, the exit status, exactly one JSON object whose "exit" is that status,
// and every file of the user's byte for byte as it should be.
#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "cli_process.h"
#include "detect_command.h"
#include "job_command.h"
#include "support/small_disk.h"

namespace nyra::cli {
namespace {

constexpr const char* kSimChip = "W25X40";
constexpr const char* kChip = "W25X40(L/V/AL/AV/BL/BV/CL)";  // its catalogue name
constexpr std::size_t kChipSize = 512 * 1024;
const std::string kSwitches("\x01\x01\x00\x01\x01", 5);
const std::string kOldOutput = "the user's earlier file, which no failed run may touch";

constexpr int kSignalAfterMs = 1500;

enum class Holds { Erased, Image };

struct Row {
    std::vector<std::string> args;
    std::string sim;  // more simulator settings
    Holds holds;
    int exit;
    int signal = 0;            // sent a moment after the start
    bool json = true;          // the command takes --json: exactly one object is expected
    int stopWithinMs = 12000;  // after the signal: the transfer under way ends first
};

// Shown in the test's name: the command line and what the simulator does.
void PrintTo(const Row& row, std::ostream* out) {
    for (const std::string& word : row.args)
        *out << word << ' ';
    *out << "| " << row.sim;
}

// The files a run may leave in the program folder; anything else (a working
// file, a temporary copy, a run's folder) means it touched what it should not.
bool expectedName(const std::string& name) {
    static const std::vector<std::string> names = {
        "img.bin",   "other.bin", "out.bin",    "chip.img",   "sim.conf",
        "umod2.dll", "log.txt",   "stdout.txt", "stderr.txt", "database.dat",
        "ftext.ini", "itext.ini", "rwb_mod.so", "sound",      "temp"};
    return std::find(names.begin(), names.end(), name) != names.end() || name.ends_with(".chm") ||
           name.ends_with(".ini") || name.ends_with(".pdf") || name.ends_with(".html");
}

int jsonExit(const std::string& line) {
    const std::size_t at = line.rfind("\"exit\":");
    return at == std::string::npos ? -1 : std::stoi(line.substr(at + 7));
}

class CliContract : public CliProcess {
protected:
    Exit runRow(const Row& row) {
        const std::string image = randomFile(dir, "img.bin", 300000);
        randomFile(dir, "other.bin", 300000, 777);
        dir.write("out.bin", kOldOutput);
        dir.write("umod2.dll", kSwitches);
        std::string chip(kChipSize, '\xFF');
        if (row.holds == Holds::Image)
            chip.replace(0, image.size(), dir.read("img.bin"));
        dir.write("chip.img", chip);
        std::vector<std::string> args = row.args;
        if (row.json)
            args.push_back("--json");
        RunSignal signal;
        signal.signal = row.signal;
        signal.afterMs = kSignalAfterMs;
        signal.killAfterMs = 60000;
        return runIn(dir, program, args, keptChip(kSimChip, row.sim), {}, {}, signal);
    }
};

const Row kRows[] = {
    // Success.
    {{"read", "out.bin"}, "", Holds::Image, 0},
    {{"program", "img.bin"}, "", Holds::Erased, 0},
    {{"erase"}, "", Holds::Image, 0},
    {{"blank"}, "", Holds::Erased, 0},
    {{"verify", "img.bin"}, "", Holds::Image, 0},
    {{"auto", "img.bin"}, "", Holds::Erased, 0},
    {{"read", "out.bin", "--chip", kChip}, "", Holds::Image, 0},
    // Content differs: its own status, not a failure of the programmer.
    {{"blank"}, "", Holds::Image, kExitVerifyMismatch},
    {{"verify", "other.bin"}, "", Holds::Image, kExitVerifyMismatch},
    // Usage.
    {{"read"}, "", Holds::Image, kExitUsage},
    {{"erase", "--yes"}, "", Holds::Image, kExitUsage},
    {{"read", "out.bin", "--bogus"}, "", Holds::Image, kExitUsage},
    {{"read", "out.bin", "--chip", "NOSUCH"}, "", Holds::Image, kExitUsage},
    {{"firmware", "--chip", kChip}, "", Holds::Image, kExitUsage, 0, false},
    {{"upgrade", "x.nyr", "--yes"}, "", Holds::Image, kExitUsage, 0, false},
    {{"detect", "--json"}, "", Holds::Image, kExitUsage, 0, false},
    // No programmer.
    {{"read", "out.bin"}, "programmers=0\n", Holds::Image, kExitNoProgrammer},
    {{"erase", "--chip", kChip}, "programmers=0\n", Holds::Image, kExitNoProgrammer},
    {{"demo"}, "programmers=0\n", Holds::Image, kExitNoProgrammer},
    // Unplugged in the middle of the job.
    {{"read", "out.bin"}, "fault.unplug_after=100000\n", Holds::Image, kExitNoProgrammer},
    {{"program", "img.bin"}, "fault.unplug_after=100000\n", Holds::Erased, kExitNoProgrammer},
    {{"verify", "img.bin"}, "fault.unplug_after=100000\n", Holds::Image, kExitNoProgrammer},
    // The job failed.
    {{"program", "img.bin"}, "fault.refuse=1:always\n", Holds::Erased, kExitJobFailed},
    {{"read", "out.bin"}, "fault.failed_reads=always@40\n", Holds::Image, kExitJobFailed},
    {{"read", "out.bin"}, "fault.pull_chip_after=100000\n", Holds::Image, kExitJobFailed},
    {{"program", "missing.bin"}, "", Holds::Erased, kExitJobFailed},
    // No chip that can be named: an EEPROM answers with its family only.
    {{"read", "out.bin"}, "chip=AT24C02\n", Holds::Image, kExitNotIdentified},
    // Stopped: Ctrl-C, SIGTERM and SIGHUP alike, the close still runs.
    {{"read", "out.bin"}, "fault.stall=always@40\n", Holds::Image, kExitStopped, SIGINT},
    {{"read", "out.bin"}, "fault.stall=always@40\n", Holds::Image, kExitStopped, SIGTERM},
    {{"read", "out.bin"}, "fault.stall=always@40\n", Holds::Image, kExitStopped, SIGHUP},
    {{"read", "out.bin", "--chip", kChip},
     "fault.stall=always@40\n",
     Holds::Image,
     kExitStopped,
     SIGHUP},
    // In the middle of a 40 s chip erase at the part's own speed.
    {{"erase", "--chip", "W25Q128FV"},
     "chip=W25Q128FV\ntiming=1\n",
     Holds::Image,
     kExitStopped,
     SIGINT},
    {{"erase", "--chip", "W25Q128FV"},
     "chip=W25Q128FV\ntiming=1\n",
     Holds::Image,
     kExitStopped,
     SIGHUP},
    // Stopped while the socket is asked: identification ends its probes first,
    // up to three stalled transfers.
    {{"blank", "--chip", kChip},
     "fault.stall=always@10\n",
     Holds::Erased,
     kExitStopped,
     SIGTERM,
     true,
     20000},
    {{"erase", "--chip", kChip}, "fault.stall=always@20\n", Holds::Image, kExitStopped, SIGINT},
    // The commands with options of their own: the same statuses, the same files.
    {{"otp", "read", "out.bin"}, "chip=W25Q128FV\n", Holds::Erased, 0, 0, false},
    {{"otp", "read", "out.bin"},
     "chip=W25Q128FV\nfault.otp_refuse=always\n",
     Holds::Erased,
     kExitJobFailed,
     0,
     false},
    {{"otp", "read", "out.bin"}, "programmers=0\n", Holds::Erased, kExitNoProgrammer, 0, false},
    {{"otp", "read"}, "", Holds::Erased, kExitUsage, 0, false},
    {{"otp", "read", "out.bin", "--lock"}, "", Holds::Erased, kExitUsage, 0, false},
    {{"otp", "read", "out.bin", "--usb-library"}, "", Holds::Erased, kExitUsage, 0, false},
    {{"firmware"}, "", Holds::Erased, 0, 0, false},
    {{"firmware"}, "programmers=0\n", Holds::Erased, kExitNoProgrammer, 0, false},
    {{"firmware", "extra"}, "", Holds::Erased, kExitUsage, 0, false},
    {{"batch", "--mode", "bogus"}, "", Holds::Erased, kExitUsage, 0, false},
    {{"batch", "--mode", "same", "--file", "img.bin", "--steps", "erase,program,verify", "--count",
      "1"},
     "",
     Holds::Image,
     0,
     0,
     false},
    {{"batch", "--mode", "same", "--file", "img.bin"},
     "programmers=0\n",
     Holds::Erased,
     kExitNoProgrammer,
     0,
     false},
    {{"batch", "--mode", "same", "--file", "img.bin", "--count", "1"},
     "fault.unplug_after=100000\n",
     Holds::Erased,
     kExitNoProgrammer,
     0,
     false},
    // A series waiting for its next chip stops on SIGTERM like Ctrl-C.
    {{"batch", "--mode", "same", "--file", "img.bin", "--count", "2"},
     "",
     Holds::Erased,
     kExitStopped,
     SIGTERM,
     false},
};

class CliContractRow : public CliContract, public ::testing::WithParamInterface<Row> {};

TEST_P(CliContractRow, EndsWithItsStatusItsObjectAndTheFilesAsPromised) {
    const Row& row = GetParam();

    std::string what;
    for (const std::string& word : row.args)
        what += word + " ";
    SCOPED_TRACE(what + "| " + row.sim);
    const Exit run = runRow(row);
    EXPECT_EQ(run.status, row.exit) << run.err;
    // A stop ends the job as its stop button would: its waits at once, a USB
    // transfer under way within its time-out (5 s for a probe or a read).
    if (row.signal != 0) {
        EXPECT_LT(run.elapsedMs, kSignalAfterMs + row.stopWithinMs) << run.err;
    }
    if (row.json) {
        // One object on one line, whatever happened.
        ASSERT_FALSE(run.out.empty()) << run.err;
        EXPECT_EQ(run.out.front(), '{') << run.out;
        EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << run.out;
        EXPECT_EQ(jsonExit(run.out), run.status) << run.out;
    } else if (run.status == kExitUsage) {
        EXPECT_EQ(run.out, "");
    }
    // The user's files: only a read that succeeded replaces its file,
    // with the whole chip; the switches file never changes.
    const bool readDone = row.args[0] == "read" && row.exit == 0;
    const bool otpReadDone = row.args[0] == "otp" && row.args[1] == "read" && row.exit == 0;
    std::string chipImage(kChipSize, '\xFF');
    chipImage.replace(0, 300000, dir.read("img.bin"));
    const std::string erasedOtpArea(768, '\xFF');
    EXPECT_TRUE(dir.read("out.bin") == (readDone      ? chipImage
                                        : otpReadDone ? erasedOtpArea
                                                      : kOldOutput));
    EXPECT_EQ(dir.read("umod2.dll"), kSwitches);
    for (const auto& entry : std::filesystem::directory_iterator(dir.folder())) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(expectedName(name)) << name;
    }
    // A job that wrote says so only when the chip holds what it wrote.
    const std::string chip = dir.read("chip.img");
    if (row.exit == 0 && (row.args[0] == "program" || row.args[0] == "auto")) {
        EXPECT_TRUE(chip == chipImage);
    }
    if (row.exit == 0 && row.args[0] == "erase") {
        EXPECT_EQ(chip.find_first_not_of('\xFF'), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryWayARunEnds, CliContractRow, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) {
                             return std::to_string(info.index) + "_" + info.param.args[0];
                         });

TEST_F(CliContract, HelpGoesToStdoutAndListsOnlyTheCommandsOwnOptions) {
    const Exit overview = runIn(dir, program, {"--help"}, config(kSimChip));
    EXPECT_EQ(overview.status, 0);
    EXPECT_NE(overview.out.find("usage: kvq-cli"), std::string::npos);
    EXPECT_EQ(overview.err, "");
    const Exit upgrade = runIn(dir, program, {"upgrade", "--help"}, config(kSimChip));
    EXPECT_EQ(upgrade.status, 0);
    EXPECT_NE(upgrade.out.find("--usb-library"), std::string::npos);
    for (const char* foreign : {"--chip", "--yes", "--json"})
        EXPECT_EQ(upgrade.out.find(foreign), std::string::npos) << foreign;
    const Exit program_ = runIn(dir, program, {"program", "--help"}, config(kSimChip));
    for (const char* own : {"--chip", "--yes", "--json", "--usb-library"})
        EXPECT_NE(program_.out.find(own), std::string::npos) << own;
}

TEST_F(CliContract, TheDemoHonoursItsOptions) {
    const Exit json = runIn(dir, program, {"demo", "--json"}, config(kSimChip));
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_NE(json.out.find("\"chip_identity\":\"EF3013\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"exit\":0}"), std::string::npos) << json.out;
    const Exit noLibrary =
        runIn(dir, program, {"demo", "--usb-library", dir.file("none.so")}, config(kSimChip));
    EXPECT_EQ(noLibrary.status, kExitNoUsbLibrary);
}

// Two runs in one folder at once, each on its own programmer and chip: each
// file gets its own chip's image, never the other's or a mix.
TEST_F(CliContract, TwoRunsInOneFolderNeverShareWorkingFiles) {
    const std::string a = randomFile(dir, "a.src", kChipSize, 1);
    const std::string b = randomFile(dir, "b.src", kChipSize, 2);
    for (int round = 0; round < 3; ++round) {
        const std::string confA = config(kSimChip, "image=" + a + "\n", "a.conf");
        // Two programmers: one process drives each.
        const std::string confB = config(kSimChip, "image=" + b + "\nserial=100002\n", "b.conf");
        Exit runA, runB;
        std::thread first([&] {
            runA = runIn(dir, program, {"read", "a.bin"}, confA, {}, {}, {}, "a");
        });
        std::thread second([&] {
            runB = runIn(dir, program, {"read", "b.bin"}, confB, {}, {}, {}, "b");
        });
        first.join();
        second.join();
        ASSERT_EQ(runA.status, 0) << runA.err;
        ASSERT_EQ(runB.status, 0) << runB.err;
        EXPECT_TRUE(dir.read("a.bin") == dir.read("a.src"));
        EXPECT_TRUE(dir.read("b.bin") == dir.read("b.src"));
    }
}

// Inputs that are no regular file never hold the run, and output onto a full
// disk keeps the old file and says why.
TEST_F(CliContract, SpecialFilesAndAFullDiskNeverHoldTheRunOrLoseAFile) {
    RunSignal guard;
    guard.killAfterMs = 30000;
    const Exit zero = runIn(dir, program, {"program", "/dev/zero", "--chip", kChip},
                            config(kSimChip), {}, {}, guard);
    EXPECT_EQ(zero.status, kExitJobFailed) << zero.err;
    EXPECT_NE(zero.err.find("Not a regular file"), std::string::npos) << zero.err;

    ASSERT_EQ(::mkfifo(dir.file("fifo.bin").c_str(), 0644), 0);
    const Exit fifo = runIn(dir, program, {"verify", "fifo.bin", "--chip", kChip}, config(kSimChip),
                            {}, {}, guard);
    EXPECT_EQ(fifo.status, kExitJobFailed) << fifo.err;

    std::filesystem::remove(dir.file("log.txt"));
    ASSERT_EQ(::mkfifo(dir.file("log.txt").c_str(), 0644), 0);
    const Exit log =
        runIn(dir, program, {"erase", "--chip", kChip}, config(kSimChip), {}, {}, guard);
    EXPECT_EQ(log.status, 0) << log.err;

    SmallDisk disk(256);
    if (!disk.available())
        GTEST_SKIP() << "no tmpfs can be mounted here";
    const std::string old(4096, 'k');
    {
        std::ofstream out(disk.file("read.bin"), std::ios::binary);
        out << old;
    }
    disk.fill();
    const Exit full =
        runIn(dir, program, {"read", disk.file("read.bin"), "--chip", kChip}, config(kSimChip));
    EXPECT_EQ(full.status, kExitJobFailed) << full.err;
    EXPECT_NE(full.err.find("No space left"), std::string::npos) << full.err;
    std::ifstream in(disk.file("read.bin"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), old);
}

}  // namespace
}  // namespace nyra::cli
