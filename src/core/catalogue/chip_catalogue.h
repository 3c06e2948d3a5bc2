// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/chip_record.h"
#include "catalogue/message_sink.h"

namespace nyra {

// The table of chips read once from database.dat. Read-only after loading,
// so the window and the worker may query it without a lock.
class ChipCatalogue {
public:
    static constexpr std::uint32_t kMaxChipRecords = 1100;
    // Longest line the format allows, the dropped carriage return included.
    static constexpr std::size_t kMaxLineLength = 999;
    // A fresh slot holds this many spaces in each text field.
    static constexpr std::size_t kSlotFieldWidth = 31;
    // A chip line holds the device and nine more fields after the "@".
    static constexpr std::size_t kChipLineFields = 10;
    // Files larger than this are not catalogues; loading refuses them.
    static constexpr std::uint64_t kMaxImageSize = 64ull * 1024 * 1024;

    static constexpr const char* kOpenFailedText = "文件无法打开！  ";
    static constexpr const char* kOpenFailedCaption = "提示";

    ChipCatalogue();

    void setMessageSink(MessageSink messages) { messages_ = std::move(messages); }
    void setLogSink(LogSink log) { log_ = std::move(log); }

    // Existence test before loading: can the file be opened for reading?
    static bool canOpen(const std::string& path);

    // Reads, unscrambles and parses the file. The outcome is count().
    void load(const std::string& path);
    // The same from bytes already in memory (the stored, scrambled form).
    void loadImage(std::span<const std::uint8_t> stored);
    // Parses unscrambled text, as loading does after the two passes.
    void parse(std::string_view text);

    std::uint32_t count() const { return count_; }

    // Each list in table order. Vectors, so that no caller array can overflow.
    std::vector<std::string> typeList() const;
    std::vector<std::string> manufacturerList(std::string_view type) const;
    std::vector<std::string> deviceList(std::string_view type, std::string_view manufacturer) const;
    std::vector<std::uint32_t> findChip(std::string_view type, std::string_view manufacturer,
                                        std::string_view device) const;
    std::vector<std::uint32_t> findByMainId(std::uint32_t id) const;
    std::vector<std::uint32_t> findBySecondaryId(std::uint32_t id) const;

    // The record at a position below count(), else nullptr.
    const ChipRecord* record(std::uint32_t position) const;
    // Any of the kMaxChipRecords slots, loaded or not (else nullptr).
    const ChipRecord* slot(std::uint32_t position) const;
    // The largest capacity of any record, in bytes; 0 for an empty catalogue.
    std::uint32_t largestChipSize() const;
    // 1-based line of the text that a record came from, 0 when unknown.
    std::uint32_t sourceLine(std::uint32_t position) const;

    // An ID as six upper-case hex digits: "%6X" with spaces made "0".
    static std::string idText(std::uint32_t id);

private:
    void clear();
    void note(const std::string& line) const;

    MessageSink messages_;
    LogSink log_;
    std::unique_ptr<ChipRecord[]> records_;
    std::vector<std::uint32_t> sourceLines_;
    std::uint32_t count_ = 0;
};

}  // namespace nyra
