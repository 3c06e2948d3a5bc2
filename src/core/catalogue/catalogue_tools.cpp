// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/catalogue_tools.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <tuple>

#include "catalogue/catalogue_codec.h"
#include "catalogue/chip_parameters.h"
#include "catalogue/chip_selection.h"

namespace nyra {

namespace {

constexpr std::uint32_t kMaxTypes = ChipSelection::kTypeListRoom;
constexpr std::uint32_t kMaxManufacturers = ChipSelection::kManufacturerListRoom;
constexpr std::uint32_t kMaxDevices = ChipSelection::kDeviceListRoom;
// How a warning names fields 0 to 2, the texts of the three lists.
constexpr const char* kNameFieldKinds[] = {"type", "maker name", "device name"};

std::string hexByteText(unsigned char c) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", c);
    return text;
}

std::string quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// Why a character cannot stand in the source text, or nothing.
std::optional<std::string> characterProblem(unsigned char c) {
    if (c >= 128) {
        return "byte " + hexByteText(c) + " is not 7-bit ASCII";
    }
    if (c < 32 || c == 127) {
        return "control character " + hexByteText(c) + " is not allowed";
    }
    if (!catalogue_codec::canCarry(c)) {
        return std::string("character '") + static_cast<char>(c) +
               "' cannot be stored: the reader would turn it into '" +
               static_cast<char>(catalogue_codec::substitute(c)) + "'";
    }
    return std::nullopt;
}

bool isUpperHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isUpperHexText(std::string_view text, std::size_t length) {
    if (text.size() != length) {
        return false;
    }
    for (const char c : text) {
        if (!isUpperHex(c)) {
            return false;
        }
    }
    return true;
}

bool isNumber(std::string_view text) {
    if (text.empty() || text.size() > 9) {
        return false;
    }
    for (const char c : text) {
        if (!isDigit(c)) {
            return false;
        }
    }
    return true;
}

// The bytes a capacity text means, computed wide; nothing when malformed.
std::optional<std::uint64_t> intendedCapacity(std::string_view capacity) {
    std::uint64_t factor = 1;
    std::string_view rest = capacity;
    bool words = false;
    if (rest.ends_with("*16bit")) {
        words = true;
        rest.remove_suffix(6);
    } else if (rest.ends_with("B")) {
        rest.remove_suffix(1);
    } else {
        return std::nullopt;
    }
    if (!rest.empty()) {
        switch (rest.back()) {
            case 'G':
                factor = 1ull << 30;
                break;
            case 'M':
                factor = 1ull << 20;
                break;
            case 'K':
                factor = 1ull << 10;
                break;
            default:
                break;
        }
        if (factor != 1) {
            rest.remove_suffix(1);
        }
    }
    if (!isNumber(rest) || rest.front() == '0') {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : rest) {
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value * factor * (words ? 2 : 1);
}

// A size travels as its base-2 logarithm (up to 2^16) or as itself in one byte.
bool codeFits(std::uint32_t value) {
    const bool power = value != 0 && (value & (value - 1)) == 0;
    return power ? value <= 65536 : value <= 255;
}

}  // namespace

BuildResult buildDatabase(std::string_view text) {
    BuildResult result;
    std::uint32_t lineNumber = 0;
    std::uint32_t chipLines = 0;
    bool haveType = false;
    bool haveMaker = false;
    const auto fail = [&result, &lineNumber](std::string message) {
        result.errors.push_back({lineNumber, std::move(message)});
    };

    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t lf = text.find('\n', start);
        const std::size_t end = lf == std::string_view::npos ? text.size() : lf;
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        for (const char c : line) {
            if (const auto problem = characterProblem(static_cast<unsigned char>(c))) {
                fail(*problem);
                break;
            }
        }
        if (line.size() + 1 > ChipCatalogue::kMaxLineLength) {
            fail("line is " + std::to_string(line.size() + 1) +
                 " characters long with its CR; at most " +
                 std::to_string(ChipCatalogue::kMaxLineLength) + " are allowed");
        }
        result.text.append(line);
        result.text.append("\r\n");
        if (line.empty()) {
            continue;
        }
        switch (line.front()) {
            case '$':
                haveType = true;
                haveMaker = false;
                if (line.size() == 1) {
                    fail("type line without a type");
                }
                break;
            case '#':
                haveMaker = true;
                // The reader drops the last character of a maker line, so it
                // must be the terminator, not part of the name.
                if (line.size() < 3 || line.back() != ':') {
                    fail("maker line must be \"#NAME:\" (the reader drops the last character)");
                }
                break;
            case '@': {
                ++chipLines;
                if (!haveType) {
                    fail("chip line before any type line");
                } else if (!haveMaker) {
                    fail("chip line before any maker line of its type");
                }
                const auto colons = std::count(line.begin(), line.end(), ':');
                if (colons != 9) {
                    fail("chip line has " + std::to_string(colons) +
                         " colons; it needs exactly 9 (ten fields)");
                }
                if (chipLines == ChipCatalogue::kMaxChipRecords + 1) {
                    fail("more than " + std::to_string(ChipCatalogue::kMaxChipRecords) +
                         " chip lines");
                }
                break;
            }
            default:
                break;
        }
    }
    if (!result.errors.empty()) {
        return result;
    }

