// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <functional>
#include <numeric>

#include "sim/firmware.h"
#include "sim_test_util.h"

namespace nyra::sim {
namespace {

using testing::be32;
using testing::frame;
using testing::frame32;
using testing::Link;
using testing::Params;
using testing::paramsFor;

std::vector<std::uint8_t> pattern(std::size_t n, std::uint8_t seed = 0) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<std::uint8_t>(i * 7 + seed + (i >> 8));
    return v;
}

// Bytes 1..3 of the twelve identification probes.
Params probe(int n) {
    Params p;
    switch (n) {
        case 1:
            p.parameter = 0x00;
            break;
        case 2:
            p.parameter = 0x20;
            break;
        case 3:
            p.parameter = 0x60;
            break;
        case 4:
            p.parameter = 0x70;
            break;
        case 5:
            p.parameter = 0x80;
            break;
        case 6:
            p.bus = 1;
            p.familyBit = true;
            break;
        case 7:
            p.bus = 4;
            break;
        case 8:
            p.bus = 2;
            p.familyBit = true;
            break;
        case 9:
            p.bus = 3;
            p.familyBit = true;
            break;
        case 10:
            p.bus = 3;
            p.parameter = 0x10;
            p.familyBit = true;
            break;
        case 11:
            p.bus = 3;
            p.parameter = 0x01;
            p.familyBit = true;
            break;
        case 12:
            p.bus = 3;
            p.parameter = 0x11;
            p.familyBit = true;
            break;
    }
    return p;
}

class Firmware : public ::testing::Test {
protected:
    void start(const char* chip, int programmers = 1) {
        SimulatorOptions o;
        o.programmers = programmers;
        if (chip)
            o.chip = builtinChip(chip);
        o.time = &time;
        sim = std::make_unique<Simulator>(o);
        usb::bind(sim.get());
        link = std::make_unique<Link>();
        ASSERT_TRUE(link->ok());
    }
    void TearDown() override {
        link.reset();
        usb::bind(nullptr);
    }
    Params params() const { return paramsFor(*sim->chip(0)); }
    std::vector<std::uint32_t> allProbes() {
        std::vector<std::uint32_t> answers;
        for (int n = 1; n <= 12; ++n)
            answers.push_back(link->identity(probe(n)));
        return answers;
    }
    void program(const std::vector<std::uint8_t>& data, const Params& p, int chunk = 4096) {
        ASSERT_EQ(link->send(frame(1, p), 5000), 20);
        for (std::size_t at = 0; at < data.size(); at += static_cast<std::size_t>(chunk)) {
            const std::size_t n =
                std::min<std::size_t>(static_cast<std::size_t>(chunk), data.size() - at);
            ASSERT_EQ(link->write({data.begin() + static_cast<std::ptrdiff_t>(at),
                                   data.begin() + static_cast<std::ptrdiff_t>(at + n)}),
                      static_cast<int>(n));
        }
    }
    std::uint8_t endStream(const Params& p, std::uint32_t count) {
        const auto c = be32(count);
        link->send(frame(2, p, {c[0], c[1], c[2], c[3]}));
        const auto r = link->read(1, 6000);
        return r.empty() ? 0 : r[0];
    }
    // The host's wait for a completion byte: 1-byte reads that skip any
    // other byte. True when the byte came; every byte read goes to seen.
    bool waitFor(std::uint8_t done, int reads, int timeoutMs, std::vector<std::uint8_t>* seen) {
        for (int i = 0; i < reads; ++i) {
            const auto r = link->read(1, timeoutMs);
            if (r.empty())
                continue;
            if (seen)
                seen->push_back(r[0]);
            if (r[0] == done)
                return true;
        }
        return false;
    }
    // Nothing was left behind: the next command's reply is the first byte read.
    void expectCleanEndpoint() {
        EXPECT_EQ(sim->queuedInBytes(0), 0u);
        link->send(frame(18));
        EXPECT_EQ(link->read(64, 100), std::vector<std::uint8_t>{kDefaultFirmwareVersion});
    }

