// SPDX-License-Identifier: GPL-3.0-or-later
// The built kvq-cli as a process on the simulator; the chip's contents
// persist in an image file from one run to the next.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/text_table.h"
#include "cli_process.h"
#include "detect_command.h"
#include "job_command.h"
#include "ops/job_texts.h"

namespace nyra::cli {
namespace {

TEST_F(CliProcess, PrintsTheMatchedChipAndExitsWithZero) {
    const Exit run = runIn(dir, program, {"detect"}, config("GD25Q32"));
    EXPECT_EQ(run.status, kExitChipFound) << run.err;
    EXPECT_EQ(run.out, "25 SPI FLASH : GIGADEVICE : GD25Q32(B) : 32Mbits/4Mbytes\n");
    // The texts of the program folder, not built-in words.
    TextTable texts;
    texts.loadFrom(dir.folder());
    EXPECT_NE(run.err.find(texts.text(itext(73)) + "\n"), std::string::npos) << run.err;
    EXPECT_TRUE(dir.exists("log.txt"));
}

TEST_F(CliProcess, TheSharedIdCaseListsTheRecordsAfterTheSelection) {
    const Exit run = runIn(dir, program, {"detect"}, config("W25Q128FV"));
    EXPECT_EQ(run.status, kExitChipFound) << run.err;
    EXPECT_EQ(run.out,
              "25 SPI FLASH : WINBOND : W25Q128BV : 128Mbits/16Mbytes\n"
              "25 SPI FLASH : WINBOND : W25Q128BV : 128Mbits/16Mbytes\n"
              "25 SPI FLASH : WINBOND : W25Q128FV : 128Mbits/16Mbytes\n"
              "25 SPI FLASH : WINBOND : W25Q128JV : 128Mbits/16Mbytes\n"
              "25 SPI FLASH : SPANSION/CYPRESS : S25FL128K : 128Mbits/16Mbytes\n");
}

TEST_F(CliProcess, VersionIsPrintedWithoutTouchingTheFolder) {
    const Exit run = runIn(dir, program, {"--version"}, config("GD25Q32"));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "kvq-cli 2.1\n");
    EXPECT_FALSE(dir.exists("log.txt"));
    // Only on its own: with a command it is an unknown option.
    EXPECT_EQ(runIn(dir, program, {"detect", "--version"}, config("GD25Q32")).status, kExitUsage);
}

TEST_F(CliProcess, TheProgramFolderCanBeNamedApartFromTheCurrentDirectory) {
    // Run from an empty folder: the catalogue, texts and log are the named
    // folder's, while a file name given stays relative to where it ran.
    TempDir elsewhere;
    const Exit run = runIn(dir, program, {"read", "out.bin"}, config("GD25Q32"),
                           {"NYRA_PROGRAM_FOLDER=" + dir.folder()}, elsewhere.folder());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(elsewhere.read("out.bin").size(), 4u << 20);
    // Not a terminal: the progress alone on standard output, one line per ten
    // percent, each the first percent of its tenth.
    std::vector<int> tenths;
    for (std::size_t at = 0; at < run.out.size();) {
        const std::size_t end = std::min(run.out.find('\n', at), run.out.size());
        const std::string line = run.out.substr(at, end - at);
        ASSERT_TRUE(!line.empty() && line.back() == '%' &&
                    line.find_first_not_of("0123456789") == line.size() - 1)
            << line;
        tenths.push_back(std::stoi(line) / 10);
        at = end + 1;
    }
    EXPECT_EQ(tenths, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10})) << run.out;
    EXPECT_TRUE(dir.exists("log.txt"));
    EXPECT_FALSE(elsewhere.exists("log.txt"));
    EXPECT_FALSE(elsewhere.exists("u_mod0.dll"));
}

TEST_F(CliProcess, UsageErrorsListTheExitStatus) {
    for (const auto& args : {std::vector<std::string>{}, {"detect", "extra"}, {"nothing"}}) {
        const Exit run = runIn(dir, program, args, config("GD25Q32"));
        EXPECT_EQ(run.status, kExitUsage);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("usage: kvq-cli"), std::string::npos) << run.err;
        for (const int code : {kExitChipFound, kExitNoUsbLibrary, kExitUsage, kExitFamilyOnly,
                               kExitUnknownId, kExitNoAnswer, kExitNoProgrammer})
            EXPECT_NE(run.err.find(std::to_string(code) + " "), std::string::npos) << code;
    }
    // Nothing ran: no log was started in the folder.
    EXPECT_FALSE(dir.exists("log.txt"));
}

