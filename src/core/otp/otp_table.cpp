// SPDX-License-Identifier: GPL-3.0-or-later
#include "otp/otp_table.h"

#include <cstdio>

namespace nyra {

namespace {

OtpEntry sized(std::uint32_t identity, std::uint16_t size, std::string note = {}) {
    OtpEntry entry;
    entry.identity = identity;
    entry.size = size;
    entry.note = std::move(note);
    return entry;
}

void addAll(OtpGroup& group, std::uint16_t size, std::initializer_list<std::uint32_t> ids) {
    for (const std::uint32_t id : ids)
        group.entries.push_back(sized(id, size));
}

std::vector<OtpGroup> buildTable() {
    std::vector<OtpGroup> table(6);
    table[0].parameters = {0x00, 0x00, 0x3A, 0x04, 0x02, 0x03, 0x05, 0x01, 0x01};
    table[1].parameters = {0x01, 0x00, 0x00, 0x00, 0x42, 0x48, 0x35, 0x01, 0x01};
    table[2].parameters = {0x02, 0x00, 0xB1, 0xC1, 0x02, 0x03, 0x2B, 0x2F, 0x01};
    table[3].parameters = {0x03, 0x00, 0x00, 0x00, 0x42, 0x48, 0x35, 0x01, 0x01};
    table[4].parameters = {0x04, 0x00, 0x00, 0x00, 0xA5, 0x88, 0x05, 0x85, 0x01};
    table[5].parameters = {0x05, 0x01, 0x00, 0x00, 0x42, 0x4B, 0x00, 0x00, 0x00};

    addAll(table[0], 256,
           {0xC83114, 0xC83013, 0xC83014, 0xC82013, 0xC82014, 0x1C3014, 0x1C3110, 0x1C3111,
            0x1C3112, 0x1C3113, 0x1C5114});
    addAll(table[0], 512,
           {0x1C2016, 0x1C3015, 0x1C3118, 0x1C2017, 0x1C3016, 0x1C3017, 0x1C3018, 0x1C5115});

    addAll(table[1], 1024, {0xC84016, 0xC84017});

    OtpGroup& g2 = table[2];
    addAll(g2, 64, {0xC22532, 0xC22553, 0xC22554, 0xC22415});
    g2.entries.push_back(sized(0xC22015, 64, "但不支持MX25L1605,MX25L1605A"));
    addAll(g2, 512,
           {0xC22515, 0xC22535, 0xC22536, 0xC25E16, 0xC22537, 0xC22538, 0xC22019, 0xC22539,
            0xC2201A, 0xC2253A});
    const std::string keepWithin = "文件长度请勿超出OTP实际容量";
    for (const auto& [id, note] : std::initializer_list<std::pair<std::uint32_t, std::string>>{
             {0xC22533, keepWithin},
             {0xC22014, keepWithin},
             {0xC22534, keepWithin},
             {0xC22016, "但不支持MX25L3205A," + keepWithin},
             {0xC22017, "但不支持MX25L6405," + keepWithin},
             {0xC22018, "MX25L12805D容量为64bytes," + keepWithin}}) {
        OtpEntry entry = sized(id, 512, note);
        entry.otherSizes = {64};
        g2.entries.push_back(std::move(entry));
    }

    OtpGroup& g3 = table[3];
    g3.entries.push_back(sized(0xEF4016, 768, "不支持W25Q32BV"));
    g3.entries.push_back(sized(0xEF4017, 768, "不支持W25Q64BV"));
    addAll(g3, 768,
           {0xEF4018, 0xEF4019, 0xEF5012, 0xEF5013, 0xEF5014, 0xEF6015, 0xEF6016, 0xEF6017,
            0xEF6018, 0xC86013, 0xC86014, 0xC86015, 0xC86016, 0xC86017, 0xC86018});
    g3.entries.push_back(sized(0x014015, 768, "不支持S25FL216K"));
    addAll(g3, 768, {0x014016, 0x014017, 0x014018});

    OtpEntry sst = sized(0xBF254B, 24);
    sst.base = 8;
    table[4].entries.push_back(sst);

    OtpGroup& g5 = table[5];
    const std::vector<OtpRange> lockBytes = {{0x100, 0x101}, {0x112, 0x113}, {0x214, 0x215}};
    for (const auto& [id, note] : std::initializer_list<std::pair<std::uint32_t, const char*>>{
             {0x010215, "不支持S25FL032A"}, {0x010216, "不支持S25FL064A"}}) {
        OtpEntry entry = sized(id, 512, note);
        entry.base = 0x100;
        entry.deferred = lockBytes;
        g5.entries.push_back(std::move(entry));
    }
    for (const auto& [id, note] : std::initializer_list<std::pair<std::uint32_t, const char*>>{
             {0x012018, "不支持S25FL128P、S25FL129P、"}, {0x010219, ""}, {0x010220, ""}}) {
        OtpEntry entry = sized(id, 1024, note);
        entry.deferred = {{0x000, 0x01F}};
        g5.entries.push_back(std::move(entry));
    }
    return table;
}

}  // namespace

const std::vector<OtpGroup>& otpTable() {
    static const std::vector<OtpGroup> table = buildTable();
    return table;
}

std::optional<OtpMatch> findOtpEntry(const std::string& mainId) {
    const auto& table = otpTable();
    for (std::size_t g = 0; g < table.size(); ++g) {
        const auto& entries = table[g].entries;
        for (std::size_t e = 0; e < entries.size(); ++e) {
            char text[16];
            std::snprintf(text, sizeof text, "%06X", entries[e].identity & 0xFFFFFF);
            if (mainId == text)
                return OtpMatch{static_cast<std::uint16_t>(g), static_cast<std::uint16_t>(e)};
        }
    }
    return std::nullopt;
}

}  // namespace nyra
