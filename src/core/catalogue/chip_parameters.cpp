// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/chip_parameters.h"

#include <cstdio>

namespace nyra {

namespace {

constexpr std::uint32_t kKiB = 1024;
constexpr std::uint32_t kMiB = 1024 * kKiB;
constexpr std::uint32_t kGiB = 1024 * kMiB;

// A missing character counts as "0", so short texts never read past the end.
char charAt(std::string_view text, std::size_t i) {
    return i < text.size() ? text[i] : '0';
}

std::uint8_t hexByte(char high, char low) {
    return static_cast<std::uint8_t>(hexValue(high) * 16 + hexValue(low));
}

std::string sizePart(std::uint64_t value, const char* unit) {
    char text[48];
    if (value < kKiB) {
        std::snprintf(text, sizeof text, "%llu%s", static_cast<unsigned long long>(value), unit);
    } else if (value < kMiB) {
        std::snprintf(text, sizeof text, "%lluK%s", static_cast<unsigned long long>(value / kKiB),
                      unit);
    } else if (value < kGiB) {
        std::snprintf(text, sizeof text, "%lluM%s", static_cast<unsigned long long>(value / kMiB),
                      unit);
    } else {
        std::snprintf(text, sizeof text, "%lluG%s", static_cast<unsigned long long>(value / kGiB),
                      unit);
    }
    return text;
}

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

}  // namespace

int hexValue(char c) {
    const int code = static_cast<unsigned char>(c);
    return code >= 'A' ? code - 55 : code - 48;
}

std::uint32_t decimalValue(std::string_view text) {
    std::uint32_t value = 0;
    for (const char c : text) {
        value = value * 10u + static_cast<unsigned char>(c) - 48u;
    }
    return value;
}

std::uint32_t leadingDecimalValue(std::string_view text) {
    std::size_t n = 0;
    while (n < text.size() && text[n] >= '0' && text[n] <= '9') {
        ++n;
    }
    return decimalValue(text.substr(0, n));
}

std::uint8_t sizeCode(std::uint32_t value) {
    for (std::uint8_t i = 0; i <= 16; ++i) {
        if (value == (std::uint32_t{1} << i)) {
            return i;
        }
    }
    return static_cast<std::uint8_t>(value);
}

std::uint8_t pageSizeCode(std::string_view pageSize) {
    return pageSize == "N" ? 255 : sizeCode(decimalValue(pageSize));
}

std::uint8_t sectorSizeCode(std::string_view sectorSize) {
    if (sectorSize == "N") {
        return 0;
    }
    if (sectorSize == "F") {
        return 255;
    }
    return sizeCode(leadingDecimalValue(sectorSize));
}

std::uint32_t chipSizeFromCapacity(std::string_view capacity) {
    const std::size_t words = capacity.find("*16bit");
    const bool countsWords = words != std::string_view::npos && words > 0;

    const std::size_t b = capacity.find('B');
    const std::size_t star = capacity.find('*');
    std::string_view cut = capacity;
    if (star != std::string_view::npos && (b == std::string_view::npos || star > b)) {
        cut = capacity.substr(0, star + 1);
    } else if (b != std::string_view::npos) {
        cut = capacity.substr(0, b + 1);
    }

    const auto dropped = [&cut](std::size_t n) {
        return cut.substr(0, cut.size() >= n ? cut.size() - n : 0);
    };
    std::uint32_t size = 0;
    if (contains(cut, "G")) {
        size = decimalValue(dropped(2)) * kGiB;
    } else if (contains(cut, "M")) {
        size = decimalValue(dropped(2)) * kMiB;
    } else if (contains(cut, "K")) {
        size = decimalValue(dropped(2)) * kKiB;
    } else {
        size = decimalValue(dropped(1));
    }
    return countsWords ? size * 2u : size;
}

std::string capacityText(std::string_view capacity, std::uint32_t chipSize) {
    const std::size_t b = capacity.find('B');
    if (contains(capacity, "16bit") || b == std::string_view::npos || b == 0) {
        return std::string(capacity);
    }
    return sizePart(std::uint64_t{chipSize} * 8, "bits/") + sizePart(chipSize, "bytes");
}

std::uint32_t fillParameterBlock(const ChipRecord& record, bool adapter,
                                 ChipParameterBlock& block) {
    auto& bytes = block.bytes;
    std::uint8_t flags = bytes[1] & 0x3F;
    if (!record.voltage.empty() && record.voltage.back() == '5') {
        flags |= 0x80;
    }
    if (!record.capacity.empty() && record.capacity.back() != 'B') {
        flags |= 0x40;
    }
    bytes[1] = flags;

    const std::string_view op = record.operationType;
    bytes[2] = static_cast<std::uint8_t>((hexValue(charAt(op, 0)) & 0x0F) | (adapter ? 0x80 : 0));
    bytes[3] = hexByte(charAt(op, 1), charAt(op, 2));

    bytes[4] = pageSizeCode(record.pageSize);
    bytes[5] = sectorSizeCode(record.sectorSize);

    const std::uint32_t size = chipSizeFromCapacity(record.capacity);
    block.setChipSize(size);

    const std::string_view main = record.mainAddress;
    bytes[10] = main == "N" ? 0 : hexByte(charAt(main, 0), charAt(main, 1));

    const std::string_view secondary = record.secondaryAddress;
    bytes[11] = static_cast<std::uint8_t>(hexValue(charAt(secondary, 0)));
    if (charAt(op, 0) == '3') {
        // Microwire address widths are written in decimal.
        bytes[12] = static_cast<std::uint8_t>((charAt(secondary, 1) - 48) * 10 +
                                              (charAt(secondary, 2) - 48));
    } else {
        bytes[12] = hexByte(charAt(secondary, 1), charAt(secondary, 2));
    }

    bytes[0] = ChipParameterBlock::kStartMarker;
    bytes[ChipParameterBlock::kSize - 1] = ChipParameterBlock::kEndMarker;
    return size;
}

std::optional<PinoutPicture> pinoutFor(std::string_view operationType) {
    const char first = operationType.empty() ? '\0' : operationType[0];
    const char third = operationType.size() > 2 ? operationType[2] : '\0';
    switch (first) {
        case '0':
            return PinoutPicture::Spi;
        case '1':
            return PinoutPicture::I2c;
        case '2':
            if (third == '0') {
                return PinoutPicture::Spi;
            }
            if (third == '1') {
                return PinoutPicture::I2cModeWc;
            }
            return std::nullopt;
        case '3':
            if (third == '0') {
                return PinoutPicture::Microwire;
            }
            if (third == '1') {
                return PinoutPicture::MicrowireRotated;
            }
            return std::nullopt;
        case '4':
            return PinoutPicture::SclSda;
        default:
            return std::nullopt;
    }
}

std::optional<QeDescriptor> quadEnableFor(const ChipRecord& record, std::uint32_t chipSize) {
    if (!contains(record.type, "25 SPI")) {
        return std::nullopt;
    }
    const std::string_view maker = record.manufacturer;
    if (contains(maker, "WINBOND") || contains(maker, "GIGADEVICE")) {
        if (chipSize >= kMiB) {
            return kQeWinbondGigaDevice;
        }
        return std::nullopt;
    }
    if (contains(maker, "MX") && chipSize >= 256 * kKiB) {
        // The density digits end earlier in names of chips up to 8 MiB.
        const std::string_view name = record.device;
        const std::size_t at = chipSize <= 8 * kMiB ? 7 : 8;
        if (name.size() >= at + 2 && name[at] >= '3' && name[at] <= '6') {
            return kQeMacronix;
        }
    }
    return std::nullopt;
}

std::string chipInformationText(std::uint32_t selectedChip, const ChipRecord& record,
                                const ChipParameterBlock& block) {
    std::string text =
        "当前编号:" + std::to_string(static_cast<int>(selectedChip)) + "\r\n芯片信息:\r\n";
    for (std::size_t f = 0; f < ChipRecord::kTextFieldCount; ++f) {
        text += kChipFieldLabels[f];
        text += ':';
        text += record.field(f);
        // The page size line carries ten trailing spaces in the box's layout.
        text += f == 3 ? "          \r\n" : "\r\n";
    }
    text += kChipIndexLabel;
    text += ':' + std::to_string(static_cast<int>(record.index)) + "\r\n对应自动指令:";
    for (std::size_t i = 0; i < ChipParameterBlock::kSize; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", block.bytes[i]);
        text += hex;
        if (i == 0 || i == 1 || i == 3 || i == 4 || i == 5 || i == 9 || i == 10 || i == 12 ||
            i == 18) {
            text += '|';
        }
    }
    text += "      ";
    return text;
}

}  // namespace nyra
