// SPDX-License-Identifier: GPL-3.0-or-later
// The records of the shipped catalogue that identification and programming
// depend on beyond the format: twins, parts without RDID, parts with two IDs.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "catalogue/catalogue_tools.h"
#include "catalogue/chip_catalogue.h"
#include "catalogue/chip_parameters.h"
#include "catalogue_test_util.h"

namespace nyra {
namespace {

constexpr const char* kFlash = "25 SPI FLASH";

class ShippedRecords : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::ifstream in(test::shippedCatalogueSource(), std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>()};
        catalogue_ = new ChipCatalogue;
        catalogue_->loadImage(buildDatabase(text).database);
    }
    static void TearDownTestSuite() {
        delete catalogue_;
        catalogue_ = nullptr;
    }
    void SetUp() override { ASSERT_GT(catalogue().count(), 1000u); }

    static const ChipCatalogue& catalogue() { return *catalogue_; }

    // The one record of that maker and device; fails the test otherwise.
    static const ChipRecord* chip(const std::string& maker, const std::string& device) {
        const auto found = catalogue().findChip(kFlash, maker, device);
        EXPECT_EQ(found.size(), 1u) << maker << " " << device;
        return found.size() == 1 ? catalogue().record(found[0]) : nullptr;
    }

    static std::vector<std::string> devicesOf(const std::vector<std::uint32_t>& positions) {
        std::vector<std::string> devices;
        for (const auto i : positions) {
            devices.push_back(catalogue().record(i)->device);
        }
        return devices;
    }

    static ChipParameterBlock blockOf(const ChipRecord& r) {
        ChipParameterBlock block;
        fillParameterBlock(r, false, block);
        return block;
    }

private:
    static ChipCatalogue* catalogue_;
};

ChipCatalogue* ShippedRecords::catalogue_ = nullptr;

bool contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

TEST_F(ShippedRecords, PctPartsTakeTheSecondIdAndWriteMethodOfTheirSstTwin) {
    const char* parts[] = {"25VF020B", "25VF040B", "25VF080B", "25VF016B", "25VF032B", "25VF064C"};
    for (const std::string part : parts) {
        SCOPED_TRACE(part);
        const ChipRecord* pct = chip("PCT", "PCT" + part);
        const ChipRecord* sst = chip("SST", "SST" + part);
        ASSERT_TRUE(pct && sst);
        EXPECT_EQ(pct->mainId, sst->mainId);
        EXPECT_EQ(pct->secondaryId, sst->secondaryId);
        EXPECT_NE(pct->secondaryId, "000000");
        EXPECT_EQ(blockOf(*pct).bytes, blockOf(*sst).bytes);
        const auto twins = devicesOf(catalogue().findBySecondaryId(
            static_cast<std::uint32_t>(std::stoul(sst->secondaryId, nullptr, 16))));
        EXPECT_TRUE(contains(twins, "PCT" + part));
        EXPECT_TRUE(contains(twins, "SST" + part));
    }
    // The 064C programs pages; the older parts know only AAI word program.
    EXPECT_EQ(blockOf(*chip("PCT", "PCT25VF064C")).operationParameter(), 0x00);
    EXPECT_EQ(blockOf(*chip("PCT", "PCT25VF016B")).operationParameter(), 0x02);
}

TEST_F(ShippedRecords, Zb25vq16IsFoundByEitherOfItsIds) {
    EXPECT_EQ(devicesOf(catalogue().findByMainId(0x0E4015)), std::vector<std::string>{"ZB25VQ16"});
    EXPECT_EQ(devicesOf(catalogue().findByMainId(0x5E4015)),
              std::vector<std::string>{"ZB25VQ16(5E4015)"});
    const ChipRecord* first = chip("ZBIT", "ZB25VQ16");
    const ChipRecord* second = chip("ZBIT", "ZB25VQ16(5E4015)");
    ASSERT_TRUE(first && second);
    ChipRecord same = *second;
    same.device = first->device;
    same.mainId = first->mainId;
    same.index = first->index;
    EXPECT_EQ(same, *first) << "only the name and the main ID differ";
}

struct SecondIdOnly {
    const char* maker;
    const char* device;
    std::uint32_t secondId;
    std::uint32_t size;
    std::uint8_t sectorCode;  // 2^(code+10) bytes
    std::uint8_t parameter;   // low digit: 0 page, 1 byte, 2 AAI word program
};

