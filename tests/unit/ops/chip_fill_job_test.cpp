// SPDX-License-Identifier: GPL-3.0-or-later
// The chip fill window and job 19 against the simulated programmer, in
// virtual time: which units are read and written back, what the range gets,
// what is refused before the chip is touched, and what a failure leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "ops/chip_fill_job.h"
#include "unit/ops/chip_job_fixture.h"

namespace nyra {
namespace {

using namespace ids;
using ops_test::randomBytes;

constexpr const char* kFillFtext =
    "[ftext]\r\n76=Cancel\r\n77=OK\r\n96=Status:\r\n97=Address (hex):\r\n98=Open\r\n"
    "102=Chip Data Fill\r\n103=Length (dec):\r\n104=Data (hex):\r\n105=Note: EEPROMs\r\n"
    "135=Fill from file\r\n";

// Two flash parts sharing an ID, flash without erase units or with units of
// 2 GiB and 4 GiB, and a 16-bit Microwire EEPROM.
constexpr const char* kFillCatalogue =
    "$25 SPI FLASH\r\n#WINBOND:\r\n"
    "@W25X40:256:4:512KB:N:300:EF3013:00EF12:3.3V:000\r\n"
    "@W25Q32FV:256:4:4MB:N:300:EF4016:00EF15:3.3V:000\r\n"
    "@W25Q32JV:256:4:4MB:N:300:EF4016:00EF15:3.3V:000\r\n"
    "@W25WHOLE:256:F:512KB:N:300:EF30FE:00EFFE:3.3V:000\r\n"
    "@W25HUGE:256:21:512KB:N:300:EF30FD:00EFFD:3.3V:000\r\n"
    "@W25HUGER:256:22:512KB:N:300:EF30FC:00EFFC:3.3V:000\r\n"
    "$24 EEPROM\r\n#GENERIC:\r\n"
    "@24C02:8:N:256B:A0:100:000000:000000:5:100\r\n"
    "@24C16:16:N:2KB:A0:103:000000:000000:5:100\r\n"
    "$93 EEPROM\r\n#GENERIC:\r\n"
    "@93C66(x16):1:N:256*16bit:N:008:000000:000000:5:310\r\n";

// The USB library's bulk write, failing once when the count reaches zero.
std::atomic<int> writesBeforeFailure{-1};
int failingBulkWrite(usb_dev_handle* dev, int ep, const char* bytes, int size, int timeout) {
    if (writesBeforeFailure.fetch_sub(1) == 0)
        return -EIO;
    return sim::usb::api().bulkWrite(dev, ep, bytes, size, timeout);
}

class ChipFillTest : public ops_test::ChipJobTest {
protected:
    std::string itextFile() const override {
        return std::string(ops_test::kJobItext) +
               "8=Not a digit\r\n96=No fill for this chip\r\n97=Fill failed!\r\n"
               "98=Out of range!\r\n99=正在填充\r\n100=Fill done!\r\n162=Enter an address!\r\n"
               "163=Enter a length!\r\n164=Enter the data!\r\n199=Choose a file!\r\n";
    }
    std::string catalogueFile() const override { return kFillCatalogue; }
    void SetUp() override {
        dir.write("ftext.ini", kFillFtext);
        ChipJobTest::SetUp();
    }

    ChipFillWindow& window() { return state.chipFillWindow(); }
    Panel& fields() { return window().panel(); }
    std::string fillStatus() { return fields().text(kChipFillStatus); }

    // The chip in the socket and selected, auto-identify off, the window open for it.
    void useChipWith(const std::string& simulated, const std::string& device,
                     const std::vector<std::uint8_t>& contents) {
        useChip(simulated, device);
        if (!contents.empty()) {
            ASSERT_TRUE(simulator.loadChipContents(0, contents));
        }
        state.command(kCmdChipFill);
        simulator.clearFrames(0);
        simulator.clearTransferLog();
        frontend.clearRecord();
    }
    void setFields(const std::string& address, const std::string& length, const std::string& data) {
        fields().setText(kChipFillAddress, address);
        fields().setText(kChipFillLength, length);
        fields().setText(window().sixteenBit() ? kChipFillWord : kChipFillByte, data);
    }
    std::uint8_t fill() { return fillChip(context(), window(), dir.file("del.f")); }

