// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "sim/chip.h"
#include "sim/chip_model.h"
#include "sim/socket.h"
#include "sim_test_util.h"

namespace nyra::sim {
namespace {

using testing::TempDir;

ChipModel model(const char* name) {
    auto m = builtinChip(name);
    EXPECT_TRUE(m.has_value()) << name;
    return m.value_or(ChipModel{});
}

std::vector<std::uint8_t> bytes(std::initializer_list<int> values) {
    std::vector<std::uint8_t> out;
    for (int v : values)
        out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

TEST(FlashChip, StartsErasedAndProgrammingOnlyClearsBits) {
    Chip chip(model("W25Q64FV"));
    EXPECT_EQ(chip.at(0), 0xFF);
    EXPECT_EQ(chip.at(chip.size() - 1), 0xFF);
    chip.writePage(0x100, bytes({0xF0}));
    chip.writePage(0x100, bytes({0x3C}));
    EXPECT_EQ(chip.at(0x100), 0x30);  // 0xF0 & 0x3C: a 0 bit never comes back to 1
    chip.writeByte(0x101, 0x0F);
    chip.writeByte(0x101, 0xF1);
    EXPECT_EQ(chip.at(0x101), 0x01);
}

TEST(FlashChip, PageProgramRollsOverWithinThePage) {
    Chip chip(model("W25Q64FV"));
    std::vector<std::uint8_t> data(10);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(0xA0 + i);
    chip.writePage(0x1FA, data);  // six bytes fit before the page ends at 0x200
    EXPECT_EQ(chip.at(0x1FA), 0xA0);
    EXPECT_EQ(chip.at(0x1FF), 0xA5);
    EXPECT_EQ(chip.at(0x100), 0xA6);  // the rest wraps to the start of the same page
    EXPECT_EQ(chip.at(0x103), 0xA9);
    EXPECT_EQ(chip.at(0x200), 0xFF);  // the next page is untouched
}

TEST(FlashChip, LongerThanAPageOverwritesByAnd) {
    Chip chip(model("W25Q64FV"));
    std::vector<std::uint8_t> data(512, 0xFF);
    data[0] = 0x0F;
    data[256] = 0xF3;  // lands on the same cell as data[0]
    chip.writePage(0, data);
    EXPECT_EQ(chip.at(0), 0x03);
    EXPECT_EQ(chip.at(256), 0xFF);
}

TEST(FlashChip, SectorEraseSetsOnlyItsSector) {
    Chip chip(model("W25Q64FV"));
    chip.writeByte(0x0FFF, 0x00);
    chip.writeByte(0x1000, 0x00);
    chip.writeByte(0x1FFF, 0x00);
    chip.writeByte(0x2000, 0x00);
    chip.eraseSector(0x1800);
    EXPECT_EQ(chip.at(0x0FFF), 0x00);
    EXPECT_EQ(chip.at(0x1000), 0xFF);
    EXPECT_EQ(chip.at(0x1FFF), 0xFF);
    EXPECT_EQ(chip.at(0x2000), 0x00);
    chip.eraseAll();
    EXPECT_EQ(chip.at(0x0FFF), 0xFF);
    EXPECT_EQ(chip.at(0x2000), 0xFF);
}

TEST(FlashChip, AddressesWrapAtTheChipSize) {
    Chip chip(model("W25X40"));
    chip.writeByte(0, 0x12);
    chip.writeByte(chip.size() - 1, 0x34);
    EXPECT_EQ(chip.at(chip.size()), 0x12);
    std::vector<std::uint8_t> out(2);
    chip.read(chip.size() - 1, out);
    EXPECT_EQ(out, bytes({0x34, 0x12}));
    chip.writeByte(3ull * chip.size() + 5, 0x00);
    EXPECT_EQ(chip.at(5), 0x00);
}

TEST(EepromChip, WritesSetBytesWithoutErase) {
    Chip chip(model("AT24C02"));
    chip.writePage(0x10, bytes({0x00, 0x55}));
    chip.writePage(0x10, bytes({0xAB, 0xFF}));
    EXPECT_EQ(chip.at(0x10), 0xAB);
    EXPECT_EQ(chip.at(0x11), 0xFF);
    chip.eraseSector(0x10);  // EEPROMs have no sectors
    EXPECT_EQ(chip.at(0x10), 0xAB);
    chip.eraseAll();
    EXPECT_EQ(chip.at(0x10), 0xFF);
}

TEST(EepromChip, PageWriteRollsOverWithinItsEightBytePage) {
    Chip chip(model("AT24C02"));
    chip.writePage(0x06, bytes({1, 2, 3, 4}));
    EXPECT_EQ(chip.at(0x06), 1);
    EXPECT_EQ(chip.at(0x07), 2);
    EXPECT_EQ(chip.at(0x00), 3);
    EXPECT_EQ(chip.at(0x01), 4);
    EXPECT_EQ(chip.at(0x08), 0xFF);
}

TEST(ChipImage, OnlyAChangedByteMarksTheChipForWriteBack) {
    Chip flash(model("W25X40"));
    flash.writePage(0, bytes({0xFF, 0xFF}));  // programming 1s changes nothing
    EXPECT_FALSE(flash.dirty());
    flash.writePage(0x1FE, bytes({0xFF, 0xFF, 0x7F}));  // the change rolls over to the page start
    EXPECT_TRUE(flash.dirty());
    EXPECT_EQ(flash.at(0x100), 0x7F);

    Chip eeprom(model("AT24C02"));
    eeprom.writePage(0, bytes({0xFF}));
    EXPECT_FALSE(eeprom.dirty());
    eeprom.writePage(0, bytes({0x00}));
    EXPECT_TRUE(eeprom.dirty());
}

TEST(ChipImage, SavedImageLoadsBack) {
    TempDir dir;
    Chip chip(model("AT24C02"));
    chip.writePage(0, bytes({1, 2, 3}));
    std::string error;
    ASSERT_TRUE(saveChipImage(chip, dir.file("a.bin"), &error)) << error;
    EXPECT_EQ(std::filesystem::file_size(dir.file("a.bin")), 256u);
    Chip copy(model("AT24C02"));
    std::string note;
    ASSERT_TRUE(loadChipImage(copy, dir.file("a.bin"), &note));
    EXPECT_TRUE(note.empty()) << note;
    EXPECT_TRUE(
        std::equal(copy.contents().begin(), copy.contents().end(), chip.contents().begin()));
    EXPECT_FALSE(copy.dirty());
}

TEST(ChipImage, SizeMismatchLoadsWhatFitsAndSaysSo) {
    TempDir dir;
    {
        std::ofstream(dir.file("short.bin"), std::ios::binary) << std::string(10, '\0');
        std::ofstream(dir.file("long.bin"), std::ios::binary) << std::string(300, '\x11');
    }
    Chip chip(model("AT24C02"));
    std::string note;
    ASSERT_TRUE(loadChipImage(chip, dir.file("short.bin"), &note));
    EXPECT_NE(note.find("shorter"), std::string::npos);
    EXPECT_EQ(chip.at(9), 0x00);
    EXPECT_EQ(chip.at(10), 0xFF);
    Chip other(model("AT24C02"));
    ASSERT_TRUE(loadChipImage(other, dir.file("long.bin"), &note));
    EXPECT_NE(note.find("longer"), std::string::npos);
    EXPECT_EQ(other.at(255), 0x11);
    EXPECT_FALSE(loadChipImage(other, dir.file("missing.bin"), &note));
}

TEST(ChipImage, SocketWritesBackOnRemoveAndReloadsOnInsert) {
    TempDir dir;
    const std::string image = dir.file("chip.bin");
    Socket socket;
    std::string note;
    socket.insert(model("25LC640"), image, &note);
    socket.chip()->writePage(0x40, bytes({0xDE, 0xAD}));
    socket.remove();
    ASSERT_TRUE(std::filesystem::exists(image));
    EXPECT_EQ(std::filesystem::file_size(image), 8192u);
    socket.insert(model("25LC640"), image, &note);
    EXPECT_EQ(socket.chip()->at(0x40), 0xDE);
    EXPECT_EQ(socket.chip()->at(0x41), 0xAD);
}

TEST(ChipImage, UnwritableImageIsReportedNotFatal) {
    Socket socket;
    std::string note;
    socket.insert(model("AT24C02"), "/nonexistent-dir/x/chip.bin", &note);
    socket.chip()->writeByte(0, 0);
    std::string error;
    EXPECT_FALSE(socket.flush(&error));
    EXPECT_FALSE(error.empty());
}

TEST(ChipModels, BuiltinsAreValidAndFoundByAnyCase) {
    EXPECT_GE(builtinChips().size(), 15u);
    for (const auto& chip : builtinChips()) {
        std::string error;
        EXPECT_TRUE(validateChipModel(chip, &error)) << chip.name << ": " << error;
    }
    const auto w = builtinChip("w25q64fv");
    ASSERT_TRUE(w);
    EXPECT_EQ(w->jedecId, 0xEF4017u);
    EXPECT_EQ(w->remsId, 0x00EF16u);
    EXPECT_EQ(w->size, 8u << 20);
    EXPECT_FALSE(builtinChip("W25Q64"));
    EXPECT_FALSE(builtinChip("SST25LF040A")->jedecId);
    // One built-in part of each kind without RDID.
    const auto rems = builtinChip("SST25VF040");
    ASSERT_TRUE(rems);
    EXPECT_FALSE(rems->jedecId);
    EXPECT_EQ(rems->remsId, 0x00BF44u);
    EXPECT_FALSE(rems->resId);
    EXPECT_FALSE(rems->pageProgram);
    for (const char* name : {"SST25LF040A", "PM25LV010"}) {
        const auto res = builtinChip(name);
        ASSERT_TRUE(res) << name;
        EXPECT_FALSE(res->jedecId) << name;
        EXPECT_FALSE(res->remsId) << name;
        EXPECT_TRUE(res->resId) << name;
    }
    EXPECT_EQ(builtinChip("Pm25LV010")->resId, 0x009D7Cu);
    EXPECT_TRUE(builtinChip("Pm25LV010")->pageProgram);
    EXPECT_EQ(describeChip(*builtinChip("Pm25LV010")),
              "Pm25LV010: spi-flash, 131072 bytes, page 256, sector 4096, id none, rems none, res "
              "009D7C");
}

TEST(ChipModels, GenericDescriptionsBuildAnyChip) {
    std::string error;
    auto flash = parseChipDescription(
        "spi-flash:size=2M,id=C84015,rems=00C814,sector=64K,name=MyFlash", &error);
    ASSERT_TRUE(flash) << error;
    EXPECT_EQ(flash->name, "MyFlash");
    EXPECT_EQ(flash->size, 2u << 20);
    EXPECT_EQ(flash->sectorSize, 65536u);
    EXPECT_EQ(flash->jedecId, 0xC84015u);
    auto mw = parseChipDescription(" microwire : size=256, org=16, pinout=rotated ", &error);
    ASSERT_TRUE(mw) << error;
    EXPECT_EQ(mw->pageSize, 2u);
    EXPECT_EQ(mw->microwireParameter(), 0x11);
    auto old = parseChipDescription("spi-flash:size=512K,rems=00BF44,program=byte", &error);
    ASSERT_TRUE(old) << error;
    EXPECT_FALSE(old->jedecId);
    EXPECT_FALSE(old->pageProgram);
    EXPECT_FALSE(old->resId);
    auto resOnly = parseChipDescription("spi-flash:size=128K,res=009D7C", &error);
    ASSERT_TRUE(resOnly) << error;
    EXPECT_EQ(resOnly->resId, 0x009D7Cu);
    EXPECT_FALSE(resOnly->remsId);
    EXPECT_TRUE(resOnly->pageProgram);
}

TEST(ChipTimes, BuiltinsCarryTheTypicalFiguresOfTheirFamily) {
    const auto w = builtinChip("W25Q64FV")->timing;
    EXPECT_EQ(w.pageProgramUs, 700u);
    EXPECT_EQ(w.sectorEraseUs, 45000u);
    EXPECT_EQ(w.blockEraseUs, 150000u);
    EXPECT_EQ(w.chipEraseUs, 20000000u);  // 64 Mbit: 20 s
    // Chip erase grows with the size within a family...
    EXPECT_EQ(builtinChip("W25Q256FV")->timing.chipEraseUs, 4 * w.chipEraseUs);
    EXPECT_EQ(builtinChip("GD25Q32")->timing.sectorEraseUs, 50000u);
    EXPECT_EQ(builtinChip("GD25Q32")->timing.blockEraseUs, 200000u);
    EXPECT_EQ(builtinChip("MX25L6405")->timing.pageProgramUs, 1400u);
    EXPECT_EQ(builtinChip("MX25L12835F")->timing.pageProgramUs, 600u);
    // ...but not on SST parts, whose whole array erases in tens of milliseconds.
    const auto sst = builtinChip("SST25VF016B")->timing;
    EXPECT_EQ(sst.byteProgramUs, 10u);
    EXPECT_EQ(sst.sectorEraseUs, 18000u);
    EXPECT_EQ(sst.chipEraseUs, 40000u);
    EXPECT_EQ(builtinChip("SST25LF040A")->timing.chipEraseUs, 40000u);
    EXPECT_EQ(builtinChip("24C256")->timing.pageProgramUs, 5000u);
    EXPECT_EQ(builtinChip("M95256")->timing.pageProgramUs, 5000u);
    EXPECT_EQ(builtinChip("93C86x16")->timing.pageProgramUs, 3000u);
    for (const auto& chip : builtinChips()) {
        SCOPED_TRACE(chip.name);
        EXPECT_GT(chip.timing.pageProgramUs, 0u);
        if (chip.family == Family::SpiFlash) {
            EXPECT_GT(chip.timing.chipEraseUs, chip.timing.blockEraseUs);
            EXPECT_GE(chip.timing.blockEraseUs, chip.timing.sectorEraseUs);
        }
    }
}

TEST(ChipTimes, GenericDescriptionsGetDefaultsAndTakeOverrides) {
    std::string error;
    auto flash = parseChipDescription("spi-flash:size=16M", &error);
    ASSERT_TRUE(flash) << error;
    EXPECT_EQ(flash->timing.pageProgramUs, 700u);
    EXPECT_EQ(flash->timing.chipEraseUs, 40000000u);  // 2.5 s per MiB
    // The default chip erase follows the size wherever the key stands.
    flash = parseChipDescription("spi-flash:tpp=1.5ms,size=1M,tse=60ms,tbe=0.5s,tbp=8us", &error);
    ASSERT_TRUE(flash) << error;
    EXPECT_EQ(flash->timing.pageProgramUs, 1500u);
    EXPECT_EQ(flash->timing.byteProgramUs, 8u);
    EXPECT_EQ(flash->timing.sectorEraseUs, 60000u);
    EXPECT_EQ(flash->timing.blockEraseUs, 500000u);
    EXPECT_EQ(flash->timing.chipEraseUs, 2500000u);
    flash = parseChipDescription("spi-flash:size=8M,tce=35ms", &error);
    ASSERT_TRUE(flash) << error;
    EXPECT_EQ(flash->timing.chipEraseUs, 35000u);
    auto eeprom = parseChipDescription("i2c-eeprom:size=32K,page=64,twc=10ms", &error);
    ASSERT_TRUE(eeprom) << error;
    EXPECT_EQ(eeprom->timing.pageProgramUs, 10000u);
    auto mw = parseChipDescription("microwire:size=128,org=16", &error);
    ASSERT_TRUE(mw) << error;
    EXPECT_EQ(mw->timing.pageProgramUs, 3000u);
    // A generic part named like a known one still gets generic figures.
    auto named = parseChipDescription("spi-flash:size=2M,name=SST25VF016B", &error);
    ASSERT_TRUE(named) << error;
    EXPECT_EQ(named->timing.chipEraseUs, 5000000u);
}

TEST(ChipTimes, BadTimesAreRefusedWithAReason) {
    const char* bad[] = {
        "spi-flash:size=1M,tpp=700",     // no unit
        "spi-flash:size=1M,tpp=fast",    //
        "spi-flash:size=1M,tpp=-1ms",    //
        "spi-flash:size=1M,tce=2h",      // unknown unit
        "spi-flash:size=1M,tce=3601s",   // beyond an hour
        "spi-flash:size=1M,tce=1e300s",  //
        "spi-flash:size=1M,tce=nans",    //
        "spi-flash:size=1M,twc=5ms",     // an EEPROM key
        "i2c-eeprom:size=256,tpp=5ms",   // a flash key
        "microwire:size=128,tce=1s",
    };
    for (const char* description : bad) {
        std::string error;
        EXPECT_FALSE(parseChipDescription(description, &error)) << description;
        EXPECT_FALSE(error.empty()) << description;
    }
    std::uint32_t us = 0;
    ASSERT_TRUE(parseDurationUs("0.7ms", us));
    EXPECT_EQ(us, 700u);
    ASSERT_TRUE(parseDurationUs("3600s", us));
    EXPECT_EQ(us, kMaxTimingUs);
    EXPECT_EQ(formatDurationUs(10), "10 us");
    EXPECT_EQ(formatDurationUs(700), "0.7 ms");
    EXPECT_EQ(formatDurationUs(45000), "45 ms");
    EXPECT_EQ(formatDurationUs(20000000), "20 s");
}

TEST(ChipModels, BadDescriptionsAreRefusedWithAReason) {
    const char* bad[] = {
        "",
        "nochip",
        "flashy:size=1M",
        "spi-flash:page=256",  // no size
        "spi-flash:size=0",
        "spi-flash:size=1G",           // beyond the model's limit
        "spi-flash:size=1M,page=100",  // not a power of two
        "spi-flash:size=1M,sector=100",
        "spi-flash:size=1M,id=EF40",  // not six digits
        "spi-flash:size=1M,id=EF401Z",
        "spi-flash:size=1M,colour=red",
        "spi-flash:size=1M,size",
        "i2c-eeprom:size=256,sector=4K",  // EEPROMs have no sectors
        "i2c-eeprom:size=256,id=EF4017",
        "spi-eeprom:size=256,res=00BF44",  // RES is an SPI flash probe
        "spi-flash:size=1M,res=BF44",
        "microwire:size=128,org=32",
        "microwire:size=127,org=16",
        "spi-flash:size=99999999999999999999999",
        "spi-flash:size=1M,name=bad\x01name",
    };
    for (const char* description : bad) {
        std::string error;
        EXPECT_FALSE(parseChipDescription(description, &error)) << description;
        EXPECT_FALSE(error.empty()) << description;
    }
}

TEST(ChipModels, RandomDescriptionsNeverYieldAnInvalidModel) {
    std::mt19937 rng(7);
    const std::string alphabet =
        "spi-flash:i2c-eeprommicrowire=,size=page=sector=id=org=16KMG0x9F\x00\xff";
    for (int round = 0; round < 5000; ++round) {
        std::string description;
        const int len = static_cast<int>(rng() % 48);
        for (int i = 0; i < len; ++i)
            description += alphabet[rng() % alphabet.size()];
        if (rng() % 2)
            description = "spi-flash:" + description;
        std::string error;
        if (const auto m = parseChipDescription(description, &error)) {
            EXPECT_TRUE(validateChipModel(*m, &error)) << description;
        } else {
            EXPECT_FALSE(error.empty());
        }
    }
}

}  // namespace
}  // namespace nyra::sim
