// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/address_offset.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "ui/ids.h"
#include "ui/main_panel.h"
#include "ui/scripted_frontend.h"
#include "unit/buffer/loader_fixture.h"

namespace nyra {
namespace {

using namespace ids;
using testing::RecordingWindow;

constexpr const char* kTexts =
    "[ftext]\r\n69=Offset load\r\n70=Start:\r\n71=becomes address 0\r\n72=File:\r\n76=Cancel\r\n"
    "77=OK\r\n"
    "[itext]\r\n0=no file\r\n8=bad character\r\n9=Notice\r\n25=load failed\r\n29=Error\r\n"
    "181=copying\r\n182=offset past the end\r\n183=no temp file\r\n189=file loaded\r\n";

// Bytes that differ from their neighbours and from their place in the file.
std::string pattern(std::size_t length) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    return bytes;
}

std::string checksumText(const std::string& bytes) {
    std::uint64_t sum = 0;
    for (const char c : bytes)
        sum += static_cast<unsigned char>(c);
    char text[16];
    std::snprintf(text, sizeof text, "%010llX", static_cast<unsigned long long>(sum));
    return text;
}

class AddressOffsetTest : public testing::LoaderDesk {
protected:
    void SetUp() override { setUpWith(kTexts, kTexts); }
    AddressOffsetTool tool(const std::string& path, std::uint32_t offset) {
        return AddressOffsetTool(loader, frontend, texts, dir.file("temp"), path, offset);
    }
    // The first line of each box: file errors add the path and the reason.
    std::vector<std::string> boxTexts() const {
        std::vector<std::string> out;
        for (const auto& box : frontend.boxes())
            out.push_back(box.text.substr(0, box.text.find('\n')));
        return out;
    }
};

TEST_F(AddressOffsetTest, TheTailFromTheOffsetBecomesTheDataFromAddressZero) {
    const std::string bytes = pattern(10000);
    const std::string path = dir.write("image.bin", bytes);
    AddressOffsetTool t = tool(path, 0);
    ASSERT_TRUE(t.offsetEdited("2048", 4));
    ASSERT_TRUE(t.load());

    EXPECT_TRUE(t.accepted());
    const std::string tail = bytes.substr(2048);
    EXPECT_EQ(dir.read("temp/tempFile.bin"), tail);
    EXPECT_EQ(dir.read("u_mod1.dll"), tail);
    EXPECT_EQ(data.dataLength(), 7952u);
    EXPECT_EQ(panel.text(kTextFileChecksum), checksumText(tail));
    EXPECT_EQ(loader.loadedPath(), dir.file("temp") + "/tempFile.bin");
    EXPECT_EQ(t.status(), "copying");
    EXPECT_TRUE(frontend.boxes().empty());
}

TEST_F(AddressOffsetTest, ACopyLongerThanOneChunkKeepsEveryByte) {
    const std::string bytes = pattern(3 * kAddressOffsetChunk + 123);
    const std::string path = dir.write("big.bin", bytes);
    AddressOffsetTool t = tool(path, 5);
    ASSERT_TRUE(t.load());
    EXPECT_EQ(dir.read("u_mod1.dll"), bytes.substr(5));
    EXPECT_EQ(panel.text(kTextFileChecksum), checksumText(bytes.substr(5)));
}

TEST_F(AddressOffsetTest, OffsetZeroLoadsTheWholeFileThroughTheTemporaryFile) {
    const std::string bytes = pattern(300);
    const std::string path = dir.write("image.bin", bytes);
    AddressOffsetTool t = tool(path, 0);
    ASSERT_TRUE(t.load());
    EXPECT_EQ(dir.read("temp/tempFile.bin"), bytes);
    EXPECT_EQ(data.dataLength(), 300u);
    EXPECT_EQ(loader.loadedPath(), t.tempFilePath());
}

TEST_F(AddressOffsetTest, AnOffsetAtOrPastTheEndIsReportedAndNothingLoads) {
    const std::string path = dir.write("image.bin", pattern(100));
    for (const char* offset : {"100", "101", "4294967295"}) {
        frontend.clearRecord();
        AddressOffsetTool t = tool(path, 0);
        ASSERT_TRUE(t.offsetEdited(offset, std::string(offset).size()));
        EXPECT_FALSE(t.load()) << offset;
        EXPECT_FALSE(t.accepted());
        ASSERT_EQ(frontend.boxes().size(), 1u) << offset;
        EXPECT_EQ(frontend.boxes()[0].text, "offset past the end");
        EXPECT_EQ(frontend.boxes()[0].caption, "Error");
        EXPECT_EQ(frontend.boxes()[0].icon, BoxIcon::Error);
    }
    EXPECT_FALSE(data.isLoaded());
    EXPECT_FALSE(dir.exists("u_mod1.dll"));
}

TEST_F(AddressOffsetTest, AFailedOffsetLeavesTheDataLoadedBeforeAsItWas) {
    const std::string first = dir.write("first.bin", "abcd");
    ASSERT_TRUE(loader.loadFile(first, true));
    AddressOffsetTool t = tool(dir.write("short.bin", "xy"), 2);
    EXPECT_FALSE(t.load());
    EXPECT_EQ(dir.read("u_mod1.dll"), "abcd");
    EXPECT_EQ(loader.loadedPath(), first);
    EXPECT_EQ(data.dataLength(), 4u);
}

TEST_F(AddressOffsetTest, AMissingSourceIsReportedWithTheLoadText) {
    AddressOffsetTool t = tool(dir.file("absent.bin"), 0);
    EXPECT_FALSE(t.load());
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"load failed"});
    EXPECT_EQ(frontend.boxes()[0].caption, "Error");
    EXPECT_FALSE(data.isLoaded());
}