    ChipCatalogue catalogue;
    catalogue.parse(result.text);
    std::uint32_t groups = 0;
    std::map<std::string, std::uint32_t> makersPerType;
    std::map<std::pair<std::string, std::string>, std::uint32_t> devicesPerMaker;
    std::map<std::string, std::string> lastMakerOfType;
    for (std::uint32_t i = 0; i < catalogue.count(); ++i) {
        const ChipRecord& r = *catalogue.record(i);
        lineNumber = catalogue.sourceLine(i);
        if ((i == 0 || r.type != catalogue.record(i - 1)->type) && ++groups == kMaxTypes + 1) {
            fail("more than " + std::to_string(kMaxTypes) + " type groups");
        }
        // Makers are counted as the manufacturer list counts them: a change
        // of maker among the records of one type.
        auto last = lastMakerOfType.find(r.type);
        if (last == lastMakerOfType.end() || last->second != r.manufacturer) {
            lastMakerOfType[r.type] = r.manufacturer;
            if (++makersPerType[r.type] == kMaxManufacturers + 1) {
                fail("more than " + std::to_string(kMaxManufacturers) + " makers of type " +
                     quoted(r.type));
            }
        }
        if (++devicesPerMaker[{r.type, r.manufacturer}] == kMaxDevices + 1) {
            fail("more than " + std::to_string(kMaxDevices) + " chips of " +
                 quoted(r.manufacturer) + " in type " + quoted(r.type));
        }
    }
    if (result.errors.empty()) {
        result.database = std::move(*catalogue_codec::scramble(result.text));
    }
    return result;
}

std::string dumpDatabase(std::span<const std::uint8_t> database) {
    std::string text(database.begin(), database.end());
    catalogue_codec::unscramble(
        std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(text.data()), text.size()));
    return text;
}

std::optional<CatalogueIssue> unterminatedLastLine(std::string_view text) {
    const std::size_t lastLf = text.rfind('\n');
    const std::size_t tail = lastLf == std::string_view::npos ? 0 : lastLf + 1;
    if (tail == text.size()) {
        return std::nullopt;
    }
    const auto line = static_cast<std::uint32_t>(std::count(text.begin(), text.end(), '\n') + 1);
    std::string message = "the last line has no line end; the reader ignores it";
    if (text[tail] == '@') {
        message += ", so its chip is not loaded";
    }
    return CatalogueIssue{line, std::move(message)};
}

bool isPlaceholderId(std::string_view id) {
    return id == "000000" || id == "FFFFFF";
}

namespace {

bool knownOperationType(const std::string& op) {
    return isUpperHexText(op, 3) && op[0] <= '4';
}

}  // namespace

std::string unusableReason(const ChipRecord& r) {
    const auto capacity = intendedCapacity(r.capacity);
    if (!capacity || *capacity == 0)
        return "capacity " + quoted(r.capacity) + " is no size";
    if (*capacity > 0xFFFFFFFFull || *capacity != chipSizeFromCapacity(r.capacity))
        return "capacity " + r.capacity + " does not fit 32 bits";
    if (!knownOperationType(r.operationType))
        return "operation type " + quoted(r.operationType) + " is of no known bus";
    return {};
}

