// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "catalogue/chip_selection.h"
#include "catalogue_test_util.h"

namespace nyra {
namespace {

using test::crlf;

// Records what the selection asks of the window, in order.
class RecordingWindow : public SelectionWindow {
public:
    std::vector<std::string> calls;

    void listChanged(SelectionList which) override {
        calls.push_back(which == SelectionList::Type           ? "list:type"
                        : which == SelectionList::Manufacturer ? "list:maker"
                                                               : "list:device");
    }
    void setCapacityText(const std::string& text) override { calls.push_back("capacity:" + text); }
    void updateRows() override { calls.push_back("rows"); }
    void setScrollRange() override { calls.push_back("scroll"); }
    void setPinoutPicture(PinoutPicture p) override {
        calls.push_back("pinout:" + std::to_string(static_cast<int>(p)));
    }
    void updateChipChecksum() override { calls.push_back("checksum"); }
    void refreshView() override { calls.push_back("refresh"); }
    void setQeCheckBoxVisible(bool on) override {
        calls.push_back(std::string("qecheck:") + (on ? "show" : "hide"));
    }
    void setQeButtonVisible(bool on) override {
        calls.push_back(std::string("qebutton:") + (on ? "show" : "hide"));
    }
};

const std::string kCatalogue = crlf({
    "$25 SPI FLASH",
    "#WINBOND:",
    "@W25X40:256:4:512KB:N:300:EF3013:00EF12:3.3V:000",
    "@W25Q80:256:4:1MB:N:300:EF4014:00EF13:3.3V:000",
    "@W25Q80:256:64:1MB:N:300:EF4014:00EF13:3.3V:000",
    "#MX:",
    "@MX25L6436F:256:4:8MB:N:300:C22017:00C216:3.3V:000",
    "@MX25L6405D:256:64:8MB:N:300:C22017:00C216:3.3V:000",
    "$24 EEPROM",
    "#GENERIC:",
    "@24C02:8:N:256B:A0:100:000000:000000:5:100",
    "$25 EEPROM",
    "#GENERIC:",
    "@25040:8:N:512B:N:101:000000:000000:5:200",
    "$93 EEPROM",
    "#GENERIC:",
    "@93C86(x16):1:N:1K*16bit:N:010:000000:000000:5:310",
    "$34 SPD EEPROM",
    "#GENERIC:",
    "@34C02:16:N:256B:A0:100:000000:000000:3.3V:400",
});

class ChipSelectionTest : public ::testing::Test {
protected:
    ChipSelectionTest() {
        catalogue.parse(kCatalogue);
        selection.setLogSink([this](const std::string& line) { log.push_back(line); });
    }

