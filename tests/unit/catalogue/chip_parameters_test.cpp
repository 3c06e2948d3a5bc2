// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "catalogue/chip_parameters.h"

namespace nyra {
namespace {

ChipRecord record(std::string capacity = "1MB", std::string operationType = "000") {
    ChipRecord r;
    r.type = "25 SPI FLASH";
    r.manufacturer = "WINBOND";
    r.device = "W25Q80";
    r.pageSize = "256";
    r.sectorSize = "4";
    r.capacity = std::move(capacity);
    r.mainAddress = "N";
    r.secondaryAddress = "300";
    r.mainId = "EF4014";
    r.secondaryId = "00EF13";
    r.voltage = "3.3V";
    r.operationType = std::move(operationType);
    return r;
}

TEST(CharacterValues, ReadingsWithoutValidationNeverFail) {
    EXPECT_EQ(hexValue('F'), 15);
    EXPECT_EQ(hexValue('a'), 42);
    EXPECT_EQ(hexValue(' '), -16);
    EXPECT_EQ(decimalValue("1A"), 27u);
    EXPECT_EQ(decimalValue("4294967296"), 0u) << "32-bit arithmetic wraps";
    EXPECT_EQ(sizeCode(65536), 16);
    EXPECT_EQ(sizeCode(131072), 0) << "2^17 is not coded; its low byte is 0";
    EXPECT_EQ(sizeCode(300), 44);
}

TEST(SizeCodes, PageAndSectorFields) {
    EXPECT_EQ(pageSizeCode("256"), 8);
    EXPECT_EQ(pageSizeCode("48"), 48);
    EXPECT_EQ(pageSizeCode("N"), 255);
    EXPECT_EQ(sectorSizeCode("4"), 2);
    EXPECT_EQ(sectorSizeCode("64"), 6);
    EXPECT_EQ(sectorSizeCode("N"), 0);
    EXPECT_EQ(sectorSizeCode("F"), 255);
    EXPECT_EQ(sectorSizeCode("64KB"), 6);
    EXPECT_EQ(sectorSizeCode("NN"), 0);
}

TEST(ChipSize, CapacityTextsInBytesAndWords) {
    EXPECT_EQ(chipSizeFromCapacity("32KB"), 32768u);
    EXPECT_EQ(chipSizeFromCapacity("16MB"), 16777216u);
    EXPECT_EQ(chipSizeFromCapacity("512B"), 512u);
    EXPECT_EQ(chipSizeFromCapacity("1K*16bit"), 2048u);
    EXPECT_EQ(chipSizeFromCapacity("64*16bit"), 128u);
    EXPECT_EQ(chipSizeFromCapacity("128MB"), 134217728u);
    EXPECT_EQ(chipSizeFromCapacity("2GB"), 2147483648u);
    EXPECT_EQ(chipSizeFromCapacity("4GB"), 0u) << "32-bit size";
    // Only a "*16bit" after the first character counts words.
    EXPECT_EQ(chipSizeFromCapacity("*16bit"), 0u);
    EXPECT_EQ(chipSizeFromCapacity(""), 0u);
    EXPECT_EQ(chipSizeFromCapacity("B"), 0u);
    // A unit letter alone leaves no digits in front of it.
    EXPECT_EQ(chipSizeFromCapacity("G"), 0u);
    EXPECT_EQ(chipSizeFromCapacity("M"), 0u);
    EXPECT_EQ(chipSizeFromCapacity("K"), 0u);
    // Cut after the first B: what follows is ignored.
    EXPECT_EQ(chipSizeFromCapacity("8KBxyz"), 8192u);
}

TEST(ChipSize, CapacityLabel) {
    EXPECT_EQ(capacityText("32KB", 32768), "256Kbits/32Kbytes");
    EXPECT_EQ(capacityText("512B", 512), "4Kbits/512bytes");
    EXPECT_EQ(capacityText("128MB", 134217728), "1Gbits/128Mbytes");
    EXPECT_EQ(capacityText("64B", 64), "512bits/64bytes");
    EXPECT_EQ(capacityText("512MB", 536870912), "4Gbits/512Mbytes");
    // Exactly one unit takes the larger unit.
    EXPECT_EQ(capacityText("128B", 128), "1Kbits/128bytes");
    EXPECT_EQ(capacityText("1KB", 1024), "8Kbits/1Kbytes");
    EXPECT_EQ(capacityText("128KB", 131072), "1Mbits/128Kbytes");
    EXPECT_EQ(capacityText("1MB", 1048576), "8Mbits/1Mbytes");
    EXPECT_EQ(capacityText("1GB", 1073741824), "8Gbits/1Gbytes");
    EXPECT_EQ(capacityText("1K*16bit", 2048), "1K*16bit");
    EXPECT_EQ(capacityText("64*16bit", 128), "64*16bit");
    EXPECT_EQ(capacityText("1M", 0), "1M");
    EXPECT_EQ(capacityText("B12", 0), "B12");
}

TEST(ParameterBlock, FlashChipFillsEveryParameterByte) {
    ChipParameterBlock block;
    const std::uint32_t size = fillParameterBlock(record(), false, block);
    EXPECT_EQ(size, 1048576u);
    const std::array<std::uint8_t, 20> expected = {0xA5, 0x00, 0x00, 0x00, 8,    2,   0x00,
                                                   0x10, 0x00, 0x00, 0x00, 0x03, 0,   0,
                                                   0,    0,    0,    0,    0,    0x5A};
    EXPECT_EQ(block.bytes, expected);
    EXPECT_EQ(block.chipSize(), size);
}

TEST(ParameterBlock, VoltageAndOrganisationBits) {
    ChipParameterBlock block;
    ChipRecord r = record("1K*16bit", "310");
    r.voltage = "5";
    r.secondaryAddress = "010";
    EXPECT_EQ(fillParameterBlock(r, false, block), 2048u);
    EXPECT_EQ(block.bytes[1], 0xC0);
    EXPECT_TRUE(block.fiveVolt());
    EXPECT_TRUE(block.sixteenBit());
    EXPECT_EQ(block.busCode(), 3);
    EXPECT_EQ(block.operationParameter(), 0x10);
    r.voltage = "5V";
    r.capacity = "2KB";
    fillParameterBlock(r, false, block);
    EXPECT_EQ(block.bytes[1], 0x00);
}

TEST(ParameterBlock, KeepsCommandCodeAndArguments) {
    ChipParameterBlock block;
    const std::array<std::uint8_t, 4> argument = {1, 2, 3, 4};
    block.setCommand(0x3F, argument);
    fillParameterBlock(record(), false, block);
    EXPECT_EQ(block.commandCode(), 0x3F);
    EXPECT_EQ(block.argument(0), 1);
    EXPECT_EQ(block.argument(3), 4);
    const std::array<std::uint8_t, 1> shorter = {9};
    block.setCommand(7, shorter);
    EXPECT_EQ(block.commandCode(), 7);
    EXPECT_EQ(block.argument(0), 9);
    EXPECT_EQ(block.argument(1), 2) << "argument bytes persist";
    EXPECT_EQ(block.bytes[1] & 0xC0, 0);
}

TEST(ParameterBlock, AdapterFlagSetsBit7OfByte2) {
    ChipParameterBlock block;
    fillParameterBlock(record("1MB", "A10"), true, block);
    EXPECT_EQ(block.bytes[2], 0x8A);
    EXPECT_TRUE(block.adapter());
    block.setAdapter(false);
    EXPECT_EQ(block.bytes[2], 0x0A);
}

TEST(ParameterBlock, MainAddress) {
    ChipParameterBlock block;
    ChipRecord r = record();
    r.mainAddress = "A0";
    fillParameterBlock(r, false, block);
    EXPECT_EQ(block.mainAddress(), 160);
    r.mainAddress = "N";
    fillParameterBlock(r, false, block);
    EXPECT_EQ(block.mainAddress(), 0);
    r.mainAddress = "";
    fillParameterBlock(r, false, block);
    EXPECT_EQ(block.mainAddress(), 0) << "missing digits read as 0";
}

TEST(ParameterBlock, SecondaryAddressIsDecimalOnlyForMicrowire) {
    ChipParameterBlock block;
    ChipRecord r = record("128B", "300");
    r.secondaryAddress = "008";
    fillParameterBlock(r, false, block);
    EXPECT_EQ(block.secondaryAddressHigh(), 0);
    EXPECT_EQ(block.secondaryAddressLow(), 8);
    r.operationType = "100";
    fillParameterBlock(r, false, block);
    EXPECT_EQ(block.secondaryAddressLow(), 8);
    r.secondaryAddress = "016";
    fillParameterBlock(r, false, block);
    EXPECT_EQ(block.secondaryAddressLow(), 22);
    r.operationType = "310";
    fillParameterBlock(r, false, block);
    EXPECT_EQ(block.secondaryAddressLow(), 16);
    r.secondaryAddress = "2A2";
    r.operationType = "100";
    fillParameterBlock(r, false, block);
    EXPECT_EQ(block.secondaryAddressHigh(), 2);
    EXPECT_EQ(block.secondaryAddressLow(), 0xA2);
}

TEST(ParameterBlock, ShortOrGarbledFieldsStayInsideTheirTexts) {
    ChipRecord r;
    r.index = 0;
    for (std::size_t f = 0; f < ChipRecord::kTextFieldCount; ++f) {
        r.field(f) = "";
    }
    ChipParameterBlock block;
    EXPECT_EQ(fillParameterBlock(r, false, block), 0u);
    EXPECT_EQ(block.bytes[0], 0xA5);
    EXPECT_EQ(block.bytes[19], 0x5A);
    EXPECT_EQ(block.bytes[2], 0);
    EXPECT_EQ(block.bytes[3], 0);
}

TEST(Pinout, PictureByBusAndThirdDigit) {
    EXPECT_EQ(pinoutFor("000"), PinoutPicture::Spi);
    EXPECT_EQ(pinoutFor("010"), PinoutPicture::Spi);
    EXPECT_EQ(pinoutFor("100"), PinoutPicture::I2c);
    EXPECT_EQ(pinoutFor("200"), PinoutPicture::Spi);
    EXPECT_EQ(pinoutFor("201"), PinoutPicture::I2cModeWc);
    EXPECT_EQ(pinoutFor("202"), std::nullopt);
    EXPECT_EQ(pinoutFor("300"), PinoutPicture::Microwire);
    EXPECT_EQ(pinoutFor("311"), PinoutPicture::MicrowireRotated);
    EXPECT_EQ(pinoutFor("3"), std::nullopt);
    EXPECT_EQ(pinoutFor("400"), PinoutPicture::SclSda);
    EXPECT_EQ(pinoutFor("500"), std::nullopt);
    EXPECT_EQ(pinoutFor(""), std::nullopt);
}

TEST(QuadEnable, WinbondAndGigaDeviceFromOneMebibyte) {
    ChipRecord r = record();
    EXPECT_EQ(quadEnableFor(r, 512 * 1024), std::nullopt);
    EXPECT_EQ(quadEnableFor(r, 1048576), kQeWinbondGigaDevice);
    r.manufacturer = "GIGADEVICE 1.8V";
    EXPECT_EQ(quadEnableFor(r, 1048576), kQeWinbondGigaDevice);
    r.type = "25 EEPROM";
    EXPECT_EQ(quadEnableFor(r, 1048576), std::nullopt);
    r.type = "25 SPI FLASH";
    r.manufacturer = "EON";
    EXPECT_EQ(quadEnableFor(r, 16777216), std::nullopt);
}

TEST(QuadEnable, MacronixByDensityDigitPosition) {
    ChipRecord r = record();
    r.manufacturer = "MX";
    r.device = "MX25L6436F";
    EXPECT_EQ(quadEnableFor(r, 8388608), kQeMacronix);
    r.device = "MX25L6405D";
    EXPECT_EQ(quadEnableFor(r, 8388608), std::nullopt);
    r.device = "MX25L3233F";
    EXPECT_EQ(quadEnableFor(r, 262144), kQeMacronix);
    EXPECT_EQ(quadEnableFor(r, 131072), std::nullopt) << "below 256 KiB";
    r.device = "MX25L1283";  // digit at the 9th place, but only 9 characters
    EXPECT_EQ(quadEnableFor(r, 16777216), std::nullopt);
    r.device = "MX25L12835F";
    EXPECT_EQ(quadEnableFor(r, 16777216), kQeMacronix);
    r.device = "MX25L12805D";
    EXPECT_EQ(quadEnableFor(r, 16777216), std::nullopt);
    r.device = "MX25L643";  // eighth place, but only 8 characters
    EXPECT_EQ(quadEnableFor(r, 8388608), std::nullopt);
    r.device = "MX25L6436";  // the shortest names that qualify
    EXPECT_EQ(quadEnableFor(r, 8388608), kQeMacronix);
    r.device = "MX25L12835";
    EXPECT_EQ(quadEnableFor(r, 16777216), kQeMacronix);
}

TEST(ChipInformation, TextByteForByte) {
    ChipRecord r = record();
    r.index = 3;
    ChipParameterBlock block;
    fillParameterBlock(r, true, block);
    const std::array<std::uint8_t, 3> argument = {0xAB, 0x01, 0xFF};
    block.setCommand(9, argument);
    EXPECT_EQ(chipInformationText(3, r, block),
              "当前编号:3\r\n芯片信息:\r\n类型:25 SPI FLASH\r\n厂商:WINBOND\r\n型号:W25Q80\r\n"
              "页大小:256          \r\n扇区大小:4\r\n容量:1MB\r\n主地址:N\r\n从地址:300\r\n"
              "主ID:EF4014\r\n次ID:00EF13\r\n电压:3.3V\r\n操作类型:000\r\n内部编号:3\r\n"
              "对应自动指令:A5|09|8000|08|02|00100000|00|0300|AB01FF000000|5A      ");
}

}  // namespace
}  // namespace nyra
