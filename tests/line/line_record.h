// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace nyra::cli {

// A production record's line as the line tests read it back.
struct RecordLine {
    std::uint64_t id;
    std::string result;
    std::string station;
};

inline std::vector<RecordLine> readRecord(const std::string& path) {
    std::vector<RecordLine> lines;
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream split(line);
        for (std::string field; std::getline(split, field, ',');)
            fields.push_back(field);
        if (fields.size() >= 6)
            lines.push_back(
                {std::stoull(fields[2]), fields[5], fields.size() >= 8 ? fields[7] : ""});
    }
    return lines;
}

}  // namespace nyra::cli
