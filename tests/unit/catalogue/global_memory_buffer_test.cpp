// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <malloc.h>

#include <string>
#include <vector>

#include "catalogue/global_memory_buffer.h"

namespace nyra {
namespace {

struct Box {
    std::string text;
    std::string caption;
    MessageIcon icon;
};

class GlobalMemoryBufferTest : public ::testing::Test {
protected:
    std::vector<Box> boxes;
    GlobalMemoryBuffer buffer{[this](const std::string& t, const std::string& c, MessageIcon i) {
        boxes.push_back({t, c, i});
    }};

    void expectOneBox(const char* text) {
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, text);
        EXPECT_EQ(boxes[0].caption, "警告");
        EXPECT_EQ(boxes[0].icon, MessageIcon::Error);
        boxes.clear();
    }
};

TEST_F(GlobalMemoryBufferTest, StoresAndReadsWithinTheBlock) {
    ASSERT_NE(buffer.allocate(4), nullptr);
    EXPECT_TRUE(buffer.allocated());
    EXPECT_EQ(buffer.size(), 4u);
    EXPECT_EQ(buffer.setByte(0, 0x11), 1);
    EXPECT_EQ(buffer.setByte(3, 0x44), 1);
    EXPECT_EQ(buffer.getByte(0), 0x11);
    EXPECT_EQ(buffer.getByte(3), 0x44);
    EXPECT_EQ(buffer.data()[3], 0x44);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(GlobalMemoryBufferTest, OutOfRangeAccessIsRefusedWithItsMessage) {
    ASSERT_NE(buffer.allocate(4), nullptr);
    EXPECT_EQ(buffer.setByte(4, 0x55), 0);
    expectOneBox("请求地址超出范围！  ");
    EXPECT_EQ(buffer.getByte(0xFFFFFFFF), 0);
    expectOneBox("请求地址超出范围！  ");
}

TEST_F(GlobalMemoryBufferTest, EveryAccessBeforeAllocationComplains) {
    EXPECT_EQ(buffer.setByte(0, 1), 0);
    expectOneBox("内存尚未创建，请先申请内存！  ");
    EXPECT_EQ(buffer.getByte(0), 0);
    expectOneBox("内存尚未创建，请先申请内存！  ");
    EXPECT_EQ(buffer.data(), nullptr);
    expectOneBox("内存尚未创建，请先申请内存！  ");
    EXPECT_EQ(buffer.size(), 0u);
    expectOneBox("内存尚未创建，请先申请内存！  ");
}

TEST_F(GlobalMemoryBufferTest, ReleaseEndsAccessAndTwiceIsHarmless) {
    ASSERT_NE(buffer.allocate(2), nullptr);
    buffer.release();
    buffer.release();
    EXPECT_FALSE(buffer.allocated());
    EXPECT_EQ(buffer.getByte(0), 0);
    expectOneBox("内存尚未创建，请先申请内存！  ");
}

TEST_F(GlobalMemoryBufferTest, ReallocationReplacesTheBlockWithAZeroedOne) {
    ASSERT_NE(buffer.allocate(2), nullptr);
    buffer.setByte(1, 0xEE);
    ASSERT_NE(buffer.allocate(8), nullptr);
    EXPECT_EQ(buffer.size(), 8u);
    EXPECT_EQ(buffer.getByte(1), 0);
    EXPECT_EQ(buffer.setByte(7, 1), 1);
}

TEST_F(GlobalMemoryBufferTest, EmptyBlockIsAllocatedButHoldsNothing) {
    ASSERT_NE(buffer.allocate(0), nullptr);
    EXPECT_TRUE(buffer.allocated());
    EXPECT_EQ(buffer.setByte(0, 1), 0);
    expectOneBox("请求地址超出范围！  ");
}

TEST_F(GlobalMemoryBufferTest, ReleaseReturnsTheBlockToTheSystemAtOnce) {
    // Far above the allocator's threshold, so the block is a mapping of its own.
    constexpr std::uint32_t kSize = 32u << 20;
    const auto mapped = [] { return mallinfo2().hblkhd; };
    const std::size_t before = mapped();
    ASSERT_NE(buffer.allocate(kSize), nullptr);
    if (mapped() < before + kSize) {
        GTEST_SKIP() << "the allocator in use does not report its mappings (sanitizer build)";
    }
    buffer.release();
    EXPECT_LT(mapped(), before + kSize) << "the block is given back, not kept until destruction";
}

}  // namespace
}  // namespace nyra