    VirtualTimeSource time;
    std::unique_ptr<Simulator> sim;
    std::unique_ptr<Link> link;
};

TEST_F(Firmware, SpiFlashAnswersRdidRemsAndNothingElse) {
    start("W25Q64FV");
    const std::vector<std::uint32_t> expected{0xEF4017, 0x00EF16, 0xEF4017, 0x00EF16, 0x000016, 0,
                                              0,        0,        0,        0,        0,        0};
    EXPECT_EQ(allProbes(), expected);
}

TEST_F(Firmware, OldFlashWithoutRdidIsFoundByItsSecondId) {
    constexpr std::uint32_t F = kNoAnswerSpi;
    // REMS parts answer probes 2 and 4 and give RES only their signature;
    // RES-only parts answer probe 5 alone, with maker and device.
    const struct {
        const char* chip;
        std::vector<std::uint32_t> flashProbes;
    } cases[] = {
        {"SST25VF040", {F, 0x00BF44, F, 0x00BF44, 0x000044}},
        {"SST25LF040A", {F, F, F, F, 0x00BF44}},
        {"Pm25LV010", {F, F, F, F, 0x009D7C}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chip);
        start(c.chip);
        auto expected = c.flashProbes;
        expected.resize(12, kNoAnswer);
        EXPECT_EQ(allProbes(), expected);
        TearDown();
    }
}

TEST_F(Firmware, GenericDescriptionAnswersTheProbesItNames) {
    const struct {
        const char* description;
        std::vector<std::uint32_t> flashProbes;
    } cases[] = {
        {"spi-flash:size=128K,res=006215",
         {kNoAnswerSpi, kNoAnswerSpi, kNoAnswerSpi, kNoAnswerSpi, 0x006215}},
        {"spi-flash:size=1M,id=BF258E,rems=00BF8E,res=00BF8E",
         {0xBF258E, 0x00BF8E, 0xBF258E, 0x00BF8E, 0x00BF8E}},
        {"spi-flash:size=1M,id=C22014",
         {0xC22014, kNoAnswerSpi, 0xC22014, kNoAnswerSpi, kNoAnswerSpi}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        std::string error;
        SimulatorOptions o;
        o.chip = parseChipDescription(c.description, &error);
        ASSERT_TRUE(o.chip) << error;
        o.time = &time;
        sim = std::make_unique<Simulator>(o);
        usb::bind(sim.get());
        link = std::make_unique<Link>();
        ASSERT_TRUE(link->ok());
        std::vector<std::uint32_t> answers;
        for (int n = 1; n <= 5; ++n)
            answers.push_back(link->identity(probe(n)));
        EXPECT_EQ(answers, c.flashProbes);
        TearDown();
    }
}

TEST_F(Firmware, EachEepromFamilyAnswersOnlyItsOwnProbe) {
    struct Case {
        const char* chip;
        int probe;
        std::uint32_t code;
    };
    const Case cases[] = {{"AT24C02", 6, kStateI2c},         {"EE1004", 7, kStateSpd},
                          {"25LC640", 8, kStateSpiEeprom},   {"93C46x8", 9, kStateMicrowire},
                          {"93C46x16", 10, kStateMicrowire}, {"93LC46BX", 12, kStateMicrowire}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chip);
        start(c.chip);
        const auto answers = allProbes();
        for (int n = 1; n <= 12; ++n) {
            const std::uint32_t expected = n == c.probe ? c.code
                                           : n <= 5     ? kNoAnswerSpi
                                                        : kNoAnswer;
            EXPECT_EQ(answers[static_cast<std::size_t>(n - 1)], expected) << "probe " << n;
        }
        TearDown();
    }
}

TEST_F(Firmware, EmptySocketGivesNoUsableIdentity) {
    start(nullptr);
    const auto answers = allProbes();
    for (int n = 1; n <= 12; ++n) {
        EXPECT_EQ(answers[static_cast<std::size_t>(n - 1)], n <= 5 ? kNoAnswerSpi : kNoAnswer);
    }
}

TEST_F(Firmware, BlockedOrBootLoaderFirmwareAnswers000004) {
    start("W25Q64FV");
    sim->setFault(0, "blocked", "1");
    for (int n : {1, 6, 12})
        EXPECT_EQ(link->identity(probe(n)), kStateBlocked);
    sim->setFault(0, "blocked", "0");
    EXPECT_EQ(link->identity(probe(1)), 0xEF4017u);

    link->send(frame(21));
    EXPECT_TRUE(sim->status(0).bootLoader);
    link = std::make_unique<Link>();  // the restart into the boot loader re-enumerated it
    ASSERT_TRUE(link->ok());
    EXPECT_EQ(link->identity(probe(1)), kStateBlocked);
    link->send(frame(18));
    EXPECT_TRUE(link->read(1, 100).empty());  // the boot loader ignores application commands
    sim->unplug(0);
    sim->plug(0);  // power cycle: back to the application
    Link again;
    EXPECT_EQ(again.identity(probe(1)), 0xEF4017u);
}

TEST_F(Firmware, ReadSendsTheChipInAddressOrderInTransfersOfAtMost8192) {
    start("W25X40");
    const auto data = pattern(sim->chip(0)->size);
    sim->loadChipContents(0, data);
    Params p = params();
    p.size = 10000 + 8192;  // not a multiple of the transfer size
    ASSERT_EQ(link->send(frame(13, p)), 20);
    std::vector<int> sizes;
    std::vector<std::uint8_t> got;
    for (;;) {
        const auto part = link->read(65536, 5000);  // a larger buffer still gets one transfer
        if (part.empty())
            break;
        sizes.push_back(static_cast<int>(part.size()));
        got.insert(got.end(), part.begin(), part.end());
    }
    EXPECT_EQ(sizes, (std::vector<int>{8192, 8192, 1808}));
    EXPECT_EQ(link->lastResult, kErrTimeout);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin()));
}