TEST_F(CliProcess, AutoThenReadGivesBackTheSameBytes) {
    randomFile(dir, "img.bin", 100000);
    const Exit written = runIn(dir, program, {"auto", "img.bin"}, keptChip("GD25Q32"));
    ASSERT_EQ(written.status, 0) << written.err;
    EXPECT_NE(written.out.find("100%"), std::string::npos) << "percent lines off a terminal";
    // Each step's bar starts again; off a terminal that leaves no empty line.
    EXPECT_EQ(written.out.find("\n\n"), std::string::npos) << written.out;
    EXPECT_NE(written.out.front(), '\n');

    const Exit read = runIn(dir, program, {"read", "out.bin", "--json"}, keptChip("GD25Q32"));
    ASSERT_EQ(read.status, 0) << read.err;
    const std::string image = dir.read("out.bin");
    ASSERT_EQ(image.size(), 4u << 20);
    EXPECT_TRUE(image.substr(0, 100000) == dir.read("img.bin"));
    EXPECT_EQ(image.find_first_not_of('\xFF', 100000), std::string::npos);
    EXPECT_EQ(read.out.rfind("{\"job\":\"read\",\"chip\":\"GD25Q32(B)\",\"bytes\":4194304,", 0), 0u)
        << read.out;
    EXPECT_NE(read.out.find("\"result\":\"ok\""), std::string::npos);
}

TEST_F(CliProcess, AVerifyMismatchExitsWithItsOwnStatus) {
    randomFile(dir, "img.bin", 5000);
    std::string bytes = dir.read("img.bin");
    ASSERT_EQ(runIn(dir, program, {"auto", "img.bin"}, keptChip("GD25Q32")).status, 0);
    bytes[10] = static_cast<char>(~bytes[10]);
    bytes[20] = static_cast<char>(~bytes[20]);
    dir.write("changed.bin", bytes);

    // Without --yes the first mismatch ends the comparison.
    const Exit first =
        runIn(dir, program, {"verify", "changed.bin", "--json"}, keptChip("GD25Q32"));
    EXPECT_EQ(first.status, kExitVerifyMismatch) << first.err;
    EXPECT_NE(first.out.find("\"mismatches\":1,"), std::string::npos) << first.out;
    const Exit all =
        runIn(dir, program, {"verify", "changed.bin", "--yes", "--json"}, keptChip("GD25Q32"));
    EXPECT_EQ(all.status, kExitVerifyMismatch) << all.err;
    EXPECT_NE(all.out.find("\"mismatches\":2,"), std::string::npos) << all.out;
}

TEST_F(CliProcess, AMissingOrUnpluggedProgrammerFailsTheJob) {
    const Exit missing = runIn(dir, program, {"erase"}, config("GD25Q32", "programmers=0\n"));
    EXPECT_EQ(missing.status, kExitNoProgrammer) << missing.err;

    randomFile(dir, "img.bin", 300000);
    const Exit unplugged = runIn(dir, program, {"program", "img.bin"},
                                 config("GD25Q32", "fault.unplug_after=100000\n"));
    EXPECT_EQ(unplugged.status, kExitNoProgrammer) << unplugged.err;
    EXPECT_FALSE(unplugged.err.empty());
}

TEST_F(CliProcess, ANamedChipIsUsedAndTheAutoIdentifySwitchIsKept) {
    randomFile(dir, "img.bin", 2048);
    // The user's switches, which a run's own settings never reach.
    const std::string switches("\x01\x01\x00\x01\x01", 5);
    dir.write("umod2.dll", switches);
    const Exit run =
        runIn(dir, program, {"program", "img.bin", "--chip", "24C16"}, keptChip("24C16"));
    ASSERT_EQ(run.status, 0) << run.err;
    const Exit check =
        runIn(dir, program, {"verify", "img.bin", "--chip", "24C16"}, keptChip("24C16"));
    EXPECT_EQ(check.status, 0) << check.err;
    EXPECT_EQ(dir.read("umod2.dll"), switches);
    const Exit unnamed = runIn(dir, program, {"erase"}, keptChip("24C16"));
    EXPECT_EQ(unnamed.status, kExitNotIdentified) << unnamed.err;
    EXPECT_EQ(dir.read("umod2.dll"), switches);
    const Exit unknown = runIn(dir, program, {"erase", "--chip", "NOSUCH"}, keptChip("24C16"));
    EXPECT_EQ(unknown.status, kExitUsage);
}

