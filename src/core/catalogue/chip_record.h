// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace nyra {

// One catalogue entry: twelve texts as stored and the record's position.
struct ChipRecord {
    static constexpr std::size_t kTextFieldCount = 12;

    std::string type;
    std::string manufacturer;
    std::string device;
    std::string pageSize;
    std::string sectorSize;
    std::string capacity;
    std::string mainAddress;
    std::string secondaryAddress;
    std::string mainId;
    std::string secondaryId;
    std::string voltage;
    std::string operationType;
    std::uint32_t index = 0;

    // Field i in the order above (0 = type .. 11 = operationType).
    std::string& field(std::size_t i);
    const std::string& field(std::size_t i) const;

    friend bool operator==(const ChipRecord&, const ChipRecord&) = default;
};

// The label printed in front of each text field, in field order.
inline constexpr std::array<const char*, ChipRecord::kTextFieldCount> kChipFieldLabels = {
    "类型",   "厂商",   "型号", "页大小", "扇区大小", "容量",
    "主地址", "从地址", "主ID", "次ID",   "电压",     "操作类型"};
inline constexpr const char* kChipIndexLabel = "内部编号";

inline std::string& ChipRecord::field(std::size_t i) {
    return const_cast<std::string&>(static_cast<const ChipRecord&>(*this).field(i));
}

inline const std::string& ChipRecord::field(std::size_t i) const {
    switch (i) {
        case 0:
            return type;
        case 1:
            return manufacturer;
        case 2:
            return device;
        case 3:
            return pageSize;
        case 4:
            return sectorSize;
        case 5:
            return capacity;
        case 6:
            return mainAddress;
        case 7:
            return secondaryAddress;
        case 8:
            return mainId;
        case 9:
            return secondaryId;
        case 10:
            return voltage;
        default:
            return operationType;
    }
}

}  // namespace nyra
