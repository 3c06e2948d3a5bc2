// SPDX-License-Identifier: GPL-3.0-or-later
// The file fill, go-to and data view windows over the main window's state
// and a simulated programmer: what each writes, shows and refuses.
#include <gtest/gtest.h>

#include <numeric>

#include "ops/data_view_job.h"
#include "tools/file_fill.h"
#include "tools/go_to.h"
#include "unit/ops/chip_job_fixture.h"

namespace nyra {
namespace {

using namespace ids;

class BufferToolsTest : public ops_test::ChipJobTest {
protected:
    std::string itextFile() const override {
        return std::string(ops_test::kJobItext) +
               "8=Bad digit\r\n25=Cannot open\r\n34=No programmer\r\n55=Beyond the data\r\n"
               "162=Enter an address\r\n163=Enter a length\r\n164=Enter the data\r\n"
               "165=Edit mode first\r\n166=Filling\r\n167=Fill done\r\n171=View address?\r\n"
               "172=File read.\r\n173=out of range\r\n174=none\r\n175= Chip read.\r\n"
               "176=Beyond file.\r\n177= Beyond chip.\r\n178=Viewed\r\n187=Go where?\r\n";
    }
    void SetUp() override {
        // Every caption names its key, so a caption taken from the wrong key shows.
        std::string ftext = "[ftext]\r\n";
        for (int key = 0; key < 200; ++key)
            ftext += std::to_string(key) + "=F" + std::to_string(key) + "\r\n";
        dir.write("ftext.ini", ftext);
        ChipJobTest::SetUp();
    }
    void loadAndEdit(const std::vector<std::uint8_t>& bytes) {
        loadData(bytes);
        state.command(kCmdEditMode);
        ASSERT_TRUE(state.hexView().editMode());
        frontend.clearRecord();
    }
    std::vector<std::uint8_t> data() {
        const WorkingFile& file = state.dataBuffer().working();
        std::vector<std::uint8_t> bytes(file.length());
        file.readAt(0, bytes.data(), bytes.size());
        return bytes;
    }
    FileFillWindow& fill() { return state.fileFillWindow(); }
    void fillWith(const std::string& address, const std::string& length, const std::string& value) {
        // As typed: each change goes through the field checks.
        Panel& p = fill().panel();
        for (const auto& [id, text] : {std::pair{kFileFillAddress, address},
                                       {kFileFillLength, length},
                                       {kFileFillData, value}}) {
            p.setText(id, text);
            fill().fields().changed(id, static_cast<int>(text.size()));
        }
        fill().fill();
    }
    std::uint64_t focused() {
        const HexViewModel& view = state.hexView();
        return (std::uint64_t{view.viewStart()} + static_cast<unsigned>(view.focusRow() - 1)) * 16 +
               static_cast<unsigned>(view.focusColumn() - 1);
    }
    DataViewWindow& dataView() { return state.dataViewWindow(); }
    void viewAt(const std::string& address) {
        dataView().panel().setText(kDataViewAddress, address);
        dataView().view();
        state.worker().waitUntilIdle();
    }
    std::string shown(int id) { return dataView().panel().text(id); }
};

TEST_F(BufferToolsTest, EachWindowOpensWithItsCaptionsAndStartValues) {
    const auto expectTexts = [](Panel& panel, std::vector<std::pair<int, std::string>> texts) {
        for (const auto& [id, text] : texts)
            EXPECT_EQ(panel.text(id), text) << "control " << id;
    };
    state.command(kCmdFileFill);
    EXPECT_EQ(fill().title(), "F106");
    expectTexts(fill().panel(), {{kFileFillAddressLabel, "F97"},
                                 {kFileFillLengthLabel, "F103"},
                                 {kFileFillDataLabel, "F104"},
                                 {kFileFillStatusLabel, "F96"},
                                 {kFileFillFromEnd, "F107"},
                                 {kFileFillAction, "F77"},
                                 {kToolCancel, "F76"},
                                 {kFileFillStatus, "null"}});
    state.command(kCmdDataView);
    EXPECT_EQ(dataView().title(), "F16");
    expectTexts(dataView().panel(), {{kDataViewFirstLabel, "F93"},
                                     {kDataViewFirstLabel + 1, "F94"},
                                     {kDataViewFirstLabel + 2, "F95"},
                                     {kDataViewFirstLabel + 3, "F96"},
                                     {kDataViewAction, "F77"},
                                     {kToolCancel, "F76"},
                                     {kDataViewFileData, "null"},
                                     {kDataViewChipData, "null"},
                                     {kDataViewStatus, "null"},
                                     {kDataViewAddress, "0"}});
    std::unique_ptr<GoToWindow> goTo;
    state.showGoToWindow = [&](std::unique_ptr<GoToWindow> w) { goTo = std::move(w); };
    state.command(kCmdGoTo);
    ASSERT_TRUE(goTo);
    EXPECT_EQ(goTo->title(), "F110");
    expectTexts(goTo->panel(), {{kGoToLabel, "F97"}, {kGoToAction, "F77"}, {kToolCancel, "F76"}});

    // Opened again, a window starts afresh.
    loadAndEdit(ops_test::randomBytes(32, 9));
    state.command(kCmdFileFill);
    fill().setFillFromEnd(true);
    fillWith("20", "1", "00");
    goTo->panel().setText(kGoToAddress, "10");
    dataView().panel().setText(kDataViewStatus, "old");
    state.command(kCmdFileFill);
    EXPECT_FALSE(fill().addressReadOnly());
    expectTexts(fill().panel(),
                {{kFileFillAddress, "0"}, {kFileFillStatus, "null"}, {kFileFillData, ""}});
    state.command(kCmdDataView);
    EXPECT_EQ(dataView().panel().text(kDataViewStatus), "null");
}

TEST_F(BufferToolsTest, AFillSaysFillingWhileItWritesAndAFailedWriteIsNoSuccess) {
    loadAndEdit(ops_test::randomBytes(64, 10));
    state.command(kCmdFileFill);
    std::vector<std::string> statuses;
    const auto token = fill().panel().subscribe([&](const PanelChange& change) {
        if (change.id == kFileFillStatus)
            statuses.push_back(fill().panel().text(kFileFillStatus));
    });
    fillWith("0", "8", "00");
    fill().panel().unsubscribe(token);
    EXPECT_EQ(statuses, (std::vector<std::string>{"Filling", "Fill done"}));

    // The working file refusing the fill: no success anywhere.
    const std::string working = state.dataBuffer().working().path();
    ASSERT_TRUE(state.dataBuffer().openWorkingReadOnly(working));
    frontend.clearRecord();
    fillWith("0", "8", "11");
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].icon, BoxIcon::Error);
    EXPECT_EQ(frontend.boxes()[0].caption, "Error");
    EXPECT_EQ(frontend.boxes()[0].text.substr(0, 12), "Cannot open\n");
    EXPECT_EQ(fill().panel().text(kFileFillStatus), frontend.boxes()[0].text);
    EXPECT_EQ(status(), frontend.boxes()[0].text);
    EXPECT_EQ(state.jobContext().status.kind(), StatusKind::Alert);
}