    // The 4-byte start argument of each command 19, most significant first.
    std::vector<std::uint32_t> unitStarts() {
        std::vector<std::uint32_t> starts;
        for (const auto& frame : framesOf(cmd::kFillBlock)) {
            starts.push_back((std::uint32_t{frame[13]} << 24) | (std::uint32_t{frame[14]} << 16) |
                             (std::uint32_t{frame[15]} << 8) | std::uint32_t{frame[16]});
        }
        return starts;
    }
    std::vector<int> transferSizes(sim::UsbCall call) {
        std::vector<int> sizes;
        for (const auto& record : simulator.transferLog()) {
            if (record.call == call && record.result > 0)
                sizes.push_back(record.result);
        }
        return sizes;
    }
    void expectUsbError() {
        EXPECT_EQ(fillStatus(), "USB error!");
        EXPECT_EQ(status(), "USB error!");
        EXPECT_EQ(state.statusKind(), StatusKind::Alert);
        EXPECT_FALSE(frontend.beeps().empty());
        EXPECT_FALSE(dir.exists("del.f"));
        EXPECT_TRUE(window().closeAllowed());
        EXPECT_TRUE(fields().enabled(kChipFillCancel));
    }
    // Refused before anything was asked of the chip.
    void expectRefused(const std::string& fillText, const std::string& mainText) {
        EXPECT_EQ(fillStatus(), fillText);
        EXPECT_EQ(status(), mainText);
        EXPECT_EQ(state.statusKind(), StatusKind::Alert);
        EXPECT_FALSE(frontend.beeps().empty());
        EXPECT_TRUE(framesOf(cmd::kFillBlock).empty());
    }
};

std::vector<std::uint8_t> filled(std::vector<std::uint8_t> bytes, std::size_t from,
                                 std::size_t count, std::uint8_t value) {
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(from), count, value);
    return bytes;
}

TEST_F(ChipFillTest, TheUnitsAroundTheRangeAreReadMergedAndWrittenBackWhole) {
    const auto before = randomBytes(512 * 1024, 1);
    useChipWith("W25X40", "W25X40", before);
    setFields("1FFE", "4", "5A");
    EXPECT_EQ(fill(), 0);

    EXPECT_EQ(chip(), filled(before, 0x1FFE, 4, 0x5A)) << "only 1FFE..2001 change";
    EXPECT_EQ(unitStarts(), (std::vector<std::uint32_t>{0x1000, 0x2000}));
    EXPECT_EQ(framesOf(cmd::kStreamEnd).size(), 2u);
    // Each unit in reads of 1024 and its status byte, back in writes of 4096.
    EXPECT_EQ(transferSizes(sim::UsbCall::BulkRead),
              (std::vector<int>{1024, 1024, 1024, 1024, 1, 1, 1024, 1024, 1024, 1024, 1, 1}));
    EXPECT_EQ(transferSizes(sim::UsbCall::BulkWrite), (std::vector<int>{4096, 4096}));
    // A sector's erase and program may take long: the waits are the programmer's.
    for (const auto& record : simulator.transferLog()) {
        if (record.call == sim::UsbCall::InterruptWrite && record.data.size() > 1) {
            EXPECT_EQ(record.timeout, 5000) << "command " << (record.data[1] & 0x3F);
        } else if (record.call == sim::UsbCall::BulkWrite) {
            EXPECT_EQ(record.timeout, 60000);
        } else if (record.call == sim::UsbCall::BulkRead && record.result == 1024) {
            EXPECT_EQ(record.timeout, 5000);
        }
    }
    std::vector<int> statusWaits;
    for (const auto& record : simulator.transferLog()) {
        if (record.call == sim::UsbCall::BulkRead && record.size == 1)
            statusWaits.push_back(record.timeout);
    }
    EXPECT_EQ(statusWaits, (std::vector<int>{50000, 60000, 50000, 60000}));
    EXPECT_EQ(fillStatus(), "Fill done!");
    EXPECT_EQ(status(), "Fill done!");
    EXPECT_EQ(state.statusKind(), StatusKind::Normal);
    EXPECT_FALSE(dir.exists("del.f"));

    // A range that starts and ends on unit boundaries touches its units alone.
    const auto big = randomBytes(4 * 1024 * 1024, 2);
    useChipWith("W25Q32FV", "W25Q32FV", big);
    setFields("3AB000", "8192", "00");
    fill();
    EXPECT_EQ(unitStarts(), (std::vector<std::uint32_t>{0x3AB000, 0x3AC000}));
    EXPECT_EQ(chip(), filled(big, 0x3AB000, 8192, 0x00));
}

TEST_F(ChipFillTest, ASixteenBitChipCountsWordsAndTakesTheWordHighByteFirst) {
    const auto before = randomBytes(512, 3);
    useChipWith("93C66x16", "93C66(x16)", before);
    ASSERT_TRUE(window().sixteenBit());
    setFields("10", "8", "12");
    fill();
    std::vector<std::uint8_t> expected = before;
    for (std::size_t at = 0x20; at < 0x30; at += 2) {
        expected[at] = 0x00;
        expected[at + 1] = 0x12;
    }
    EXPECT_EQ(chip(), expected) << "words 10..17 are bytes 20..2F, each 00 12";
    // Units of one word: its page of one, doubled.
    const auto starts = unitStarts();
    ASSERT_EQ(starts.size(), 8u);
    EXPECT_EQ(starts.front(), 0x20u);
    EXPECT_EQ(starts.back(), 0x2Eu);
    EXPECT_EQ(fillStatus(), "Fill done!");

    setFields("0", "1", "ABCD");
    fill();
    EXPECT_EQ(chip()[0], 0xAB);
    EXPECT_EQ(chip()[1], 0xCD);
    EXPECT_EQ(chip()[2], before[2]);
}

TEST_F(ChipFillTest, AFillFileIsWrittenFromItsStartAndItsLastValueRepeats) {
    const auto before = randomBytes(2048, 4);
    const std::string file = dir.write("five.bin", std::string("\x01\x02\x03\x04\x05", 5));
    useChipWith("24C16", "24C16", before);
    frontend.chooseFile(file);
    window().browse();
    EXPECT_EQ(fields().text(kChipFillPath), file);
    EXPECT_EQ(fields().text(kChipFillLength), "5");
    ASSERT_EQ(frontend.dialogs().size(), 1u);
    EXPECT_EQ(frontend.dialogs()[0].dialog.filter, kChipFillFileFilter);
    EXPECT_EQ(frontend.dialogs()[0].dialog.defaultExtension, ".*");

    window().setFileMode(true);
    fields().setText(kChipFillAddress, "E");
    fill();
    auto expected = before;
    std::copy_n(std::vector<std::uint8_t>{1, 2, 3, 4, 5}.begin(), 5, expected.begin() + 0x0E);
    EXPECT_EQ(chip(), expected) << "the file's bytes across the unit boundary at 10";
    EXPECT_EQ(unitStarts(), (std::vector<std::uint32_t>{0x00, 0x10}));

    // A path typed by hand leaves the length as it was: the last byte fills the rest.
    fields().setText(kChipFillLength, "12");
    fields().setText(kChipFillAddress, "100");
    fill();
    std::copy_n(std::vector<std::uint8_t>{1, 2, 3, 4, 5, 5, 5, 5, 5, 5, 5, 5}.begin(), 12,
                expected.begin() + 0x100);
    EXPECT_EQ(chip(), expected);
    EXPECT_EQ(fillStatus(), "Fill done!");
}

TEST_F(ChipFillTest, ASixteenBitFillFileEndsOnAWholeWordThatRepeats) {
    const auto before = randomBytes(512, 5);
    const std::string file = dir.write("five.bin", std::string("\x01\x02\x03\x04\x05", 5));
    useChipWith("93C66x16", "93C66(x16)", before);
    frontend.chooseFile(file);
    window().browse();
    EXPECT_EQ(fields().text(kChipFillLength), "3") << "five bytes are three words";
    window().setFileMode(true);
    fill();
    auto expected = before;
    std::copy_n(std::vector<std::uint8_t>{1, 2, 3, 4, 5, 0xFF}.begin(), 6, expected.begin());
    EXPECT_EQ(chip(), expected) << "the odd last byte is paired with FF";

    fields().setText(kChipFillAddress, "40");
    fields().setText(kChipFillLength, "5");
    fill();
    std::copy_n(std::vector<std::uint8_t>{1, 2, 3, 4, 5, 0xFF, 5, 0xFF, 5, 0xFF}.begin(), 10,
                expected.begin() + 0x80);
    EXPECT_EQ(chip(), expected);

    // An even file repeats its own last word.
    const std::string even = dir.write("four.bin", std::string("\x0A\x0B\x0C\x0D", 4));
    fields().setText(kChipFillPath, even);
    fields().setText(kChipFillAddress, "60");
    fill();
    std::copy_n(
        std::vector<std::uint8_t>{0x0A, 0x0B, 0x0C, 0x0D, 0x0C, 0x0D, 0x0C, 0x0D, 0x0C, 0x0D}
            .begin(),
        10, expected.begin() + 0xC0);
    EXPECT_EQ(chip(), expected);
}

TEST_F(ChipFillTest, TheRangeMustLieInsideTheChipAndIsNeverEmpty) {
    const auto before = randomBytes(512 * 1024, 6);
    useChipWith("W25X40", "W25X40", before);
    for (const auto& [address, length] : {std::pair{"7FFFF", "2"}, std::pair{"80000", "1"},
                                          std::pair{"FFFFFFFF", "2"}, std::pair{"0", "0"}}) {
        frontend.clearRecord();
        setFields(address, length, "00");
        EXPECT_EQ(fill(), 0);
        expectRefused("Out of range!", "Fill failed!");
        EXPECT_EQ(frontend.beeps().size(), 1u) << address << " " << length;
    }
    EXPECT_EQ(chip(), before);

    // The last byte of the chip is in range.
    setFields("7FFFF", "1", "00");
    fill();
    EXPECT_EQ(chip(), filled(before, 0x7FFFF, 1, 0x00));
    EXPECT_EQ(unitStarts(), (std::vector<std::uint32_t>{0x7F000}));

    // Words double the address past 32 bits.
    const auto small = randomBytes(512, 7);
    useChipWith("93C66x16", "93C66(x16)", small);
    setFields("80000000", "1", "0000");
    fill();
    expectRefused("Out of range!", "Fill failed!");
    setFields("FF", "2", "0000");
    fill();
    expectRefused("Out of range!", "Fill failed!");
    EXPECT_EQ(chip(), small);
}

TEST_F(ChipFillTest, ABlockedProgrammerOrAChipWithoutUnitsIsRefused) {
    const auto before = randomBytes(512 * 1024, 8);
    useChipWith("W25X40", "W25X40", before);
    state.flags().programmerBlocked.store(true);
    fill();
    EXPECT_EQ(status(), "blocked");
    EXPECT_EQ(state.statusKind(), StatusKind::Alert);
    EXPECT_EQ(frontend.beeps().size(), 1u);
    EXPECT_EQ(fillStatus(), "");
    EXPECT_TRUE(simulator.frames(0).empty()) << "not even the link is touched";
    state.flags().programmerBlocked.store(false);

    useChipWith("W25X40", "W25WHOLE", before);
    fill();
    expectRefused("No fill for this chip", "Fill failed!");
    EXPECT_EQ(frontend.beeps().size(), 1u);
    EXPECT_EQ(chip(), before);
}

TEST_F(ChipFillTest, AnEraseUnitMustFitInThirtyTwoBits) {
    useChipWith("W25X40", "W25HUGER", randomBytes(512 * 1024, 18));
    fill();
    expectRefused("No fill for this chip", "Fill failed!");
    // 2 GiB is still a unit: the programmer is asked, and its silence is an error.
    useChipWith("W25X40", "W25HUGE", {});
    fill();
    EXPECT_EQ(unitStarts(), (std::vector<std::uint32_t>{0}));
    expectUsbError();
}

TEST_F(ChipFillTest, NoProgrammerOrNoChipEndsTheFillBeforeAnythingIsSent) {
    const auto before = randomBytes(2048, 19);
    useChipWith("24C16", "24C16", before);
    ASSERT_TRUE(simulator.removeChip(0));
    state.command(kCmdAutoIdentify);
    ASSERT_TRUE(state.autoIdentifyOn());
    EXPECT_EQ(fill(), 0);
    EXPECT_EQ(fillStatus(), "Fill failed!");
    EXPECT_TRUE(framesOf(cmd::kFillBlock).empty());

    state.command(kCmdAutoIdentify);
    ASSERT_FALSE(state.autoIdentifyOn());
    fields().setText(kChipFillStatus, "");
    ASSERT_TRUE(simulator.unplug(0));
    EXPECT_EQ(fill(), 0);
    EXPECT_EQ(fillStatus(), "Fill failed!");
    EXPECT_TRUE(framesOf(cmd::kFillBlock).empty());
    EXPECT_TRUE(window().closeAllowed());
}

TEST_F(ChipFillTest, AScratchFileThatCannotBeMadeIsNamedAndNothingIsWritten) {
    const auto before = randomBytes(2048, 20);
    useChipWith("24C16", "24C16", before);
    ASSERT_TRUE(std::filesystem::create_directory(dir.file("del.f")));
    setFields("0", "16", "00");
    fill();
    EXPECT_EQ(fillStatus(), "Fill failed!");
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text, "Fill failed!\n" + dir.file("del.f") + "\nIs a directory");
    EXPECT_TRUE(framesOf(cmd::kFillBlock).empty());
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("del.f"))) << "not ours to delete";
    EXPECT_EQ(chip(), before);
}