// spi-nor-second-id-only.tsv as the catalogue must carry it.
const SecondIdOnly kSecondIdOnly[] = {
    {"PMC", "PM25LV010.RES", 0x009D7C, 128 << 10, 2, 0x00},
    {"PMC", "PM25LV512(A)", 0x009D7B, 64 << 10, 2, 0x00},
    {"SST", "SST25LF020A", 0x00BF43, 256 << 10, 2, 0x01},
    {"SST", "SST25LF040A", 0x00BF44, 512 << 10, 2, 0x01},
    {"SST", "SST25LF080(A)", 0x00BF80, 1 << 20, 2, 0x01},
    {"SST", "SST25VF010(A)", 0x00BF49, 128 << 10, 2, 0x01},
    {"SST", "SST25VF020", 0x00BF43, 256 << 10, 2, 0x01},
    {"SST", "SST25VF040", 0x00BF44, 512 << 10, 2, 0x01},
    {"SST", "SST25VF040B.REMS", 0x00BF8D, 512 << 10, 2, 0x02},
    {"SST", "SST25VF512(A)", 0x00BF48, 64 << 10, 2, 0x01},
    {"SANYO", "LE25FU106B", 0x00621D, 128 << 10, 5, 0x00},
    {"SANYO", "LE25FU206", 0x006244, 256 << 10, 2, 0x00},
    {"SANYO", "LE25FU406B", 0x00621E, 512 << 10, 2, 0x00},
    {"SANYO", "LE25FW106", 0x006215, 128 << 10, 1, 0x00},
    {"SANYO", "LE25FW406A", 0x00621A, 512 << 10, 2, 0x00},
    {"SANYO", "LE25FW418A", 0x006210, 512 << 10, 2, 0x00},
    {"SANYO", "LE25FW806", 0x006226, 1 << 20, 2, 0x00},
    {"SANYO", "LE25FW808", 0x006220, 1 << 20, 3, 0x00},
    {"ZETTA 1.8V", "ZD25LQ128.REMS", 0x00BA17, 16 << 20, 2, 0x00},
};

TEST_F(ShippedRecords, PartsWithoutRdidAreFoundByTheirSecondIdAlone) {
    for (const auto& part : kSecondIdOnly) {
        SCOPED_TRACE(part.device);
        const ChipRecord* r = chip(part.maker, part.device);
        ASSERT_NE(r, nullptr);
        EXPECT_TRUE(checkRecord(*r).empty());
        EXPECT_EQ(r->mainId, "FFFFFF") << "a first ID that no answer matches";
        EXPECT_TRUE(contains(devicesOf(catalogue().findBySecondaryId(part.secondId)), part.device));
        const ChipParameterBlock block = blockOf(*r);
        EXPECT_EQ(block.chipSize(), part.size);
        EXPECT_EQ(block.pageSizeCode(), 8);
        EXPECT_EQ(block.sectorSizeCode(), part.sectorCode);
        EXPECT_EQ(block.busCode(), 0);
        EXPECT_EQ(block.operationParameter(), part.parameter);
        EXPECT_EQ(block.secondaryAddressHigh(), 3) << "three address bytes";
    }
    // Parts sold under two names share the second ID: identification lists both.
    const auto bf44 = devicesOf(catalogue().findBySecondaryId(0x00BF44));
    EXPECT_TRUE(contains(bf44, "SST25VF040"));
    EXPECT_TRUE(contains(bf44, "SST25LF040A"));
    EXPECT_EQ(chip("ZETTA 1.8V", "ZD25LQ128.REMS")->voltage, "1.8V");
    EXPECT_EQ(chip("SANYO", "LE25FW806")->voltage, "3.3V");
}

TEST_F(ShippedRecords, OnlyThePartsWithoutRdidCarryTheNoAnswerIdAndTheyStayInTheFlashGroup) {
    const auto noRdid = catalogue().findByMainId(0xFFFFFF);
    EXPECT_EQ(noRdid.size(), std::size(kSecondIdOnly));
    const auto eeproms = catalogue().findChip("24 EEPROM", "GENERIC", "24C01");
    ASSERT_FALSE(eeproms.empty());
    for (const auto i : noRdid) {
        EXPECT_EQ(catalogue().record(i)->type, kFlash);
        EXPECT_LT(i, eeproms[0]) << "flash records come before the first EEPROM group";
    }
}

}  // namespace
}  // namespace nyra