// A named chip turns identification off, yet the socket is asked: an empty
// one ends the run before any job command, another family is refused, and
// nothing of the chip is read, checked or written as if it were there.
TEST_F(CliProcess, ANamedChipIsCheckedAgainstTheSocket) {
    randomFile(dir, "img.bin", 256);
    struct Case {
        const char* socket;
        std::vector<std::string> args;
        int status;
    };
    const Case cases[] = {
        {"none", {"blank", "--chip", "W25Q32FV"}, kExitNoAnswer},
        {"none", {"read", "out.bin", "--chip", "24C02"}, kExitNoAnswer},
        {"none", {"program", "img.bin", "--chip", "24C02"}, kExitNoAnswer},
        {"GD25Q32", {"read", "out.bin", "--chip", "24C02"}, kExitJobFailed},
        {"AT24C02", {"erase", "--chip", "W25Q32FV"}, kExitJobFailed},
        {"AT24C02", {"read", "out.bin", "--chip", "24C02"}, 0},
        {"GD25Q32", {"blank", "--chip", "W25Q32FV"}, 0},  // same family, another maker
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.socket) + " " + c.args[0] + " " + c.args.back());
        std::filesystem::remove(dir.file("out.bin"));
        std::vector<std::string> args = c.args;
        args.push_back("--json");
        const Exit run = runIn(dir, program, args, config(c.socket));
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_EQ(dir.exists("out.bin"), c.status == 0 && c.args[0] == "read");
        EXPECT_NE(run.out.find(c.status == 0 ? "\"result\":\"ok\"" : "\"result\":\"failed\""),
                  std::string::npos)
            << run.out;
    }
}