    ChipCatalogue catalogue;
    RecordingWindow window;
    ChipSelection selection{catalogue, &window};
    std::vector<std::string> log;
};

TEST_F(ChipSelectionTest, StartUpFillsTheListsAndSelectsTheFirstChip) {
    selection.startUp();
    EXPECT_EQ(selection.typeList().items.size(), 5u);
    EXPECT_EQ(selection.typeList().current, 0);
    EXPECT_EQ(selection.manufacturerList().items, (std::vector<std::string>{"WINBOND", "MX"}));
    EXPECT_EQ(selection.deviceList().items,
              (std::vector<std::string>{"W25X40", "W25Q80", "W25Q80"}));
    EXPECT_EQ(selection.selectedChip(), 0u);
    EXPECT_EQ(selection.selectedDevice(), "W25X40");
    EXPECT_EQ(selection.chipSize(), 524288u);
    EXPECT_EQ(selection.capacityText(), "4Mbits/512Kbytes");
    const std::vector<std::string> expected = {
        "list:type", "list:maker",    "list:device", "capacity:4Mbits/512Kbytes",
        "rows",      "scroll",        "pinout:0",    "checksum",
        "refresh",   "qebutton:hide", "qecheck:hide"};
    EXPECT_EQ(window.calls, expected);
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(selection.applySelection()) << "always succeeds";
}

TEST_F(ChipSelectionTest, QeControlsShowCheckBoxFirstAndKeepTheDescriptorWhenHidden) {
    selection.startUp();
    window.calls.clear();
    ASSERT_TRUE(selection.deviceChanged(1));
    EXPECT_TRUE(selection.qeControlsVisible());
    EXPECT_EQ(selection.qeDescriptor(), kQeWinbondGigaDevice);
    ASSERT_GE(window.calls.size(), 2u);
    EXPECT_EQ(window.calls[window.calls.size() - 2], "qecheck:show");
    EXPECT_EQ(window.calls.back(), "qebutton:show");

    ASSERT_TRUE(selection.manufacturerChanged(1));
    EXPECT_EQ(selection.selectedDevice(), "MX25L6436F");
    EXPECT_EQ(selection.qeDescriptor(), kQeMacronix);
    ASSERT_TRUE(selection.deviceChanged(1));
    EXPECT_FALSE(selection.qeControlsVisible());
    EXPECT_EQ(selection.qeDescriptor(), kQeMacronix);
}

TEST_F(ChipSelectionTest, SameNamedDevicesSelectTheFirstRecord) {
    selection.startUp();
    ASSERT_TRUE(selection.deviceChanged(2));
    EXPECT_EQ(selection.selectedChip(), 1u);
    EXPECT_EQ(selection.parameterBlock().sectorSizeCode(), 2);
}

TEST_F(ChipSelectionTest, TypeChangeRefillsMakerAndDeviceLists) {
    selection.startUp();
    window.calls.clear();
    ASSERT_TRUE(selection.typeChanged(3));
    EXPECT_EQ(selection.manufacturerList().items, std::vector<std::string>{"GENERIC"});
    EXPECT_EQ(selection.deviceList().items, std::vector<std::string>{"93C86(x16)"});
    EXPECT_EQ(selection.selectedType(), "93 EEPROM");
    EXPECT_EQ(selection.chipSize(), 2048u);
    EXPECT_EQ(selection.capacityText(), "1K*16bit");
    const ChipParameterBlock block = selection.parameterBlock();
    EXPECT_TRUE(block.sixteenBit());
    EXPECT_TRUE(block.fiveVolt());
    EXPECT_EQ(block.secondaryAddressLow(), 10);
    EXPECT_EQ(window.calls[0], "list:type");
    EXPECT_EQ(window.calls[1], "list:maker");
    EXPECT_EQ(window.calls[2], "list:device");
    EXPECT_EQ(window.calls[6], "pinout:3");
}

TEST_F(ChipSelectionTest, PinoutIsKeptWhenTheOperationTypeNamesNone) {
    catalogue.parse(crlf({"$X", "#M:", "@A:1:N:1B:N:000:000000:000000:5:100",
                          "@B:1:N:1B:N:000:000000:000000:5:302"}));
    selection.startUp();
    window.calls.clear();
    ASSERT_TRUE(selection.deviceChanged(1));
    for (const auto& call : window.calls) {
        EXPECT_EQ(call.rfind("pinout", 0), std::string::npos) << call;
    }
}

TEST_F(ChipSelectionTest, NotificationsOutsideTheListsChangeNothing) {
    selection.startUp();
    window.calls.clear();
    EXPECT_FALSE(selection.typeChanged(5));
    EXPECT_FALSE(selection.manufacturerChanged(-1));
    EXPECT_FALSE(selection.deviceChanged(3));
    EXPECT_TRUE(window.calls.empty());
    EXPECT_EQ(selection.selectedChip(), 0u);
}

TEST_F(ChipSelectionTest, SelectRecordShowsItInAllThreeLists) {
    selection.startUp();
    ASSERT_TRUE(selection.selectRecord(4));
    EXPECT_EQ(selection.typeList().currentText(), "25 SPI FLASH");
    EXPECT_EQ(selection.manufacturerList().currentText(), "MX");
    EXPECT_EQ(selection.deviceList().currentText(), "MX25L6405D");
    EXPECT_EQ(selection.selectedChip(), 4u);
    ASSERT_TRUE(selection.selectRecord(8));
    EXPECT_EQ(selection.selectedType(), "34 SPD EEPROM");
    EXPECT_EQ(selection.parameterBlock().busCode(), 4);
    EXPECT_FALSE(selection.selectRecord(9));
}

TEST_F(ChipSelectionTest, SelectRecordBeforeTheListsAreFilledRefuses) {
    EXPECT_FALSE(selection.selectRecord(0));
    EXPECT_TRUE(window.calls.empty());
    ListModel list;
    list.items = {"A", "B"};
    EXPECT_EQ(list.indexOf("B"), 1);
    EXPECT_EQ(list.indexOf("C"), -1);
}

TEST_F(ChipSelectionTest, ComputeParametersRefusesPositionsOutsideTheCatalogue) {
    selection.startUp();
    const ChipParameterBlock before = selection.parameterBlock();
    EXPECT_EQ(selection.computeParameters(9), 0);
    EXPECT_EQ(selection.parameterBlock(), before);
    EXPECT_EQ(selection.chipSize(), 524288u);
    EXPECT_EQ(selection.computeParameters(5), 1);
    EXPECT_EQ(selection.chipSize(), 256u);
    EXPECT_EQ(selection.parameterBlock().mainAddress(), 0xA0);
}

TEST_F(ChipSelectionTest, AdapterFlagMarksTheBlockAtOnceAndAfterRecomputing) {
    selection.startUp();
    selection.setAdapterFlag(true);
    EXPECT_TRUE(selection.parameterBlock().adapter());
    EXPECT_EQ(selection.computeParameters(selection.selectedChip()), 1);
    EXPECT_EQ(selection.parameterBlock().bytes[2], 0x80);
    selection.setAdapterFlag(false);
    EXPECT_EQ(selection.parameterBlock().bytes[2], 0x00);
}

TEST_F(ChipSelectionTest, ChipInformationBoxUsesItsCaption) {
    std::vector<std::string> boxes;
    selection.setMessageSink(
        [&boxes](const std::string& text, const std::string& caption, MessageIcon icon) {
            EXPECT_EQ(icon, MessageIcon::Information);
            boxes.push_back(caption + "|" + text);
        });
    selection.startUp();
    selection.deviceChanged(1);
    selection.showChipInformation();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind("芯片详细信息|当前编号:1\r\n芯片信息:\r\n类型:25 SPI FLASH", 0), 0u);
    EXPECT_NE(boxes[0].find("内部编号:1\r\n对应自动指令:A5|00|0000|08|02|00100000|00|0300|"),
              std::string::npos);
}

TEST(ChipSelectionEmpty, EmptyCatalogueLeavesEverythingEmpty) {
    ChipCatalogue catalogue;
    RecordingWindow window;
    ChipSelection selection(catalogue, &window);
    selection.startUp();
    EXPECT_TRUE(selection.typeList().items.empty());
    EXPECT_TRUE(window.calls.empty());
    EXPECT_EQ(selection.chipSize(), 0u);
    EXPECT_EQ(selection.computeParameters(0), 0);
    EXPECT_TRUE(selection.applySelection());
    EXPECT_EQ(selection.parameterBlock(), ChipParameterBlock{});
    // The box still works and shows the blank slot.
    EXPECT_NE(selection.chipInformation().find("类型:" + std::string(31, ' ')), std::string::npos);
}

TEST(ChipSelectionLimits, ListsBeyondTheirRoomAreShownInFullAndNoted) {
    std::string text;
    for (int t = 0; t < 7; ++t) {
        text += "$T" + std::to_string(t) + "\r\n#M:\r\n@D:1:N:1B:N:000:000000:000000:5:000\r\n";
    }
    ChipCatalogue catalogue;
    catalogue.parse(text);
    ChipSelection selection(catalogue);
    std::vector<std::string> log;
    selection.setLogSink([&log](const std::string& line) { log.push_back(line); });
    selection.startUp();
    EXPECT_EQ(selection.typeList().items.size(), 7u);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("7 type groups"), std::string::npos);
    EXPECT_TRUE(selection.typeChanged(6));
    EXPECT_EQ(selection.selectedChip(), 6u);