TEST_F(Firmware, ReadPastTheChipWrapsLikeTheRealPart) {
    start("AT24C02");
    const auto data = pattern(256);
    sim->loadChipContents(0, data);
    Params p = params();
    p.size = 512;
    link->send(frame(13, p));
    const auto got = link->readAll(512);
    ASSERT_EQ(got.size(), 512u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), got.begin()));
    EXPECT_TRUE(std::equal(data.begin(), data.end(), got.begin() + 256));
}

TEST_F(Firmware, ReadWithThreeAddressBytesWrapsAt16MiBOnALargerChip) {
    start("W25Q256FV");
    std::vector<std::uint8_t> all(sim->chip(0)->size);
    std::iota(all.begin(), all.end(), std::uint8_t{0});
    all[0x1000000] = 0xEE;  // the upper die is never reached
    sim->loadChipContents(0, all);
    Params p = params();
    p.size = 0x1000000 + 8192;
    link->send(frame(13, p));
    const auto got = link->readAll(p.size);
    ASSERT_EQ(got.size(), p.size);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 0x1000000, all.begin()));
    EXPECT_TRUE(std::equal(got.begin() + 0x1000000, got.end(), all.begin()));
}

TEST_F(Firmware, VerifyReadTakesItsLengthFromTheArgument) {
    start("W25X40");
    sim->loadChipContents(0, pattern(4096, 3));
    Params p = params();
    p.size = 0;
    link->send(frame32(8, p, 4096));
    const auto got = link->readAll(100000);
    ASSERT_EQ(got.size(), 4096u);
    EXPECT_EQ(got, pattern(4096, 3));
}

TEST_F(Firmware, ProgramWritesTheStreamAndRepliesWhenDone) {
    start("W25X40");
    const Params p = params();
    const auto data = pattern(3 * 4096 + 100);  // ends in a partial page
    program(data, p);
    EXPECT_EQ(endStream(p, static_cast<std::uint32_t>(data.size())), kReplyWriteDone);
    const auto chip = sim->chipContents(0);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), chip.begin()));
    EXPECT_EQ(chip[data.size()], 0xFF);
}

TEST_F(Firmware, ProgrammingFlashWithoutEraseOnlyClearsBits) {
    start("W25X40");
    const Params p = params();
    program(std::vector<std::uint8_t>(256, 0xF0), p);
    EXPECT_EQ(endStream(p, 256), kReplyWriteDone);
    program(std::vector<std::uint8_t>(256, 0x3C), p);
    EXPECT_EQ(endStream(p, 256), kReplyWriteDone);
    EXPECT_EQ(sim->chipContents(0)[17], 0x30);
}

TEST_F(Firmware, ProgrammingAnEepromSetsTheBytes) {
    start("24C256");
    const Params p = params();
    program(std::vector<std::uint8_t>(1000, 0x00), p, 333);
    EXPECT_EQ(endStream(p, 1000), kReplyWriteDone);
    const auto data = pattern(1000);
    program(data, p, 333);
    EXPECT_EQ(endStream(p, 1000), kReplyWriteDone);
    const auto chip = sim->chipContents(0);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), chip.begin()));
}

