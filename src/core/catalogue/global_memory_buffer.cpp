// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/global_memory_buffer.h"

#include <new>

namespace nyra {

GlobalMemoryBuffer::GlobalMemoryBuffer(MessageSink messages) : messages_(std::move(messages)) {}

GlobalMemoryBuffer::~GlobalMemoryBuffer() {
    release();
}

std::uint8_t* GlobalMemoryBuffer::allocate(std::uint32_t size) {
    // Zero-filled so that a short read never exposes stale heap bytes.
    std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[size == 0 ? 1 : size]());
    if (!block) {
        return nullptr;
    }
    release();
    block_ = std::move(block);
    size_ = size;
    allocated_ = true;
    return block_.get();
}

void GlobalMemoryBuffer::complain(const char* text) const {
    if (messages_) {
        messages_(text, kCaption, MessageIcon::Error);
    }
}

bool GlobalMemoryBuffer::checkAccess(std::uint32_t position) {
    if (!allocated_) {
        complain(kNotAllocatedText);
        return false;
    }
    if (position >= size_) {
        complain(kOutOfRangeText);
        return false;
    }
    return true;
}

int GlobalMemoryBuffer::setByte(std::uint32_t position, std::uint8_t value) {
    if (!checkAccess(position)) {
        return 0;
    }
    block_[position] = value;
    return 1;
}

std::uint8_t GlobalMemoryBuffer::getByte(std::uint32_t position) {
    if (!checkAccess(position)) {
        return 0;
    }
    return block_[position];
}

std::uint8_t* GlobalMemoryBuffer::data() {
    if (!allocated_) {
        complain(kNotAllocatedText);
        return nullptr;
    }
    return block_.get();
}

std::uint32_t GlobalMemoryBuffer::size() {
    if (!allocated_) {
        complain(kNotAllocatedText);
        return 0;
    }
    return size_;
}

void GlobalMemoryBuffer::release() {
    if (!allocated_) {
        return;
    }
    block_.reset();
    size_ = 0;
    allocated_ = false;
}

}  // namespace nyra