TEST_F(AddressOffsetTest, ATemporaryFolderThatCannotBeMadeIsReported) {
    const std::string path = dir.write("image.bin", pattern(10));
    dir.write("temp", "a file in the folder's place");
    AddressOffsetTool t = tool(path, 0);
    EXPECT_FALSE(t.load());
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"no temp file"});
    EXPECT_EQ(frontend.boxes()[0].icon, BoxIcon::Error);
    EXPECT_FALSE(data.isLoaded());
}

TEST_F(AddressOffsetTest, TheTemporaryFolderIsCreatedWhenMissing) {
    const std::string path = dir.write("image.bin", "hello");
    ASSERT_FALSE(dir.exists("temp"));
    AddressOffsetTool t = tool(path, 1);
    ASSERT_TRUE(t.load());
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("temp")));
    EXPECT_EQ(t.tempFilePath(), dir.file("temp") + "/tempFile.bin");
    EXPECT_EQ(dir.read("temp/tempFile.bin"), "ello");
}

TEST_F(AddressOffsetTest, AReadOnlySourceCanBeUsed) {
    const std::string path = dir.write("locked.bin", "0123456789");
    ::chmod(path.c_str(), 0444);
    AddressOffsetTool t = tool(path, 4);
    EXPECT_TRUE(t.load());
    EXPECT_EQ(dir.read("u_mod1.dll"), "456789");
}

TEST_F(AddressOffsetTest, TheOffsetFieldTakesDecimalDigitsOnly) {
    AddressOffsetTool t = tool("", 0);
    EXPECT_EQ(t.offsetText(), "0");
    EXPECT_FALSE(t.offsetReadOnly());

    EXPECT_TRUE(t.offsetEdited("12", 2));
    EXPECT_EQ(t.offset(), 12u);
    EXPECT_TRUE(frontend.boxes().empty());

    // A letter typed in the middle goes, the caret stays where it was typed.
    EXPECT_FALSE(t.offsetEdited("1A2", 2));
    EXPECT_EQ(t.offsetText(), "12");
    EXPECT_EQ(t.offsetCaret(), 1u);
    EXPECT_EQ(t.offset(), 12u);
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text, "bad character");
    EXPECT_EQ(frontend.boxes()[0].caption, "Notice");
    EXPECT_EQ(frontend.boxes()[0].icon, BoxIcon::Warning);

    // Hexadecimal letters and signs are refused as well.
    EXPECT_FALSE(t.offsetEdited("12f", 3));
    EXPECT_FALSE(t.offsetEdited("-12", 1));
    EXPECT_EQ(t.offsetText(), "12");
    // A paste with several bad characters keeps only its digits.
    EXPECT_FALSE(t.offsetEdited("0x1 0", 5));
    EXPECT_EQ(t.offsetText(), "010");
    EXPECT_EQ(t.offset(), 10u);

    // An empty field is left alone and reads 0.
    frontend.clearRecord();
    EXPECT_TRUE(t.offsetEdited("", 0));
    EXPECT_EQ(t.offset(), 0u);
    EXPECT_TRUE(frontend.boxes().empty());
}