TEST_F(Firmware, FailedProgramNeverSendsTheDoneByte) {
    start("W25X40");
    const Params p = params();
    struct Case {
        const char* what;
        std::function<void()> run;
    };
    const Case cases[] = {
        {"count says more than arrived",
         [&] {
             program(pattern(512), p);
             link->send(frame32(2, p, 1024));
         }},
        {"empty socket",
         [&] {
             sim->removeChip(0);
             program(pattern(512), p);
             link->send(frame32(2, p, 512));
         }},
        {"no stream open", [&] { link->send(frame32(2, p, 512)); }},
        {"stream lost with the power",
         [&] {
             program(pattern(512), p);
             sim->unplug(0);
             sim->plug(0);
             link = std::make_unique<Link>();
             link->send(frame32(2, p, 512));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!sim->chip(0))
            sim->insertChip(0, *builtinChip("W25X40"));
        c.run();
        std::vector<std::uint8_t> seen;
        const std::int64_t before = time.nowMs();
        EXPECT_FALSE(waitFor(kReplyWriteDone, 10, 6000, &seen));  // the host's ten reads
        EXPECT_TRUE(seen.empty());
        EXPECT_GE(time.nowMs() - before, 60000);
        expectCleanEndpoint();
    }
}

TEST_F(Firmware, WrongFamilyInTheFrameReachesNoChip) {
    start("W25X40");
    Params p = params();
    p.bus = 1;  // I2C settings against an SPI flash
    program(std::vector<std::uint8_t>(256, 0x00), p);
    EXPECT_EQ(endStream(p, 256), 0);  // no done byte: nothing was written
    EXPECT_EQ(link->lastResult, kErrTimeout);
    EXPECT_EQ(sim->chipContents(0)[0], 0xFF);
    p.size = 16;
    link->send(frame(13, p));
    EXPECT_EQ(link->readAll(16), std::vector<std::uint8_t>(16, 0xFF));
}

TEST_F(Firmware, StreamWithoutACommandIsDropped) {
    start("W25X40");
    EXPECT_EQ(link->write(std::vector<std::uint8_t>(64, 0)), 64);
    EXPECT_EQ(sim->chipContents(0)[0], 0xFF);
    const auto log = sim->firmwareLog(0);
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log.back().find("dropped"), std::string::npos);
}

TEST_F(Firmware, StoppedProgramKeepsWhatWasStreamed) {
    start("W25X40");
    const Params p = params();
    program(std::vector<std::uint8_t>(300, 0x00), p);  // a page and a bit
    link->send(frame(9, p));
    const auto chip = sim->chipContents(0);
    EXPECT_EQ(chip[299], 0x00);
    EXPECT_EQ(chip[300], 0xFF);
    EXPECT_TRUE(link->read(1, 100).empty());  // no completion byte without command 2
}

TEST_F(Firmware, ByteProgramPartsNeedTheirOwnWriteMode) {
    start("SST25VF016B");
    Params p = params();
    p.parameter = 0x00;  // page program: these parts take one byte per command
    program(std::vector<std::uint8_t>(512, 0x00), p);
    endStream(p, 512);
    auto chip = sim->chipContents(0);
    EXPECT_EQ(chip[0], 0x00);
    EXPECT_EQ(chip[1], 0xFF);
    EXPECT_EQ(chip[256], 0x00);
    p.parameter = 0x01;  // byte program writes every byte
    program(std::vector<std::uint8_t>(512, 0x00), p);
    EXPECT_EQ(endStream(p, 512), kReplyWriteDone);
    chip = sim->chipContents(0);
    EXPECT_EQ(std::count(chip.begin(), chip.begin() + 512, 0x00), 512);
    sim->swapChip(0, *builtinChip("SST25VF016B"));
    p.parameter = 0x02;  // so does AAI word program
    program(std::vector<std::uint8_t>(512, 0x00), p);
    EXPECT_EQ(endStream(p, 512), kReplyWriteDone);
    chip = sim->chipContents(0);
    EXPECT_EQ(std::count(chip.begin(), chip.begin() + 512, 0x00), 512);
}