TEST_F(BufferToolsTest, FillFromTheEndAppendsAndMovesTheAddressOn) {
    loadAndEdit(ops_test::randomBytes(100, 1));
    state.command(kCmdFileFill);
    EXPECT_EQ(fill().panel().text(kFileFillAddress), "0");
    EXPECT_EQ(fill().panel().text(kFileFillLength), "1");
    EXPECT_EQ(fill().panel().text(kFileFillData), "");
    EXPECT_EQ(fill().panel().text(kFileFillStatus), "null");

    fill().setFillFromEnd(true);
    EXPECT_TRUE(fill().addressReadOnly());
    EXPECT_EQ(fill().panel().text(kFileFillAddress), "64");
    fillWith(fill().panel().text(kFileFillAddress), "4", "00");
    const std::vector<std::uint8_t> bytes = data();
    ASSERT_EQ(bytes.size(), 104u);
    for (std::size_t i = 100; i < 104; ++i)
        EXPECT_EQ(bytes[i], 0x00) << i;
    EXPECT_EQ(fill().panel().text(kFileFillAddress), "68");
    EXPECT_EQ(fill().panel().text(kFileFillStatus), "Fill done");
    EXPECT_EQ(status(), "Fill done");
    EXPECT_TRUE(frontend.boxes().empty());

    // The checksum shown is the sum of what the file holds, and Save is offered.
    const std::uint64_t sum = std::accumulate(bytes.begin(), bytes.end(), std::uint64_t{0});
    EXPECT_EQ(state.dataBuffer().dataChecksum(), sum);
    EXPECT_EQ(state.panel().text(kTextFileChecksum), formatChecksum(sum));
    EXPECT_FALSE(state.panel().menuGreyed(kCmdSaveFile));
    EXPECT_EQ(state.dataBuffer().rows().data, 7u);

    fill().setFillFromEnd(false);
    EXPECT_FALSE(fill().addressReadOnly());
    EXPECT_EQ(fill().panel().text(kFileFillAddress), "0");
}

