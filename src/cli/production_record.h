// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "buffer/file_descriptor.h"

namespace nyra::cli {

// One chip's line of the production record.
struct RecordLine {
    std::string time;
    std::string chip;
    std::uint64_t number = 0;  // the ID, or the count outside the ID mode
    std::string checksum;
    std::string steps;
    std::string result;   // passed, failed or unknown
    std::string file;     // the document the chip got
    std::string station;  // the programmer's serial number
};

inline constexpr const char* kRecordHeader =
    "time,chip,id,data_checksum,steps,result,file,station\n";

std::string csvField(const std::string& text);

// The CSV production record of batch series, appended. Each line reaches
// the disk before the next chip; the line of a chip being written waits
// beside the record (path + ".pending") until its outcome is known, so a
// run that dies meanwhile leaves it, and the next open records it as unknown.
class ProductionRecord {
public:
    // The record must be a regular file (created when missing). False with
    // error() set. Writers of one record at once each hold their chip's line
    // under a tag of their own (path + "." + tag + ".pending").
    bool open(const std::string& path, const std::string& tag = {});
    // The line a run before this one left pending, now in the record.
    const std::optional<std::string>& recovered() const { return recovered_; }
    // Before a chip is written: its line with result unknown, kept aside.
    bool hold(const RecordLine& line);
    // A chip's outcome: its line, then the held line dropped.
    bool append(const RecordLine& line);
    int error() const { return error_; }

private:
    std::string text(const RecordLine& line) const;
    bool write(const std::string& text);
    bool fail(int error);

    std::string path_;
    std::string tag_;
    std::optional<Descriptor> fd_;
    int error_ = 0;
    // Records begun before the file and station columns keep their six.
    bool sixColumns_ = false;
    std::optional<std::string> recovered_;
};

}  // namespace nyra::cli