TEST_F(ChipFillTest, AFillFileCutShortUnderTheFillEndsItInsteadOfRepeating) {
    const auto before = randomBytes(2048, 21);
    const auto bytes = randomBytes(64, 22);
    const std::string file = dir.write("fill.bin", std::string(bytes.begin(), bytes.end()));
    useChipWith("24C16", "24C16", before);
    frontend.chooseFile(file);
    window().browse();
    window().setFileMode(true);
    // Cut once the second unit has been merged, before the third reads its part.
    bool cut = false;
    const Panel::Token token = fields().subscribe([&](const PanelChange& change) {
        if (change.id == kChipFillStatus && !cut && fields().text(kChipFillStatus).back() == '.') {
            cut = true;
            std::filesystem::resize_file(file, 20);
        }
    });
    fill();
    fields().unsubscribe(token);
    ASSERT_TRUE(cut);
    EXPECT_EQ(fillStatus(), "Fill failed!");
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text, "Fill failed!\n" + file);
    auto expected = before;
    std::copy_n(bytes.begin(), 32, expected.begin());
    EXPECT_EQ(chip(), expected) << "units 0 and 1 written, 2 and 3 untouched";
    EXPECT_EQ(unitStarts(), (std::vector<std::uint32_t>{0x00, 0x10, 0x20}));
    EXPECT_FALSE(dir.exists("del.f"));
}