TEST_F(BufferToolsTest, FillPastTheEndErasesTheGapFirst) {
    const auto original = ops_test::randomBytes(100, 2);
    loadAndEdit(original);
    state.command(kCmdFileFill);
    fillWith("C8", "3", "F");
    const std::vector<std::uint8_t> bytes = data();
    ASSERT_EQ(bytes.size(), 203u);
    EXPECT_TRUE(std::equal(original.begin(), original.end(), bytes.begin()));
    for (std::size_t i = 100; i < 200; ++i)
        ASSERT_EQ(bytes[i], 0xFF) << i;
    for (std::size_t i = 200; i < 203; ++i)
        EXPECT_EQ(bytes[i], 0x0F) << i;
    EXPECT_EQ(state.dataBuffer().dataChecksum(),
              std::accumulate(bytes.begin(), bytes.end(), std::uint64_t{0}));
}

TEST_F(BufferToolsTest, AFillAcrossPiecesAndTheEndKeepsTheChecksumTrue) {
    const auto original = ops_test::randomBytes(20000, 3);
    loadAndEdit(original);
    state.command(kCmdFileFill);
    // Starts inside the data, runs 3 pieces of 8192 and ends past it.
    fillWith("10", "25000", "ab");
    const std::vector<std::uint8_t> bytes = data();
    ASSERT_EQ(bytes.size(), 0x10u + 25000u);
    EXPECT_TRUE(std::equal(original.begin(), original.begin() + 0x10, bytes.begin()));
    const auto wrong =
        std::find_if(bytes.begin() + 0x10, bytes.end(), [](auto b) { return b != 0xAB; });
    EXPECT_EQ(wrong - bytes.begin(), static_cast<long>(bytes.size()));
    EXPECT_EQ(state.dataBuffer().dataChecksum(),
              std::accumulate(bytes.begin(), bytes.end(), std::uint64_t{0}));
    // Inside the data only: the length stays.
    fillWith("0", "16", "00");
    EXPECT_EQ(data().size(), 0x10u + 25000u);
    EXPECT_EQ(state.dataBuffer().dataChecksum(), std::uint64_t{0xAB} * 25000u);
    // Save writes what the fill changed.
    state.command(kCmdSaveFile);
    EXPECT_EQ(state.dataBuffer().changedRange().empty(), true);
}