TEST_F(CliProcess, FirmwarePrintsTheSerialNumberAndVersionOrFails) {
    const Exit run =
        runIn(dir, program, {"firmware"}, config("W25Q32FV", "serial=4711\nfirmware=0x1A\n"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(":004711 "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(":KVQ_Nyra firmware V2.A"), std::string::npos) << run.out;

    const Exit none = runIn(dir, program, {"firmware"}, config("W25Q32FV", "firmware=0xFF\n"));
    EXPECT_EQ(none.status, kExitJobFailed);
    EXPECT_EQ(none.out, "");
    const Exit missing = runIn(dir, program, {"firmware"}, config("W25Q32FV", "programmers=0\n"));
    EXPECT_EQ(missing.status, kExitNoProgrammer) << missing.err;
}

TEST_F(CliProcess, UpgradeWithTheDemoFileChangesTheVersionAndTheBrokenOneIsRefused) {
    const std::filesystem::path firmware = *testing::demoFolder() / "firmware";
    const std::string sim = keptChip("W25Q32FV", "firmware=0x21\n");
    const Exit broken =
        runIn(dir, program, {"upgrade", (firmware / "demo-bad-checksum.nyr").string()}, sim);
    EXPECT_EQ(broken.status, kExitJobFailed);
    TextTable texts;
    texts.loadFrom(dir.folder());
    EXPECT_NE(broken.err.find(texts.text(itext(101))), std::string::npos) << broken.err;

    const Exit done = runIn(dir, program, {"upgrade", (firmware / "demo-v2.3.nyr").string()}, sim);
    EXPECT_EQ(done.status, 0) << done.err;
    EXPECT_NE(done.err.find(texts.text(itext(113))), std::string::npos) << done.err;
    EXPECT_NE(done.out.find("100%"), std::string::npos) << done.out;
    // Each text a phase ends with is said once.
    std::vector<std::string> said;
    for (std::size_t at = 0; at < done.err.size();) {
        const std::size_t end = std::min(done.err.find('\n', at), done.err.size());
        said.push_back(done.err.substr(at, end - at));
        EXPECT_FALSE(said.back().ends_with('%')) << "a percent belongs to the bar: " << said.back();
        at = end + 1;
    }
    std::sort(said.begin(), said.end());
    EXPECT_EQ(std::adjacent_find(said.begin(), said.end()), said.end()) << done.err;
    // The next run of the demo device runs the new firmware.
    const Exit after = runIn(dir, program, {"firmware"}, sim);
    EXPECT_EQ(after.status, 0) << after.err;
    EXPECT_NE(after.out.find("firmware V2.3"), std::string::npos) << after.out;
}

// A production line: the simulated feeder swaps each chip that passed.
TEST_F(CliProcess, ABatchSeriesGivesEachChipItsIdAndStopsOnTheFirstFailure) {
    randomFile(dir, "fw.bin", 3000);
    const std::string line = config("W25X40", "feeder=on\nfeeder.out=20ms\nfeeder.bad=1@1\n");
    const std::vector<std::string> series{
        "batch", "--mode",      "id", "--file",  "fw.bin", "--address", "0x1000",   "--start",
        "100",   "--id-length", "2",  "--count", "5",      "--json",    "--record", "line.csv"};
    const Exit run = runIn(dir, program, series, line);
    EXPECT_EQ(run.status, kExitJobFailed) << run.err;
    const auto lines = [](const std::string& text) {
        std::vector<std::string> found;
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t end = text.find('\n', at);
            found.push_back(text.substr(at, end - at));
            at = end == std::string::npos ? text.size() : end + 1;
        }
        return found;
    };
    const auto objects = lines(run.out);
    ASSERT_EQ(objects.size(), 3u) << run.out;
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(objects[i].rfind("{\"chip\":" + std::to_string(i + 1) + ",\"id\":" +
                                       std::to_string(100 + i) + ",\"device\":\"W25X40",
                                   0),
                  0u)
            << objects[i];
        EXPECT_NE(objects[i].find(i < 2 ? "\"result\":\"passed\"" : "\"result\":\"failed\""),
                  std::string::npos);
    }
    EXPECT_NE(run.err.find("the series stopped at ID 102\n"), std::string::npos) << run.err;
    auto record = lines(dir.read("line.csv"));
    ASSERT_EQ(record.size(), 4u);
    EXPECT_EQ(record[0], "time,chip,id,data_checksum,steps,result,file,station");
    EXPECT_NE(record[1].find(",100,"), std::string::npos);
    EXPECT_NE(record[3].find(",102,"), std::string::npos);
    // The user's document, and the programmer's serial number as the station.
    EXPECT_TRUE(record[3].ends_with(",failed,fw.bin,100001")) << record[3];
    EXPECT_NE(record[1].find(",erase+program+verify,passed"), std::string::npos) << record[1];
    // The chip got the file, 0xFF up to the fill address and its ID there,
    // low byte first: the data checksum says so.
    std::uint64_t sum = 0;
    for (const char c : dir.read("fw.bin"))
        sum += static_cast<unsigned char>(c);
    sum += 0xFFu * (0x1000 - 3000) + 100;
    char expected[16];
    std::snprintf(expected, sizeof expected, ",%010llX,", static_cast<unsigned long long>(sum));
    EXPECT_NE(record[1].find(expected), std::string::npos) << record[1] << " " << expected;

    // A good chip in the socket: the failed ID goes to it, and the record grows.
    const Exit again = runIn(
        dir, program,
        {"batch", "--mode", "id", "--file", "fw.bin", "--address", "0x1000", "--start", "102",
         "--id-length", "2", "--count", "1", "--record", "line.csv", "--steps", "program,verify"},
        line);
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out.rfind("chip 1: ID 102 passed (W25X40", 0), 0u) << again.out;
    record = lines(dir.read("line.csv"));
    ASSERT_EQ(record.size(), 5u);
    EXPECT_NE(record[4].find(",102,"), std::string::npos);
    EXPECT_NE(record[4].find(",program+verify,passed"), std::string::npos) << record[4];
}