TEST_F(ChipFillTest, TheFieldsMustBeForTheChipThatIsFilled) {
    const auto before = randomBytes(512 * 1024, 9);
    // The window was opened for an 8-bit chip; the 16-bit one came since.
    useChipWith("93C66x16", "24C16", {});
    ASSERT_FALSE(window().sixteenBit());
    useChip("93C66x16", "93C66(x16)");
    simulator.clearFrames(0);
    fill();
    expectRefused("Fill failed!", "Fill failed!");

    // Identification finds another chip than the one the window was opened for.
    useChipWith("W25X40", "24C16", before);
    state.command(kCmdAutoIdentify);
    ASSERT_TRUE(state.autoIdentifyOn());
    fill();
    EXPECT_EQ(state.selection().selectedDevice(), "W25X40");
    EXPECT_EQ(fillStatus(), "Fill failed!");
    EXPECT_TRUE(framesOf(cmd::kFillBlock).empty());
    EXPECT_EQ(chip(), before);

    // Two records answer to the chip: the user must say which, and the fill
    // ends without a word of its own.
    useChipWith("W25Q32FV", "24C16", {});
    state.command(kCmdAutoIdentify);
    EXPECT_EQ(fill(), 0);
    EXPECT_TRUE(state.flags().chipChanged.load());
    EXPECT_EQ(fillStatus(), "");
    EXPECT_TRUE(framesOf(cmd::kFillBlock).empty());

    // The same chip found again: the fill goes on.
    useChipWith("W25X40", "W25X40", before);
    state.command(kCmdAutoIdentify);
    state.command(kCmdChipFill);
    setFields("0", "1", "00");
    fill();
    EXPECT_EQ(fillStatus(), "Fill done!");
    EXPECT_EQ(chip()[0], 0x00);
}