TEST_F(BufferToolsTest, FillChecksRefuseWithoutTouchingTheData) {
    const auto original = ops_test::randomBytes(64, 4);
    loadData(original);
    state.command(kCmdFileFill);
    frontend.clearRecord();

    const struct {
        const char *address, *length, *value, *box;
    } missing[] = {{"", "", "", "Enter an address"},
                   {"0", "", "", "Enter a length"},
                   {"0", "4", "", "Enter the data"}};
    for (const auto& m : missing) {
        fillWith(m.address, m.length, m.value);
        ASSERT_FALSE(frontend.boxes().empty());
        EXPECT_EQ(frontend.boxes().back().text, m.box);
        EXPECT_EQ(frontend.boxes().back().icon, BoxIcon::Warning);
        EXPECT_EQ(frontend.boxes().back().caption, "Notice");
    }

    // Edit mode off: the window, the status line and a plain box say so.
    frontend.clearRecord();
    fillWith("0", "4", "00");
    EXPECT_EQ(fill().panel().text(kFileFillStatus), "Edit mode first");
    EXPECT_EQ(status(), "Edit mode first");
    EXPECT_EQ(state.jobContext().status.kind(), StatusKind::Alert);
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].icon, BoxIcon::None);
    EXPECT_EQ(data(), original);

    // A fill that would take the data past 32 bits is refused whole.
    state.command(kCmdEditMode);
    frontend.clearRecord();
    fillWith("FFFFFFF0", "100", "00");
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].icon, BoxIcon::Warning);
    EXPECT_EQ(frontend.boxes()[0].caption, "Notice");
    EXPECT_EQ(data(), original);
    fillWith("0", "4294967296", "00");
    EXPECT_EQ(frontend.boxes().size(), 2u);
    EXPECT_EQ(data(), original);
}

TEST_F(BufferToolsTest, GoToShowsTheAddressAndEachWindowIsItsOwn) {
    loadData(ops_test::randomBytes(0x4000, 5));
    std::vector<std::unique_ptr<GoToWindow>> windows;
    state.showGoToWindow = [&](std::unique_ptr<GoToWindow> w) { windows.push_back(std::move(w)); };
    state.command(kCmdGoTo);
    state.command(kCmdGoTo);
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_NE(&windows[0]->panel(), &windows[1]->panel());
    EXPECT_EQ(windows[0]->panel().text(kGoToAddress), "");

    frontend.clearRecord();
    windows[0]->go();
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text, "Go where?");
    EXPECT_EQ(frontend.boxes()[0].caption, "Notice");

    windows[0]->panel().setText(kGoToAddress, "3A7");
    windows[1]->panel().setText(kGoToAddress, "10");
    windows[0]->go();
    EXPECT_EQ(focused(), 0x3A7u);
    windows[1]->go();
    EXPECT_EQ(focused(), 0x10u);
    windows[1]->panel().setText(kGoToAddress, "4000");
    windows[1]->go();
    EXPECT_EQ(frontend.boxes().back().text, "Beyond the data");
}

TEST_F(BufferToolsTest, DataViewShowsTheDataByteAndTheChipByte) {
    const auto chipBytes = ops_test::randomBytes(512 * 1024, 6);
    ASSERT_TRUE(simulator.loadChipContents(0, chipBytes));
    const auto file = ops_test::randomBytes(0x300, 7);
    loadData(file);
    state.command(kCmdDataView);
    EXPECT_EQ(shown(kDataViewFileData), "null");
    EXPECT_EQ(shown(kDataViewAddress), "0");

    viewAt("1F0");
    char expected[3];
    std::snprintf(expected, sizeof expected, "%02X", file[0x1F0]);
    EXPECT_EQ(shown(kDataViewFileData), expected);
    std::snprintf(expected, sizeof expected, "%02X", chipBytes[0x1F0]);
    EXPECT_EQ(shown(kDataViewChipData), expected);
    EXPECT_EQ(shown(kDataViewStatus), "File read. Chip read....");
    EXPECT_EQ(status(), "Viewed");
    EXPECT_EQ(focused(), 0x1F0u);
    const auto reads = framesOf(cmd::kReadUnit);
    ASSERT_EQ(reads.size(), 1u);
    // The address in the frame's argument, most significant byte first.
    EXPECT_EQ(reads[0][13], 0x00);
    EXPECT_EQ(reads[0][14], 0x00);
    EXPECT_EQ(reads[0][15], 0x01);
    EXPECT_EQ(reads[0][16], 0xF0);

    // At the data length: no data byte, the chip's still read.
    viewAt("300");
    EXPECT_EQ(shown(kDataViewFileData), "out of range");
    EXPECT_EQ(shown(kDataViewStatus), "Beyond file. Chip read....");
    // Past the chip: neither.
    viewAt("80000");
    EXPECT_EQ(shown(kDataViewChipData), "out of range");
    EXPECT_EQ(shown(kDataViewStatus), "Beyond file. Beyond chip....");
    EXPECT_EQ(framesOf(cmd::kReadUnit).size(), 2u);

    frontend.clearRecord();
    dataView().panel().setText(kDataViewAddress, "");
    dataView().view();
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text, "View address?");
    EXPECT_EQ(frontend.boxes()[0].caption, "Notice");
}

