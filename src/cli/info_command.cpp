// SPDX-License-Identifier: GPL-3.0-or-later
#include "info_command.h"

#include <vector>

#include "app/file_access.h"
#include "buffer/data_buffer.h"
#include "buffer/file_descriptor.h"
#include "catalogue/chip_catalogue.h"
#include "catalogue/chip_parameters.h"

namespace nyra::cli {

namespace {

// The data length is 32-bit, as in the window, which refuses longer files.
constexpr std::uint64_t kLargestData = 0xFFFFFFFFu;

const ChipRecord* findDevice(const ChipCatalogue& catalogue, const std::string& device) {
    for (std::uint32_t i = 0; i < catalogue.count(); ++i) {
        if (catalogue.record(i)->device == device)
            return catalogue.record(i);
    }
    return nullptr;
}

}  // namespace

int info(const std::string& programFolder, const std::string& file,
         const std::optional<std::string>& chip, std::ostream& out, std::ostream& err) {
    // A folder, a FIFO or an unreadable file has no data to describe.
    struct stat info {};
    Descriptor source(openRegularFile(file, info));
    if (source.get() < 0) {
        err << "cannot open " << file << ": " << fileErrorText(errno) << '\n';
        return kExitInfoFailed;
    }
    const auto length = static_cast<std::uint64_t>(info.st_size);
    if (length > kLargestData) {
        err << file << " is 4 GiB or longer; the program takes data files below 4 GiB\n";
        return kExitInfoFailed;
    }
    std::uint64_t sum = 0;
    std::vector<std::uint8_t> chunk(1 << 20);
    for (;;) {
        const ssize_t got = readChunk(source.get(), chunk.data(), chunk.size());
        if (got < 0) {
            err << "cannot read " << file << ": " << fileErrorText(errno) << '\n';
            return kExitInfoFailed;
        }
        sum += sumBytes(chunk.data(), static_cast<std::size_t>(got));
        if (static_cast<std::size_t>(got) < chunk.size())
            break;
    }
    DataBuffer data;
    if (!data.openWorkingReadOnly(file)) {
        err << "cannot open " << file << ": " << fileErrorText(errno) << '\n';
        return kExitInfoFailed;
    }
    data.loaded(sum);
    out << "data length: " << data.dataLength() << '\n'
        << "size: " << sizeText(data.dataLength()) << '\n'
        << "data checksum: " << data.dataChecksumText() << '\n';

    ChipCatalogue catalogue;
    catalogue.setMessageSink([&err](const std::string& message, const std::string&, MessageIcon) {
        err << message << '\n';
    });
    catalogue.load(programFolder + "/database.dat");
    const ChipRecord* record = nullptr;
    if (chip) {
        record = findDevice(catalogue, *chip);
        if (!record) {
            err << "no chip " << *chip << " in the catalogue\n";
            return kExitInfoFailed;
        }
    } else if (catalogue.count() > 0) {
        record = catalogue.record(0);  // the window's selection at start-up
    }
    if (record) {
        const std::uint32_t size = chipSizeFromCapacity(record->capacity);
        data.updateChipChecksum(size);
        out << "chip: " << record->type << " : " << record->manufacturer << " : " << record->device
            << " : " << capacityText(record->capacity, size) << '\n'
            << "chip checksum: " << data.chipChecksumText() << '\n';
    }
    out << std::flush;
    return kExitInfoDone;
}

}  // namespace nyra::cli