TEST_F(ChipFillTest, TheActionNamesAMissingFieldAndStartsNothing) {
    useChipWith("24C16", "24C16", randomBytes(2048, 10));
    const auto refused = [&](const char* expected) {
        window().fill();
        state.worker().waitUntilIdle();
        EXPECT_EQ(fillStatus(), expected);
        ASSERT_FALSE(frontend.boxes().empty());
        EXPECT_EQ(frontend.boxes().back().text, expected);
        EXPECT_EQ(frontend.boxes().back().caption, "Notice");
        EXPECT_EQ(frontend.boxes().back().icon, BoxIcon::Warning);
        EXPECT_TRUE(framesOf(cmd::kFillBlock).empty()) << expected;
    };
    setFields("", "1", "00");
    refused("Enter an address!");
    setFields("0", "", "00");
    refused("Enter a length!");
    setFields("0", "0", "00");
    refused("Enter a length!");
    setFields("0", "1", "");
    refused("Enter the data!");
    window().setFileMode(true);
    setFields("", "1", "");
    refused("Choose a file!");
    fields().setText(kChipFillPath, dir.write("one.bin", "\x42"));
    refused("Enter an address!");

    // The file stands for the data; through the worker the chip gets it.
    fields().setText(kChipFillAddress, "7");
    window().fill();
    state.worker().waitUntilIdle();
    EXPECT_EQ(chip()[7], 0x42);
    EXPECT_EQ(fillStatus(), "Fill done!");

    // A 16-bit chip needs its word, whatever the hidden byte field holds.
    useChipWith("93C66x16", "93C66(x16)", randomBytes(512, 11));
    setFields("0", "1", "");
    fields().setText(kChipFillByte, "00");
    refused("Enter the data!");
}