TEST_F(BufferToolsTest, DataViewWithoutDataBlockedOrUnplugged) {
    state.command(kCmdDataView);
    viewAt("10");
    EXPECT_EQ(shown(kDataViewFileData), "none");
    EXPECT_EQ(shown(kDataViewStatus), "No data! Chip read....");

    ASSERT_TRUE(simulator.unplug(0));
    viewAt("10");
    EXPECT_EQ(shown(kDataViewChipData), "none");
    EXPECT_EQ(shown(kDataViewStatus), "No data!No programmer...");

    // Without auto-identify nothing checks the link first: the read fails.
    state.command(kCmdAutoIdentify);
    ASSERT_FALSE(state.autoIdentifyOn());
    viewAt("10");
    EXPECT_EQ(shown(kDataViewChipData), "none");
    EXPECT_EQ(shown(kDataViewStatus), "No data!,blocked...");

    ASSERT_TRUE(simulator.plug(0));
    state.flags().programmerBlocked = true;
    const auto before = framesOf(cmd::kReadUnit).size();
    viewAt("10");
    EXPECT_EQ(shown(kDataViewChipData), "none");
    EXPECT_EQ(shown(kDataViewStatus), "No data!,blocked...");
    EXPECT_EQ(framesOf(cmd::kReadUnit).size(), before) << "nothing asked of a blocked programmer";
}

TEST_F(BufferToolsTest, DataViewOfASixteenBitChipShowsWordsAtTwiceTheAddress) {
    auto chipBytes = ops_test::randomBytes(512 * 1024, 8);
    ASSERT_TRUE(simulator.loadChipContents(0, chipBytes));
    const auto file = ops_test::randomBytes(0x100, 9);
    loadData(file);
    if (state.autoIdentifyOn())
        state.command(kCmdAutoIdentify);  // the selection stays as set
    state.selection().modifyParameterBlock([](ChipParameterBlock& b) { b.bytes[1] |= 0x40; });
    state.command(kCmdDataView);
    viewAt("10");
    char expected[5];
    std::snprintf(expected, sizeof expected, "%02X%02X", file[0x20], file[0x21]);
    EXPECT_EQ(shown(kDataViewFileData), expected);
    std::snprintf(expected, sizeof expected, "%02X%02X", chipBytes[0x20], chipBytes[0x21]);
    EXPECT_EQ(shown(kDataViewChipData), expected);
    EXPECT_EQ(focused(), 0x20u);
}

TEST(WindowTitleOfMenuText, LeavesOutTheAcceleratorAndTheDots) {
    const std::pair<const char*, const char*> rows[] = {
        {"数据查看(&D)", "数据查看"},
        {"&Data View...", "Data View"},
        {"A && B", "A & B"},
        {"Save &As", "Save As"},
        {"Plain", "Plain"},
        {"End&", "End&"},
        {"(&X", "(X"},
        {"", ""},
    };
    for (const auto& [menu, title] : rows) {
        EXPECT_EQ(windowTitleOfMenuText(menu), title) << menu;
    }
}
}  // namespace
}  // namespace nyra