std::vector<std::string> checkRecord(const ChipRecord& r) {
    std::vector<std::string> problems;
    for (std::size_t f = 0; f < ChipRecord::kTextFieldCount; ++f) {
        if (r.field(f).size() > ChipCatalogue::kSlotFieldWidth) {
            problems.push_back(std::string(kChipFieldLabels[f]) + " " + quoted(r.field(f)) +
                               " is longer than " + std::to_string(ChipCatalogue::kSlotFieldWidth) +
                               " characters");
        }
    }
    if (r.type.empty()) {
        problems.push_back("empty type");
    }
    if (r.manufacturer.empty()) {
        problems.push_back("empty manufacturer");
    }
    if (r.device.empty()) {
        problems.push_back("empty device name");
    }
    if (r.pageSize != "N") {
        if (!isNumber(r.pageSize) || decimalValue(r.pageSize) == 0) {
            problems.push_back("page size " + quoted(r.pageSize) + " is neither N nor a number");
        } else if (!codeFits(decimalValue(r.pageSize))) {
            problems.push_back("page size " + r.pageSize + " has no one-byte code");
        }
    }
    if (r.sectorSize != "N" && r.sectorSize != "F") {
        if (!isNumber(r.sectorSize) || decimalValue(r.sectorSize) == 0) {
            problems.push_back("sector size " + quoted(r.sectorSize) +
                               " is neither N, F nor a number of KiB");
        } else if (!codeFits(decimalValue(r.sectorSize))) {
            problems.push_back("sector size " + r.sectorSize + " has no one-byte code");
        }
    }
    const auto capacity = intendedCapacity(r.capacity);
    if (!capacity) {
        problems.push_back("capacity " + quoted(r.capacity) +
                           " is not a number with an optional G, M or K and B or *16bit");
    } else if (*capacity > 0xFFFFFFFFull || *capacity != chipSizeFromCapacity(r.capacity)) {
        problems.push_back("capacity " + r.capacity + " does not fit 32 bits");
    }
    if (r.mainAddress != "N" && !isUpperHexText(r.mainAddress, 2)) {
        problems.push_back("main address " + quoted(r.mainAddress) +
                           " is neither N nor two upper-case hex digits");
    }
    if (!isUpperHexText(r.secondaryAddress, 3)) {
        problems.push_back("secondary address " + quoted(r.secondaryAddress) +
                           " is not three upper-case hex digits");
    }
    if (!isUpperHexText(r.mainId, 6)) {
        problems.push_back("main ID " + quoted(r.mainId) + " is not six upper-case hex digits");
    }
    if (!isUpperHexText(r.secondaryId, 6)) {
        problems.push_back("secondary ID " + quoted(r.secondaryId) +
                           " is not six upper-case hex digits");
    }
    if (r.voltage.empty()) {
        problems.push_back("empty voltage");
    }
    const std::string& op = r.operationType;
    if (!knownOperationType(op)) {
        problems.push_back("operation type " + quoted(op) +
                           " is not a bus code 0..4 and two hex digits");
        return problems;
    }
    const bool words = r.capacity.ends_with("*16bit");
    if (op[0] == '3') {
        if (isUpperHexText(r.secondaryAddress, 3) &&
            (!isDigit(r.secondaryAddress[1]) || !isDigit(r.secondaryAddress[2]))) {
            problems.push_back("secondary address " + r.secondaryAddress +
                               " of a Microwire chip must end in two decimal digits");
        }
        if ((op[1] != '0' && op[1] != '1') || (op[2] != '0' && op[2] != '1')) {
            problems.push_back("Microwire operation type " + op +
                               " needs organisation and pin-out digits 0 or 1");
        } else if (words != (op[1] == '1')) {
            problems.push_back("capacity " + r.capacity + " does not match the organisation x" +
                               (op[1] == '1' ? "16" : "8") + " of operation type " + op);
        }
    } else if (words) {
        problems.push_back("capacity " + r.capacity + " counts 16-bit words on a byte-wide bus");
    }
    if (op[0] == '0' && capacity && *capacity > (16ull << 20) && r.secondaryAddress[0] != '4') {
        problems.push_back(
            "a flash chip above 16 MiB needs 4 address bytes (secondary address "
            "4xx)");
    }
    return problems;
}