TEST_F(AddressOffsetTest, TheOffsetFieldStopsAtThirtyTwoBits) {
    AddressOffsetTool t = tool("", 0);
    EXPECT_TRUE(t.offsetEdited("4294967295", 10));
    EXPECT_EQ(t.offset(), 0xFFFFFFFFu);
    EXPECT_FALSE(t.offsetEdited("42949672950", 11));
    EXPECT_EQ(t.offsetText(), "4294967295");
    EXPECT_EQ(t.offset(), 0xFFFFFFFFu);
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"bad character"});
    // Typed in the middle: that digit goes, the caret stays where it was.
    ASSERT_TRUE(t.offsetEdited("429496729", 9));
    EXPECT_FALSE(t.offsetEdited("4929496729", 2));
    EXPECT_EQ(t.offsetText(), "429496729");
    EXPECT_EQ(t.offsetCaret(), 1u);
}

TEST_F(AddressOffsetTest, ACapFileOpensWith2048ReadOnly) {
    AddressOffsetTool t = tool("/x/FIRMWARE.Cap", 2048);
    EXPECT_EQ(t.offsetText(), "2048");
    EXPECT_TRUE(t.offsetReadOnly());
    EXPECT_FALSE(t.offsetEdited("20489", 5));
    EXPECT_EQ(t.offsetText(), "2048");
    EXPECT_TRUE(frontend.boxes().empty());
}

TEST_F(AddressOffsetTest, BrowsingToACapFileFixesTheOffsetAndABinFileFreesIt) {
    AddressOffsetTool t = tool("", 0);
    ASSERT_TRUE(t.offsetEdited("77", 2));
    frontend.chooseFile("/data/x.cap");
    t.browse();
    ASSERT_EQ(frontend.calls().size(), 1u);
    const FileDialogRequest request = frontend.calls()[0].dialog;
    EXPECT_EQ(request.filter, kAddressOffsetFilter);
    EXPECT_EQ(request.defaultExtension, ".bin");
    EXPECT_EQ(t.path(), "/data/x.cap");
    EXPECT_EQ(t.offsetText(), "2048");
    EXPECT_TRUE(t.offsetReadOnly());

    frontend.chooseFile("/data/y.bin");
    t.browse();
    EXPECT_EQ(t.path(), "/data/y.bin");
    EXPECT_EQ(t.offsetText(), "2048");
    EXPECT_FALSE(t.offsetReadOnly());

    // Cancelling keeps everything.
    frontend.cancelDialog();
    t.browse();
    EXPECT_EQ(t.path(), "/data/y.bin");
    EXPECT_FALSE(t.offsetReadOnly());
}

TEST_F(AddressOffsetTest, CaptionsComeFromTheTextTable) {
    AddressOffsetTool t = tool("", 0);
    EXPECT_EQ(t.title(), "Offset load");
    EXPECT_EQ(t.offsetLabel(), "Start:");
    EXPECT_EQ(t.note(), "becomes address 0");
    EXPECT_EQ(t.fileLabel(), "File:");
    EXPECT_EQ(t.okCaption(), "OK");
    EXPECT_EQ(t.cancelCaption(), "Cancel");
    EXPECT_EQ(t.status(), "");  // no placeholder before the first conversion
}

}  // namespace
}  // namespace nyra
