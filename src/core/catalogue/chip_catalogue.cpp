// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/chip_catalogue.h"

#include "catalogue/chip_parameters.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/file_access.h"
#include "catalogue/catalogue_codec.h"
#include "catalogue/catalogue_tools.h"
#include "catalogue/global_memory_buffer.h"

namespace nyra {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::vector<std::uint32_t> findById(const ChipCatalogue& catalogue, std::uint32_t id,
                                    std::string ChipRecord::*field) {
    const std::string text = ChipCatalogue::idText(id);
    std::vector<std::uint32_t> found;
    for (std::uint32_t i = 0; i < catalogue.count(); ++i) {
        const ChipRecord& r = *catalogue.record(i);
        if (r.*field == text) {
            found.push_back(r.index);
        }
    }
    return found;
}

}  // namespace

ChipCatalogue::ChipCatalogue() : records_(new ChipRecord[kMaxChipRecords]) {
    sourceLines_.assign(kMaxChipRecords, 0);
    count_ = kMaxChipRecords;
    clear();
}

void ChipCatalogue::clear() {
    // Slots from count on were never filled since they were last blanked.
    const std::string blank(kSlotFieldWidth, ' ');
    for (std::uint32_t i = 0; i < count_; ++i) {
        for (std::size_t f = 0; f < ChipRecord::kTextFieldCount; ++f) {
            records_[i].field(f) = blank;
        }
        records_[i].index = 0;
        sourceLines_[i] = 0;
    }
    count_ = 0;
}

void ChipCatalogue::note(const std::string& line) const {
    if (log_) {
        log_(line);
    }
}

namespace {

// Opened without blocking: a FIFO or a device in the catalogue's place would
// hold the program for good.
File openCatalogue(const std::string& path) {
    struct stat info {};
    const int fd = openRegularFile(path, info);
    if (fd < 0)
        return File(nullptr);
    File f(::fdopen(fd, "rb"));
    if (!f)
        ::close(fd);
    return f;
}

}  // namespace

bool ChipCatalogue::canOpen(const std::string& path) {
    // The program never writes the catalogue, so a read-only file is fine.
    return openCatalogue(path) != nullptr;
}