// A list document that is not there: the chip's line says which and why, and
// no checksum of the last chip's data stands in for its own.
TEST_F(CliProcess, AMissingListDocumentIsNamedWithItsReason) {
    randomFile(dir, "a.bin", 100);
    const std::string line = config("W25X40", "feeder=on\nfeeder.out=20ms\n");
    const Exit run = runIn(
        dir, program, {"batch", "--mode", "list", "--record", "r.csv", "a.bin", "b.bin"}, line);
    EXPECT_EQ(run.status, kExitJobFailed) << run.err;
    EXPECT_NE(run.out.find("chip 1: count 0 passed"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("chip 2: count 1 failed"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("b.bin: No such file or directory)"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("b.bin: No such file or directory"), std::string::npos) << run.err;
    const std::string record = dir.read("r.csv");
    EXPECT_NE(record.find(",a.bin,100001\n"), std::string::npos) << record;
    EXPECT_NE(record.find(",1,,erase+program+verify,failed,b.bin,100001\n"), std::string::npos)
        << record;
}

// In combined mode an address inside the main document is moved to its end,
// and the run says so.
TEST_F(CliProcess, ACombinedAddressInsideTheMainDocumentIsMovedAndNoted) {
    randomFile(dir, "main.bin", 100);
    randomFile(dir, "sub.bin", 10);
    const Exit run = runIn(dir, program,
                           {"batch", "--mode", "combined", "--file", "main.bin", "--address", "10",
                            "--count", "1", "sub.bin"},
                           config("W25X40"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("--address 10 lies inside main.bin (100 bytes): each document is "
                           "appended at its end, address 100\n"),
              std::string::npos)
        << run.err;
}

// Without --address the ID goes right behind the document, never over its
// bytes; "0100" is a hundred, not octal.
TEST_F(CliProcess, ABatchIdGoesBehindTheDocumentUnlessAnAddressIsGiven) {
    randomFile(dir, "doc.bin", 3000);
    const std::string line = config("W25X40", "feeder=on\nfeeder.out=20ms\n");
    const Exit run = runIn(dir, program,
                           {"batch", "--mode", "id", "--file", "doc.bin", "--start", "0100",
                            "--id-length", "2", "--count", "1", "--json"},
                           line);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("{\"chip\":1,\"id\":100,", 0), 0u) << run.out;
    std::uint64_t sum = 100;  // 0x64 0x00 at 3000
    for (const char c : dir.read("doc.bin"))
        sum += static_cast<unsigned char>(c);
    char expected[40];
    std::snprintf(expected, sizeof expected, "\"data_checksum\":\"%010llX\"",
                  static_cast<unsigned long long>(sum));
    EXPECT_NE(run.out.find(expected), std::string::npos) << run.out << " " << expected;
}

// 256 would reach a one-byte chip as 00, an ID given before.
TEST_F(CliProcess, ABatchSeriesStopsBeforeAnIdThatDoesNotFitItsLength) {
    randomFile(dir, "doc.bin", 100);
    const std::string line = config("W25X40", "feeder=on\nfeeder.out=20ms\n");
    const Exit run = runIn(dir, program,
                           {"batch", "--mode", "id", "--file", "doc.bin", "--start", "254",
                            "--id-length", "1", "--count", "5", "--record", "line.csv"},
                           line);
    EXPECT_EQ(run.status, kExitJobFailed) << run.err;
    EXPECT_EQ(run.out.find("chip 1: ID 254 passed"), 0u) << run.out;
    EXPECT_NE(run.out.find("chip 2: ID 255 passed"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("chip 3"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("the series stopped at ID 256: it does not fit in 1 byte(s)\n"),
              std::string::npos)
        << run.err;
    const std::string record = dir.read("line.csv");
    EXPECT_NE(record.find(",254,"), std::string::npos) << record;
    EXPECT_NE(record.find(",255,"), std::string::npos) << record;
    EXPECT_EQ(record.find(",256,"), std::string::npos) << record;
    EXPECT_EQ(record.find(",0,"), std::string::npos) << record;
}

TEST_F(CliProcess, BatchUsageErrorsNameTheMissingPiece) {
    const std::string line = config("W25X40");
    const Exit noFile = runIn(dir, program, {"batch", "--mode", "id"}, line);
    EXPECT_EQ(noFile.status, kExitUsage);
    EXPECT_NE(noFile.err.find("--mode id needs --file"), std::string::npos) << noFile.err;
    const Exit noList = runIn(dir, program, {"batch", "--mode", "list"}, line);
    EXPECT_NE(noList.err.find("--mode list needs the documents"), std::string::npos);
    const Exit badLength =
        runIn(dir, program, {"batch", "--mode", "id", "--file", "a", "--id-length", "3"}, line);
    EXPECT_NE(badLength.err.find("--id-length is 1, 2 or 4"), std::string::npos);
    const Exit badSteps =
        runIn(dir, program, {"batch", "--mode", "same", "--file", "a", "--steps", "wash"}, line);
    EXPECT_EQ(badSteps.status, kExitUsage);
    const Exit missing =
        runIn(dir, program, {"batch", "--mode", "same", "--file", "gone.bin"}, line);
    EXPECT_EQ(missing.status, kExitJobFailed);
    EXPECT_NE(missing.err.find("the series could not start"), std::string::npos) << missing.err;
    // A record that is no regular file is refused before any chip: no line
    // is lost on /dev/full, and a FIFO without a reader does not hang the run.
    randomFile(dir, "fw.bin", 64);
    ASSERT_EQ(::mkfifo(dir.file("line.fifo").c_str(), 0644), 0);
    for (const std::string& record : {std::string("/dev/full"), dir.file("line.fifo")}) {
        const Exit refused =
            runIn(dir, program, {"batch", "--mode", "same", "--file", "fw.bin", "--record", record},
                  line);
        EXPECT_EQ(refused.status, kExitUsage) << record;
        EXPECT_NE(refused.err.find(record + ": cannot be written: "), std::string::npos)
            << refused.err;
        EXPECT_TRUE(refused.out.empty()) << refused.out;
    }
    // A fill address past the 512 KiB chip: no temporary copy padded out to it.
    for (const char* address : {"0x2000000", "0x10000000", "524285"}) {
        const Exit past =
            runIn(dir, program, {"batch", "--mode", "id", "--file", "fw.bin", "--address", address},
                  line);
        EXPECT_EQ(past.status, kExitJobFailed) << address;
        EXPECT_NE(past.err.find("fw.bin: the chip would get "), std::string::npos) << past.err;
        EXPECT_TRUE(past.out.empty()) << past.out;
        for (const auto& entry : std::filesystem::directory_iterator(dir.folder())) {
            EXPECT_FALSE(entry.path().string().ends_with(".tmp~")) << entry.path();
        }
    }
}

TEST_F(CliProcess, OtpActionsPrintTheLogAndLockOnlyWhenConfirmed) {
    const std::string chip = config("W25Q128FV");
    const Exit detect = runIn(dir, program, {"otp", "detect"}, chip);
    EXPECT_EQ(detect.status, 0) << detect.err;
    TextTable texts;
    texts.loadFrom(dir.folder());
    EXPECT_NE(detect.out.find(texts.text(itext(133)) + "768bytes\n"), std::string::npos)
        << detect.out;
    EXPECT_NE(detect.out.find(texts.text(itext(135))), std::string::npos);

    const Exit read = runIn(dir, program, {"otp", "read", "area.bin"}, chip);
    EXPECT_EQ(read.status, 0) << read.err;
    EXPECT_EQ(dir.read("area.bin"), std::string(768, '\xFF'));

    const Exit unconfirmed = runIn(dir, program, {"otp", "program", "area.bin", "--lock"}, chip);
    EXPECT_EQ(unconfirmed.status, kExitUsage);
    EXPECT_NE(unconfirmed.err.find("--yes-lock-forever"), std::string::npos);

    randomFile(dir, "id.bin", 40);
    // Without --lock the area is programmed and stays open.
    const Exit open = runIn(dir, program, {"otp", "program", "id.bin"}, chip);
    EXPECT_EQ(open.status, 0) << open.err;
    EXPECT_EQ(open.out.find(texts.text(itext(143))), std::string::npos) << open.out;
    const Exit locked =
        runIn(dir, program, {"otp", "program", "id.bin", "--lock", "--yes-lock-forever"}, chip);
    EXPECT_EQ(locked.status, 0) << locked.err;
    EXPECT_NE(locked.out.find(texts.text(itext(143))), std::string::npos) << locked.out;

    const Exit verify = runIn(dir, program, {"otp", "verify", "id.bin"}, chip);
    EXPECT_EQ(verify.status, kExitJobFailed) << "each run has a fresh chip: blank, not id.bin";
    EXPECT_NE(verify.out.find(texts.text(itext(147))), std::string::npos);

    // An empty file neither locks nor passes.
    dir.write("e.bin", "");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"otp", "program", "e.bin", "--lock", "--yes-lock-forever"},
          std::vector<std::string>{"otp", "verify", "e.bin"}}) {
        const Exit empty = runIn(dir, program, args, chip);
        EXPECT_EQ(empty.status, kExitJobFailed) << args[1];
        EXPECT_NE(empty.err.find(otpFileEmptyText(texts)), std::string::npos) << empty.err;
        EXPECT_EQ(empty.out.find(texts.text(itext(143))), std::string::npos) << empty.out;
    }
}

}  // namespace
}  // namespace nyra::cli