TEST_F(ChipFillTest, AUsbFaultMidwayLeavesEarlierUnitsWrittenAndLaterOnesUntouched) {
    const auto before = randomBytes(512 * 1024, 12);
    useChipWith("W25X40", "W25X40", before);
    // A unit moves 4096 + 1 bytes in and 4096 + 1 out: the link goes in the third.
    ASSERT_TRUE(simulator.setFault(0, "unplug_after", std::to_string(2 * 8194 + 2000)));
    setFields("0", "16384", "00");
    EXPECT_EQ(fill(), 0);
    expectUsbError();
    EXPECT_EQ(chip(), filled(before, 0, 0x2000, 0x00)) << "units 0 and 1 written, 2 and 3 not";
}

TEST_F(ChipFillTest, AUnitThatComesShortIsNotWrittenBack) {
    const auto before = randomBytes(512 * 1024, 13);
    useChipWith("W25X40", "W25X40", before);
    // The link's drain, six reads for unit 0, then the third piece of unit 1 fails.
    ASSERT_TRUE(simulator.setFault(0, "failed_reads", "1@9"));
    setFields("0", "12288", "00");
    fill();
    expectUsbError();
    EXPECT_EQ(unitStarts(), (std::vector<std::uint32_t>{0x0000, 0x1000}));
    EXPECT_EQ(transferSizes(sim::UsbCall::BulkWrite), (std::vector<int>{4096}));
    EXPECT_EQ(framesOf(cmd::kStreamEnd).size(), 1u);
    EXPECT_EQ(chip(), filled(before, 0, 0x1000, 0x00));
}

