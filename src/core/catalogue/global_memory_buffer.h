// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>

#include "catalogue/message_sink.h"

namespace nyra {

// A fixed-size byte block that checks every access and complains in a
// message box instead of touching memory it does not own.
class GlobalMemoryBuffer {
public:
    static constexpr const char* kCaption = "警告";
    static constexpr const char* kNotAllocatedText = "内存尚未创建，请先申请内存！  ";
    static constexpr const char* kOutOfRangeText = "请求地址超出范围！  ";

    explicit GlobalMemoryBuffer(MessageSink messages = {});
    ~GlobalMemoryBuffer();
    GlobalMemoryBuffer(const GlobalMemoryBuffer&) = delete;
    GlobalMemoryBuffer& operator=(const GlobalMemoryBuffer&) = delete;

    void setMessageSink(MessageSink messages) { messages_ = std::move(messages); }

    // Returns the new block, or nullptr (and no change) when memory is short.
    // A block held before is released first.
    std::uint8_t* allocate(std::uint32_t size);
    // 1 when stored, 0 (with a message) when not allocated or out of range.
    int setByte(std::uint32_t position, std::uint8_t value);
    // 0 (with a message) when not allocated or out of range.
    std::uint8_t getByte(std::uint32_t position);
    std::uint8_t* data();
    std::uint32_t size();
    void release();
    bool allocated() const { return allocated_; }

private:
    bool checkAccess(std::uint32_t position);
    void complain(const char* text) const;

    MessageSink messages_;
    std::unique_ptr<std::uint8_t[]> block_;
    std::uint32_t size_ = 0;
    bool allocated_ = false;
};

}  // namespace nyra