    // Six types fill the list exactly: nothing to note.
    const auto sixth = text.find("$T6");
    ChipCatalogue six;
    six.parse(text.substr(0, sixth));
    ChipSelection fits(six);
    log.clear();
    fits.setLogSink([&log](const std::string& line) { log.push_back(line); });
    fits.startUp();
    EXPECT_EQ(fits.typeList().items.size(), 6u);
    EXPECT_TRUE(log.empty());
}

TEST(ChipSelectionLimits, MakerAndDeviceListsAreNotedOnlyBeyondTheirRoom) {
    const auto catalogueOf = [](int makers, int devices) {
        std::string text = "$T\r\n";
        for (int m = 0; m < makers; ++m) {
            text += "#M" + std::to_string(m) + ":\r\n";
            for (int d = 0; d < (m == 0 ? devices : 1); ++d) {
                text += "@D" + std::to_string(d) + ":1:N:1B:N:000:000000:000000:5:000\r\n";
            }
        }
        return text;
    };
    for (const bool beyond : {false, true}) {
        SCOPED_TRACE(beyond ? "101 makers, 135 devices" : "100 makers, 134 devices");
        ChipCatalogue catalogue;
        catalogue.parse(catalogueOf(beyond ? 101 : 100, beyond ? 135 : 134));
        ChipSelection selection(catalogue);
        std::vector<std::string> log;
        selection.setLogSink([&log](const std::string& line) { log.push_back(line); });
        selection.startUp();
        EXPECT_EQ(selection.manufacturerList().items.size(), beyond ? 101u : 100u);
        EXPECT_EQ(selection.deviceList().items.size(), beyond ? 135u : 134u);
        if (!beyond) {
            EXPECT_TRUE(log.empty());
            continue;
        }
        ASSERT_EQ(log.size(), 2u);
        EXPECT_NE(log[0].find("101 makers of T"), std::string::npos);
        EXPECT_NE(log[1].find("135 chips of M0 (T)"), std::string::npos);
    }
}