TEST_F(Firmware, ThreeAddressBytesCannotReachAbove16MiB) {
    start("W25Q256FV");
    std::vector<std::uint8_t> data(2, 0x11);
    sim->loadChipContents(0, data);
    std::vector<std::uint8_t> all = sim->chipContents(0);
    all[0x1000000] = 0x22;
    sim->loadChipContents(0, all);
    Params p = params();
    link->send(frame32(17, p, 0x1000000));
    EXPECT_EQ(link->read(2, 100)[0], 0x11);  // wrapped to address 0
    p.parameter = 0x12;                      // four address bytes, AAI: the high digit decides
    link->send(frame32(17, p, 0x1000000));
    EXPECT_EQ(link->read(2, 100)[0], 0x22);
    p.parameter = 0x00;
    p.addressBytes = 4;  // secondary address 400
    link->send(frame32(17, p, 0x1000000));
    EXPECT_EQ(link->read(2, 100)[0], 0x22);
}

TEST_F(Firmware, EraseSetsEveryByteAndRepliesSix) {
    start("W25X40");
    sim->loadChipContents(0, pattern(4096));
    link->send(frame(5, params()));
    EXPECT_EQ(link->read(1, 1000), std::vector<std::uint8_t>{kReplyEraseDone});
    const auto chip = sim->chipContents(0);
    EXPECT_TRUE(std::all_of(chip.begin(), chip.end(), [](std::uint8_t b) { return b == 0xFF; }));
}

TEST_F(Firmware, EepromEraseWritesFFAndEmptySocketFails) {
    start("93C46x16");
    sim->loadChipContents(0, std::vector<std::uint8_t>(128, 0));
    link->send(frame(5, params()));
    EXPECT_EQ(link->read(1, 5000), std::vector<std::uint8_t>{kReplyEraseDone});
    EXPECT_EQ(sim->chipContents(0), std::vector<std::uint8_t>(128, 0xFF));
    const Params eeprom = params();
    sim->removeChip(0);
    link->send(frame(5, eeprom));
    // The host reads up to 600 single bytes of 1000 ms until it sees 6.
    std::vector<std::uint8_t> seen;
    EXPECT_FALSE(waitFor(kReplyEraseDone, 600, 1000, &seen));
    EXPECT_TRUE(seen.empty());
    expectCleanEndpoint();
}

TEST_F(Firmware, EraseOfAChipThatDoesNotAnswerNeverSaysDone) {
    start("W25Q64FV");
    sim->loadChipContents(0, pattern(4096));
    Params p = params();
    p.bus = 1;  // I2C settings: the flash does not answer
    link->send(frame(5, p));
    std::vector<std::uint8_t> seen;
    EXPECT_FALSE(waitFor(kReplyEraseDone, 600, 1000, &seen));
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(sim->chipContents(0)[1], pattern(4096)[1]);  // not erased either
    expectCleanEndpoint();
}

TEST_F(Firmware, BlankCheckReportsTheFirstByteThatIsNotFF) {
    start("W25Q64FV");
    link->send(frame(15, params()));
    EXPECT_EQ(link->read(64, 60000), (std::vector<std::uint8_t>{15, 0, 0, 0, 0, 0xFF}));
    auto all = sim->chipContents(0);
    all[0x012345] = 0x3C;
    all[0x100000] = 0x00;
    sim->loadChipContents(0, all);
    link->send(frame(15, params()));
    EXPECT_EQ(link->read(64, 60000), (std::vector<std::uint8_t>{16, 0x00, 0x01, 0x23, 0x45, 0x3C}));
}

TEST_F(Firmware, SmallRepliesCarryWhatTheProgramExpects) {
    start("W25Q64FV");
    auto all = sim->chipContents(0);
    all[0x20] = 0xAB;
    all[0x21] = 0xCD;
    all[all.size() - 1] = 0x77;
    sim->loadChipContents(0, all);
    const Params p = params();
    link->send(frame32(17, p, 0x20));
    EXPECT_EQ(link->read(2, 100), (std::vector<std::uint8_t>{0xAB, 0xCD}));
    link->send(frame32(17, p, static_cast<std::uint32_t>(all.size() - 1)));
    EXPECT_EQ(link->read(2, 100), (std::vector<std::uint8_t>{0x77, 0xFF}));
    sim->setFirmwareVersion(0, 0x13);
    link->send(frame(18, p));
    EXPECT_EQ(link->read(64, 100), std::vector<std::uint8_t>{0x13});
    sim->setSerial(0, 0x012345);
    link->send(frame(22, p));
    const auto serial = link->read(64, 100);
    ASSERT_EQ(serial.size(), 7u);
    EXPECT_EQ(serial[4], 0x01);
    EXPECT_EQ(serial[5], 0x23);
    EXPECT_EQ(serial[6], 0x45);
    link->send(frame(32, p));
    EXPECT_EQ(link->read(64, 100), std::vector<std::uint8_t>{0});
    sim->setAdapter(0, true);
    link->send(frame(32, p));
    EXPECT_EQ(link->read(64, 100), std::vector<std::uint8_t>{1});
}