TEST_F(ChipFillTest, AStreamWriteThatFailsEndsTheFillBeforeItsUnitIsWritten) {
    const auto before = randomBytes(512 * 1024, 14);
    useChipWith("W25X40", "W25X40", before);
    writesBeforeFailure.store(1);
    usb.bulkWrite = failingBulkWrite;
    setFields("0", "12288", "00");
    fill();
    usb.bulkWrite = sim::usb::api().bulkWrite;
    expectUsbError();
    EXPECT_EQ(unitStarts(), (std::vector<std::uint32_t>{0x0000, 0x1000})) << "unit 2 not asked";
    EXPECT_EQ(framesOf(cmd::kStreamEnd).size(), 1u) << "no command 2 for the failed unit";
    EXPECT_EQ(chip(), filled(before, 0, 0x1000, 0x00));
}

TEST_F(ChipFillTest, AWriteTheProgrammerDoesNotTakeEndsTheFillThere) {
    const auto before = randomBytes(512 * 1024, 17);
    useChipWith("W25X40", "W25X40", before);
    // The first unit's command 2 is lost: later units going well must not hide it.
    ASSERT_TRUE(simulator.setFault(0, "refuse", "2:1"));
    setFields("0", "12288", "00");
    fill();
    expectUsbError();
    EXPECT_EQ(unitStarts(), (std::vector<std::uint32_t>{0x0000}));
    EXPECT_EQ(chip(), before);
}

TEST_F(ChipFillTest, TheWindowCannotBeClosedWhileTheChipIsWritten) {
    useChipWith("24C16", "24C16", randomBytes(2048, 15));
    std::vector<std::string> seen;
    const Panel::Token token = fields().subscribe([&](const PanelChange& change) {
        if (change.id == kChipFillCancel && change.property == PanelProperty::Enabled)
            seen.push_back(fields().enabled(kChipFillCancel) ? "cancel on" : "cancel off");
        if (change.id == kChipFillStatus)
            seen.push_back(fields().text(kChipFillStatus) +
                           (window().closeAllowed() ? "" : " (held)"));
    });
    setFields("0", "2048", "00");
    fill();
    fields().unsubscribe(token);

    // 128 units of 16 bytes: a dot every second unit, from 正在填充 up to 16 characters.
    ASSERT_GE(seen.size(), 18u);
    EXPECT_EQ(seen[0], "正在填充");
    EXPECT_EQ(seen[1], "cancel off");
    std::string progress = "正在填充";
    for (std::size_t i = 2; i < 14; ++i) {
        progress += '.';
        EXPECT_EQ(seen[i], progress + " (held)") << i;
    }
    EXPECT_EQ(seen[14], "正在填充 (held)") << "the thirteenth dot would make 17";
    EXPECT_EQ(seen[15], "正在填充. (held)");
    EXPECT_EQ(seen[seen.size() - 2], "Fill done! (held)");
    EXPECT_EQ(seen.back(), "cancel on");
    EXPECT_TRUE(window().closeAllowed());
}

TEST_F(ChipFillTest, AFillFileThatCannotBeUsedIsNamedBeforeTheChipIsTouched) {
    const auto before = randomBytes(2048, 16);
    useChipWith("24C16", "24C16", before);
    window().setFileMode(true);
    const std::string missing = dir.file("missing.bin");
    const std::string empty = dir.write("empty.bin", "");
    for (const auto& [path, box] :
         {std::pair{missing, "Fill failed!\n" + missing + "\nNo such file or directory"},
          std::pair{empty, "Fill failed!\n" + empty},
          std::pair{dir.folder(), "Fill failed!\n" + dir.folder()}}) {
        frontend.clearRecord();
        fields().setText(kChipFillPath, path);
        fill();
        expectRefused("Fill failed!", "Fill failed!");
        ASSERT_EQ(frontend.boxes().size(), 1u) << path;
        EXPECT_EQ(frontend.boxes()[0].text, box);
        EXPECT_TRUE(window().closeAllowed());
    }
    EXPECT_EQ(chip(), before);
}