TEST(ChipSelectionThreads, WorkerRecomputesWhileTheWindowSelects) {
    ChipCatalogue catalogue;
    catalogue.parse(kCatalogue);
    ChipSelection selection(catalogue);
    selection.startUp();
    std::thread worker([&selection] {
        for (int i = 0; i < 2000; ++i) {
            selection.computeParameters(selection.selectedChip());
            const ChipParameterBlock block = selection.parameterBlock();
            ASSERT_EQ(block.bytes[0], 0xA5);
            ASSERT_EQ(block.bytes[19], 0x5A);
        }
    });
    for (int i = 0; i < 2000; ++i) {
        selection.typeChanged(i % 5);
    }
    worker.join();
    EXPECT_EQ(selection.selectedType(), "34 SPD EEPROM");
}

}  // namespace
}  // namespace nyra

namespace nyra {
namespace {

TEST(ListModelTest, ClearingDropsTheSelectionWithTheItems) {
    ListModel list;
    list.items = {"A", "B"};
    ASSERT_TRUE(list.setCurrent(1));
    list.clear();
    EXPECT_TRUE(list.items.empty());
    EXPECT_EQ(list.current, -1);
    EXPECT_EQ(list.currentText(), "");
    EXPECT_FALSE(list.setCurrent(0));
}

}  // namespace
}  // namespace nyra