TEST_F(Firmware, QuietCommandsAnswerNothingButStateIsRecorded) {
    start("W25Q64FV");
    for (std::uint8_t code : {0, 9, 25})
        EXPECT_EQ(link->send(frame(code, params())), 20);
    link->send(frame(34, params(), {3}));
    EXPECT_TRUE(link->read(64, 200).empty());
    EXPECT_EQ(link->lastResult, kErrTimeout);
    EXPECT_EQ(sim->status(0).lastState, 3);
    EXPECT_EQ(sim->frames(0).size(), 4u);
}

TEST_F(Firmware, QuadEnableSetsTheStatusBitOfTheDescriptor) {
    start("W25Q64FV");
    link->send(frame(35, params(), {9, 2, 1}));
    EXPECT_EQ(link->read(1, 2000), std::vector<std::uint8_t>{1});
    EXPECT_EQ(sim->chipStatusRegister(0), 0x0200);
    link->send(frame(35, params(), {9, 2, 0}));
    EXPECT_EQ(link->read(1, 2000), std::vector<std::uint8_t>{1});
    EXPECT_EQ(sim->chipStatusRegister(0), 0);
    link->send(frame(35, params(), {40, 2, 1}));  // no such status bit
    EXPECT_EQ(link->read(1, 2000), std::vector<std::uint8_t>{0});
    sim->swapChip(0, *builtinChip("AT24C02"));
    link->send(frame(35, paramsFor(*builtinChip("AT24C02")), {6, 1, 1}));
    EXPECT_EQ(link->read(1, 2000), std::vector<std::uint8_t>{0});
}

TEST_F(Firmware, ChipFillReadsTheBlockThenWritesItBack) {
    start("W25Q64FV");
    auto all = sim->chipContents(0);
    std::fill(all.begin(), all.begin() + 0x3000, 0x55);
    sim->loadChipContents(0, all);
    const Params p = params();
    link->send(frame32(19, p, 0x1000));
    std::vector<std::uint8_t> block;
    for (int i = 0; i < 4; ++i) {
        const auto part = link->read(4096, 5000);
        ASSERT_EQ(part.size(), 1024u);
        block.insert(block.end(), part.begin(), part.end());
    }
    EXPECT_EQ(block, std::vector<std::uint8_t>(4096, 0x55));
    EXPECT_EQ(link->read(1, 50000), std::vector<std::uint8_t>{kReplyFillReady});
    std::vector<std::uint8_t> fresh(4096, 0x55);
    fresh[0] = 0xFF;  // a bit set back to 1 needs the erase the firmware does
    fresh[4095] = 0x12;
    EXPECT_EQ(link->write(fresh), 4096);
    link->send(frame(2, p));
    EXPECT_EQ(link->read(1, 60000), std::vector<std::uint8_t>{kReplyWriteDone});
    const auto chip = sim->chipContents(0);
    EXPECT_EQ(chip[0x0FFF], 0x55);
    EXPECT_EQ(chip[0x1000], 0xFF);
    EXPECT_EQ(chip[0x1FFF], 0x12);
    EXPECT_EQ(chip[0x2000], 0x55);
}

TEST_F(Firmware, ChipFillKeepsTheRestOfALargerRealSector) {
    start("MX25L6405");  // 64 KiB sectors, filled in 4 KiB units
    auto all = sim->chipContents(0);
    std::fill(all.begin(), all.begin() + 0x10000, 0x55);
    sim->loadChipContents(0, all);
    Params p = params();
    p.sectorCode = 2;
    link->send(frame32(19, p, 0x2000));
    EXPECT_EQ(link->readAll(4096, 1024).size(), 4096u);
    EXPECT_EQ(link->read(1, 50000), std::vector<std::uint8_t>{kReplyFillReady});
    link->write(std::vector<std::uint8_t>(4096, 0xA0));
    link->send(frame(2, p));
    EXPECT_EQ(link->read(1, 60000), std::vector<std::uint8_t>{kReplyWriteDone});
    const auto chip = sim->chipContents(0);
    EXPECT_EQ(chip[0x1FFF], 0x55);
    EXPECT_EQ(chip[0x2000], 0xA0);
    EXPECT_EQ(chip[0x2FFF], 0xA0);
    EXPECT_EQ(chip[0x3000], 0x55);
    EXPECT_EQ(chip[0xFFFF], 0x55);
}

