// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/chip_catalogue.h"

namespace nyra {

// Writing and checking catalogue files, shared by kvq-dbtool and the tests.

struct CatalogueIssue {
    std::uint32_t line = 0;  // 1-based line of the text; 0 for the whole file
    std::string message;
};

struct BuildResult {
    std::vector<std::uint8_t> database;  // empty unless errors is empty
    std::string text;                    // the text as stored: every line ends CR LF
    std::vector<CatalogueIssue> errors;
    bool ok() const { return errors.empty(); }
};

// Source text to database.dat. Lines may end LF or CR LF (stored as CR LF).
// Refuses what the codec cannot carry, malformed lines and catalogues beyond
// the limits of the selection lists.
BuildResult buildDatabase(std::string_view text);

// database.dat back to its text.
std::string dumpDatabase(std::span<const std::uint8_t> database);

struct CheckReport {
    std::vector<CatalogueIssue> errors;
    std::vector<CatalogueIssue> warnings;
    std::vector<std::string> sharedIds;  // one line per ID that several records carry
    bool ok() const { return errors.empty(); }
};

// What is wrong with one record, one sentence per fault.
std::vector<std::string> checkRecord(const ChipRecord& record);
// Why no job can run on the record: a capacity that is no size or does not fit
// 32 bits (it would be read as a wrong size), or an operation type of no bus
// the programmer knows. Empty when the record is usable.
std::string unusableReason(const ChipRecord& record);

// Every record and the limits of the lists; IDs shared by several records.
CheckReport checkCatalogue(const ChipCatalogue& catalogue);

// The unscrambled text's last line when no line feed ends it: the reader
// ignores it, so no record shows the loss.
std::optional<CatalogueIssue> unterminatedLastLine(std::string_view text);

// "000000" and "FFFFFF" stand for a chip without that ID.
bool isPlaceholderId(std::string_view id);

}  // namespace nyra