CheckReport checkCatalogue(const ChipCatalogue& catalogue) {
    CheckReport report;
    const auto recordName = [&catalogue](std::uint32_t i) {
        const ChipRecord& r = *catalogue.record(i);
        return "record " + std::to_string(i) + " (" + r.manufacturer + " " + r.device + ")";
    };
    for (std::uint32_t i = 0; i < catalogue.count(); ++i) {
        for (auto& problem : checkRecord(*catalogue.record(i))) {
            report.errors.push_back({catalogue.sourceLine(i), recordName(i) + ": " + problem});
        }
    }

    // The names go to the lists as they are; a control character (a NUL
    // above all) cuts or garbles what the user sees.
    for (std::uint32_t i = 0; i < catalogue.count(); ++i) {
        const ChipRecord& r = *catalogue.record(i);
        for (std::size_t f = 0; f < 3; ++f) {
            const auto bad = std::find_if(r.field(f).begin(), r.field(f).end(), [](char c) {
                return static_cast<unsigned char>(c) < 32 || c == 127;
            });
            if (bad != r.field(f).end()) {
                report.warnings.push_back(
                    {catalogue.sourceLine(i), recordName(i) + ": " + kNameFieldKinds[f] +
                                                  " holds control character " +
                                                  hexByteText(static_cast<unsigned char>(*bad))});
            }
        }
    }

    const auto types = catalogue.typeList();
    if (types.size() > kMaxTypes) {
        report.errors.push_back({0, std::to_string(types.size()) + " type groups; at most " +
                                        std::to_string(kMaxTypes) + " fit the type list"});
    }
    std::map<std::string, std::uint32_t> typeGroups;
    for (const auto& type : types) {
        ++typeGroups[type];
    }
    for (const auto& [type, groups] : typeGroups) {
        if (groups > 1) {
            report.warnings.push_back({0, "type " + quoted(type) + " appears in " +
                                              std::to_string(groups) +
                                              " separate groups and is listed that often"});
        }
        const auto makers = catalogue.manufacturerList(type);
        if (makers.size() > kMaxManufacturers) {
            report.errors.push_back({0, "type " + quoted(type) + " has " +
                                            std::to_string(makers.size()) + " makers; at most " +
                                            std::to_string(kMaxManufacturers) + " fit the list"});
        }
        std::map<std::string, std::uint32_t> makerGroups;
        for (const auto& maker : makers) {
            ++makerGroups[maker];
        }
        for (const auto& [maker, count] : makerGroups) {
            if (count > 1) {
                report.warnings.push_back({0, "maker " + quoted(maker) + " of type " +
                                                  quoted(type) + " appears in " +
                                                  std::to_string(count) + " separate groups"});
            }
            const auto devices = catalogue.deviceList(type, maker);
            if (devices.size() > kMaxDevices) {
                report.errors.push_back({0, quoted(maker) + " of type " + quoted(type) + " has " +
                                                std::to_string(devices.size()) +
                                                " chips; at most " + std::to_string(kMaxDevices) +
                                                " fit the device list"});
            }
        }
    }

    // A second record with the same three names can never be selected.
    std::map<std::tuple<std::string, std::string, std::string>, std::uint32_t> names;
    std::map<std::string, std::vector<std::uint32_t>> mainIds;
    std::map<std::string, std::vector<std::uint32_t>> secondaryIds;
    for (std::uint32_t i = 0; i < catalogue.count(); ++i) {
        const ChipRecord& r = *catalogue.record(i);
        const auto [it, fresh] = names.try_emplace({r.type, r.manufacturer, r.device}, i);
        if (!fresh) {
            report.errors.push_back({catalogue.sourceLine(i),
                                     recordName(i) + ": same type, maker and device as record " +
                                         std::to_string(it->second) +
                                         "; it can never be selected"});
        }
        if (!isPlaceholderId(r.mainId)) {
            mainIds[r.mainId].push_back(i);
        }
        if (!isPlaceholderId(r.secondaryId)) {
            secondaryIds[r.secondaryId].push_back(i);
        }
    }
    const auto listShared = [&](const char* kind,
                                const std::map<std::string, std::vector<std::uint32_t>>& ids) {
        for (const auto& [id, records] : ids) {
            if (records.size() < 2) {
                continue;
            }
            std::string line =
                std::string(kind) + " " + id + " (" + std::to_string(records.size()) + " records):";
            const char* separator = " ";
            for (const auto i : records) {
                const ChipRecord& r = *catalogue.record(i);
                line += separator + r.device + " [" + r.manufacturer + "]";
                separator = ", ";
            }
            report.sharedIds.push_back(std::move(line));
        }
    };
    listShared("main ID", mainIds);
    listShared("secondary ID", secondaryIds);
    return report;
}

}  // namespace nyra