TEST_F(Firmware, ChipFillOfAnEepromUsesPageUnitsAndFlagsShortData) {
    start("24C256");
    const Params p = params();  // sector code 0: the 64-byte page is the unit
    link->send(frame32(19, p, 0x40));
    EXPECT_EQ(link->read(1024, 5000).size(), 64u);
    EXPECT_EQ(link->read(1, 50000), std::vector<std::uint8_t>{kReplyFillReady});
    link->write(std::vector<std::uint8_t>(10, 0x00));
    link->send(frame(2, p));
    EXPECT_TRUE(link->read(1, 60000).empty());  // the host's status read fails
    EXPECT_EQ(link->lastResult, kErrTimeout);
    const auto chip = sim->chipContents(0);
    EXPECT_EQ(chip[0x49], 0x00);  // what came is written
    EXPECT_EQ(chip[0x4A], 0xFF);
    expectCleanEndpoint();
}

TEST_F(Firmware, ChipFillWithoutAChipSendsNoStatusBytes) {
    start("W25Q64FV");
    const Params p = params();
    sim->removeChip(0);
    link->send(frame32(19, p, 0x1000));
    // Nothing drives the data line: the block reads 0xFF, and no ready byte follows.
    EXPECT_EQ(link->readAll(4096, 1024), std::vector<std::uint8_t>(4096, 0xFF));
    EXPECT_TRUE(link->read(1, 50000).empty());
    EXPECT_EQ(link->lastResult, kErrTimeout);
    link->write(std::vector<std::uint8_t>(4096, 0x00));
    link->send(frame(2, p));
    EXPECT_TRUE(link->read(1, 60000).empty());
    EXPECT_EQ(link->lastResult, kErrTimeout);
    expectCleanEndpoint();
}

TEST_F(Firmware, MalformedFramesAreIgnoredAndLogged) {
    start("W25Q64FV");
    auto f = frame(18);
    f[19] = 0x00;
    EXPECT_EQ(link->send(f), 20);
    f = frame(18);
    f[0] = 0xA4;
    link->send(f);
    f = frame(18);
    EXPECT_EQ(
        usb::interrupt_write(link->handle(), 2, reinterpret_cast<const char*>(f.data()), 19, 100),
        19);
    const std::uint8_t boot[4] = {0xA5, 8, 0, 0x5A};
    usb::interrupt_write(link->handle(), 2, reinterpret_cast<const char*>(boot), 4, 100);
    EXPECT_TRUE(link->read(64, 100).empty());
    EXPECT_TRUE(sim->frames(0).empty());
    const auto log = sim->firmwareLog(0);
    ASSERT_EQ(log.size(), 4u);
    EXPECT_NE(log[0].find("malformed"), std::string::npos);
    EXPECT_NE(log[3].find("boot-loader"), std::string::npos);
}

TEST_F(Firmware, StaleBytesWaitInTheQueueUntilDrained) {
    start("W25Q64FV");
    ASSERT_TRUE(sim->injectIn(0, {0x99, 0x98}));
    EXPECT_EQ(sim->queuedInBytes(0), 2u);
    link->send(frame(7, probe(1)));
    EXPECT_EQ(link->read(3), (std::vector<std::uint8_t>{0x99, 0x98}));  // the stale reply first
    EXPECT_EQ(link->read(3), (std::vector<std::uint8_t>{0xEF, 0x40, 0x17}));
    sim->injectIn(0, {0x99});
    EXPECT_EQ(link->read(64, 100), std::vector<std::uint8_t>{0x99});  // what a drain removes
    EXPECT_EQ(link->identity(probe(1)), 0xEF4017u);
}

TEST_F(Firmware, ANewCommandEndsARunningRead) {
    start("W25X40");
    Params p = params();
    link->send(frame(13, p));
    ASSERT_EQ(link->read(64).size(), 64u);
    link->send(frame(9, p));
    EXPECT_EQ(link->read(8192).size(), 8192u - 64u);  // the transfer already on its way
    EXPECT_TRUE(link->read(8192, 100).empty());
    EXPECT_EQ(link->lastResult, kErrTimeout);
}

}  // namespace
}  // namespace nyra::sim