TEST_F(ChipFillTest, OpeningShowsTheTextsStartValuesAndTheChipsDataField) {
    useChipWith("24C16", "24C16", {});
    EXPECT_EQ(window().title(), "Chip Data Fill");
    const std::pair<int, const char*> texts[] = {{kChipFillAddressLabel, "Address (hex):"},
                                                 {kChipFillLengthLabel, "Length (dec):"},
                                                 {kChipFillDataLabel, "Data (hex):"},
                                                 {kChipFillNote, "Note: EEPROMs"},
                                                 {kChipFillStatusLabel, "Status:"},
                                                 {kChipFillBrowse, "Open"},
                                                 {kChipFillFileMode, "Fill from file"},
                                                 {kChipFillAction, "OK"},
                                                 {kChipFillCancel, "Cancel"},
                                                 {kChipFillAddress, "0"},
                                                 {kChipFillLength, "1"},
                                                 {kChipFillByte, "FF"},
                                                 {kChipFillWord, "FFFF"},
                                                 {kChipFillStatus, ""},
                                                 {kChipFillPath, ""}};
    for (const auto& [id, text] : texts)
        EXPECT_EQ(fields().text(id), text) << id;
    EXPECT_TRUE(fields().visible(kChipFillByte) && fields().enabled(kChipFillByte));
    EXPECT_FALSE(fields().visible(kChipFillWord) || fields().enabled(kChipFillWord));
    EXPECT_FALSE(fields().checked(kChipFillFileMode));
    EXPECT_FALSE(fields().enabled(kChipFillPath) || fields().enabled(kChipFillBrowse));

    window().setFileMode(true);
    EXPECT_TRUE(fields().enabled(kChipFillPath) && fields().enabled(kChipFillBrowse));
    EXPECT_FALSE(fields().enabled(kChipFillByte) || fields().enabled(kChipFillLength));
    window().setFileMode(false);
    EXPECT_TRUE(fields().enabled(kChipFillByte) && fields().enabled(kChipFillLength));

    // Reopened for a 16-bit chip: the word field instead, fields at their start again.
    fields().setText(kChipFillAddress, "123");
    useChipWith("93C66x16", "93C66(x16)", {});
    EXPECT_EQ(fields().text(kChipFillAddress), "0");
    EXPECT_TRUE(fields().visible(kChipFillWord) && fields().enabled(kChipFillWord));
    EXPECT_FALSE(fields().visible(kChipFillByte) || fields().enabled(kChipFillByte));
    window().setFileMode(true);
    EXPECT_FALSE(fields().enabled(kChipFillWord));
    EXPECT_FALSE(fields().visible(kChipFillByte) || fields().enabled(kChipFillByte));

    // Hex letters in the address, none in the length.
    fields().setText(kChipFillAddress, "1a");
    window().fieldChanged(kChipFillAddress, 2);
    EXPECT_EQ(fields().text(kChipFillAddress), "1A");
    EXPECT_TRUE(frontend.boxes().empty());
    fields().setText(kChipFillLength, "1a");
    window().fieldChanged(kChipFillLength, 2);
    EXPECT_EQ(fields().text(kChipFillLength), "1");
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text, "Not a digit");
}

TEST_F(ChipFillTest, BrowseTakesTheFilesLengthOrLeavesItAlone) {
    useChipWith("24C16", "24C16", {});
    frontend.cancelDialog();
    window().browse();
    EXPECT_EQ(fields().text(kChipFillPath), "");
    EXPECT_EQ(fields().text(kChipFillLength), "1");

    const std::string missing = dir.file("gone.bin");
    frontend.chooseFile(missing);
    window().browse();
    EXPECT_EQ(fields().text(kChipFillPath), missing);
    EXPECT_EQ(fields().text(kChipFillLength), "1") << "a file that does not open has no length";

    frontend.chooseFile(dir.write("big.bin", std::string(3000, 'x')));
    window().browse();
    EXPECT_EQ(fields().text(kChipFillLength), "3000");
    EXPECT_TRUE(frontend.boxes().empty()) << "the program's own write is not checked";
}

}  // namespace
}  // namespace nyra