void ChipCatalogue::load(const std::string& path) {
    clear();
    File f(openCatalogue(path));
    if (!f && (errno == kErrorNotRegularFile || errno == EISDIR)) {
        note("Chip catalogue " + path + " is not a regular file; no chips loaded.");
        return;
    }
    if (!f) {
        if (messages_) {
            messages_(kOpenFailedText, kOpenFailedCaption, MessageIcon::Warning);
        }
        return;
    }
    struct stat info {};
    if (fstat(fileno(f.get()), &info) != 0 || !S_ISREG(info.st_mode)) {
        note("Chip catalogue " + path + " is not a regular file; no chips loaded.");
        return;
    }
    const auto fileSize = static_cast<std::uint64_t>(info.st_size);
    if (fileSize > kMaxImageSize) {
        note("Chip catalogue " + path + " is " + std::to_string(fileSize) +
             " bytes long, too large for a catalogue; no chips loaded.");
        return;
    }
    GlobalMemoryBuffer image(messages_);
    std::uint8_t* data = image.allocate(static_cast<std::uint32_t>(fileSize));
    if (data == nullptr) {
        note("Not enough memory to read the chip catalogue; no chips loaded.");
        return;
    }
    // Read no more than the length measured: a file that grows meanwhile must
    // not push bytes past the image.
    std::size_t got = 0;
    while (got < fileSize) {
        const std::size_t n = std::fread(data + got, 1, fileSize - got, f.get());
        if (n == 0) {
            break;
        }
        got += n;
    }
    if (got < fileSize) {
        note("Chip catalogue " + path + " became shorter while it was read; " +
             std::to_string(got) + " of " + std::to_string(fileSize) + " bytes used.");
    } else if (std::fgetc(f.get()) != EOF) {
        note("Chip catalogue " + path + " grew while it was read; bytes after the first " +
             std::to_string(fileSize) + " are ignored.");
    }
    f.reset();
    const std::span<std::uint8_t> bytes(data, got);
    catalogue_codec::unscramble(bytes);
    parse(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    image.release();
}

void ChipCatalogue::loadImage(std::span<const std::uint8_t> stored) {
    clear();
    if (stored.size() > kMaxImageSize) {
        note("Chip catalogue image too large; no chips loaded.");
        return;
    }
    GlobalMemoryBuffer image(messages_);
    std::uint8_t* data = image.allocate(static_cast<std::uint32_t>(stored.size()));
    if (data == nullptr) {
        note("Not enough memory to read the chip catalogue; no chips loaded.");
        return;
    }
    std::copy(stored.begin(), stored.end(), data);
    const std::span<std::uint8_t> bytes(data, stored.size());
    catalogue_codec::unscramble(bytes);
    parse(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

namespace {

// Lines with the same problem, reported in one note however many there are.
class ProblemLines {
public:
    void add(std::uint32_t lineNumber, std::string detail) {
        if (count_++ < kListed)
            lines_.push_back(lineNumber);
        if (count_ == 1)
            firstDetail_ = std::move(detail);
    }
    std::uint32_t count() const { return count_; }
    // "line 3" with the first line's detail, or "lines 3, 5, 7 and 9 more".
    std::string lineText() const {
        if (count_ == 1)
            return "line " + std::to_string(lines_[0]) + firstDetail_;
        std::string text = "lines ";
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            if (i > 0)
                text += i + 1 == lines_.size() && count_ == lines_.size() ? " and " : ", ";
            text += std::to_string(lines_[i]);
        }
        if (count_ > lines_.size())
            text += " and " + std::to_string(count_ - lines_.size()) + " more";
        return text;
    }

private:
    static constexpr std::uint32_t kListed = 5;
    std::uint32_t count_ = 0;
    std::vector<std::uint32_t> lines_;
    std::string firstDetail_;
};

}  // namespace

void ChipCatalogue::parse(std::string_view text) {
    clear();
    ProblemLines overlong;
    ProblemLines tooFewFields;
    ProblemLines unusable;
    std::string currentType;
    std::string currentManufacturer;
    std::uint32_t lineNumber = 0;
    std::uint32_t withoutCr = 0;
    std::uint32_t firstWithoutCr = 0;
    std::uint32_t ignoredChips = 0;
    std::uint32_t firstIgnoredChip = 0;

    std::size_t start = 0;
    // Only lines ended by a line feed exist; whatever follows the last one is
    // not a line.
    for (std::size_t lf = text.find('\n'); lf != std::string_view::npos;
         start = lf + 1, lf = text.find('\n', start)) {
        ++lineNumber;
        const std::string_view raw = text.substr(start, lf - start);
        if (raw.size() > kMaxLineLength)
            overlong.add(lineNumber, " is " + std::to_string(raw.size()) + " characters long");
        if (raw.empty()) {
            continue;
        }
        if (raw.back() != '\r' && withoutCr++ == 0) {
            firstWithoutCr = lineNumber;
        }
        const std::string_view line = raw.substr(0, raw.size() - 1);
        if (line.empty()) {
            continue;
        }
        switch (line.front()) {
            case '$':
                currentType.assign(line.substr(1));
                break;
            case '#': {
                // The maker text ends with one character that is not part of it.
                const std::string_view rest = line.substr(1);
                currentManufacturer.assign(rest.substr(0, rest.empty() ? 0 : rest.size() - 1));
                break;
            }
            case '@': {
                if (count_ >= kMaxChipRecords) {
                    if (ignoredChips++ == 0) {
                        firstIgnoredChip = lineNumber;
                    }
                    break;
                }
                std::array<std::string_view, kChipLineFields> fields;
                std::size_t pos = 1;
                bool complete = true;
                for (std::size_t f = 0; f + 1 < kChipLineFields; ++f) {
                    const std::size_t colon = line.find(':', pos);
                    if (colon == std::string_view::npos) {
                        complete = false;
                        break;
                    }
                    fields[f] = line.substr(pos, colon - pos);
                    pos = colon + 1;
                }
                if (!complete) {
                    tooFewFields.add(lineNumber, "");
                    break;
                }
                fields[kChipLineFields - 1] = line.substr(pos);
                ChipRecord& r = records_[count_];
                r.type = currentType;
                r.manufacturer = currentManufacturer;
                for (std::size_t f = 0; f < kChipLineFields; ++f) {
                    r.field(f + 2).assign(fields[f]);
                }
                // A size read wrongly, or a bus no job knows, would make a job
                // "succeed" on the wrong bytes: such a chip is not offered.
                if (const std::string why = unusableReason(r); !why.empty()) {
                    unusable.add(lineNumber, " (" + r.device + "): " + why);
                    r = ChipRecord{};
                    break;
                }
                r.index = count_;
                sourceLines_[count_] = lineNumber;
                ++count_;
                break;
            }
            default:
                break;
        }
    }
    if (overlong.count() == 1) {
        note("Chip catalogue " + overlong.lineText() + " (at most " +
             std::to_string(kMaxLineLength) + " expected); it is read in full.");
    } else if (overlong.count() > 1) {
        note("Chip catalogue " + overlong.lineText() + " are longer than " +
             std::to_string(kMaxLineLength) + " characters; they are read in full.");
    }
    if (tooFewFields.count() == 1) {
        note("Chip catalogue " + tooFewFields.lineText() +
             " has fewer than 10 fields; the chip is left out.");
    } else if (tooFewFields.count() > 1) {
        note("Chip catalogue " + tooFewFields.lineText() +
             " have fewer than 10 fields; those chips are left out.");
    }
    if (unusable.count() == 1) {
        note("Chip catalogue " + unusable.lineText() + "; the chip is left out.");
    } else if (unusable.count() > 1) {
        note("Chip catalogue " + unusable.lineText() +
             " hold a capacity or an operation type no job can use; those chips are left out.");
    }
    if (withoutCr > 0) {
        note("Chip catalogue: " + std::to_string(withoutCr) +
             " line(s) do not end with CR LF, the first at line " + std::to_string(firstWithoutCr) +
             "; their last character was dropped.");
    }
    if (ignoredChips > 0) {
        note("Chip catalogue holds more than " + std::to_string(kMaxChipRecords) + " chips; " +
             std::to_string(ignoredChips) + " chip line(s) from line " +
             std::to_string(firstIgnoredChip) + " on are left out.");
    }
}

std::vector<std::string> ChipCatalogue::typeList() const {
    std::vector<std::string> list;
    for (std::uint32_t i = 0; i < count_; ++i) {
        // The first record always opens a group, whatever its type says.
        if (i == 0 || records_[i].type != records_[i - 1].type) {
            list.push_back(records_[i].type);
        }
    }
    return list;
}

std::vector<std::string> ChipCatalogue::manufacturerList(std::string_view type) const {
    std::vector<std::string> list;
    const ChipRecord* previous = nullptr;
    for (std::uint32_t i = 0; i < count_; ++i) {
        const ChipRecord& r = records_[i];
        if (r.type != type) {
            continue;
        }
        if (previous == nullptr || r.manufacturer != previous->manufacturer) {
            list.push_back(r.manufacturer);
        }
        previous = &r;
    }
    return list;
}

std::vector<std::string> ChipCatalogue::deviceList(std::string_view type,
                                                   std::string_view manufacturer) const {
    std::vector<std::string> list;
    for (std::uint32_t i = 0; i < count_; ++i) {
        const ChipRecord& r = records_[i];
        if (r.type == type && r.manufacturer == manufacturer) {
            list.push_back(r.device);
        }
    }
    return list;
}

std::vector<std::uint32_t> ChipCatalogue::findChip(std::string_view type,
                                                   std::string_view manufacturer,
                                                   std::string_view device) const {
    std::vector<std::uint32_t> found;
    for (std::uint32_t i = 0; i < count_; ++i) {
        const ChipRecord& r = records_[i];
        if (r.type == type && r.manufacturer == manufacturer && r.device == device) {
            found.push_back(r.index);
        }
    }
    return found;
}

std::vector<std::uint32_t> ChipCatalogue::findByMainId(std::uint32_t id) const {
    return findById(*this, id, &ChipRecord::mainId);
}

std::vector<std::uint32_t> ChipCatalogue::findBySecondaryId(std::uint32_t id) const {
    return findById(*this, id, &ChipRecord::secondaryId);
}

const ChipRecord* ChipCatalogue::record(std::uint32_t position) const {
    return position < count_ ? &records_[position] : nullptr;
}

const ChipRecord* ChipCatalogue::slot(std::uint32_t position) const {
    return position < kMaxChipRecords ? &records_[position] : nullptr;
}

std::uint32_t ChipCatalogue::largestChipSize() const {
    std::uint32_t largest = 0;
    for (std::uint32_t i = 0; i < count_; ++i)
        largest = std::max(largest, chipSizeFromCapacity(records_[i].capacity));
    return largest;
}

std::uint32_t ChipCatalogue::sourceLine(std::uint32_t position) const {
    return position < count_ ? sourceLines_[position] : 0;
}

std::string ChipCatalogue::idText(std::uint32_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "%6X", static_cast<unsigned>(id));
    std::string result(text);
    for (char& c : result) {
        if (c == ' ') {
            c = '0';
        }
    }
    return result;
}

}  // namespace nyra
