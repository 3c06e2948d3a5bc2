// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the catalogue reader as a stored database.dat, then
// walks every list, selects every device and checks the record fields; the
// same bytes also go through the source-text builder.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "catalogue/catalogue_tools.h"
#include "catalogue/chip_catalogue.h"
#include "catalogue/chip_selection.h"

namespace {

void check(bool ok) {
    if (!ok) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static nyra::ChipCatalogue catalogue;  // 1100 slots: built once
    catalogue.loadImage(std::span(data, size));
    check(catalogue.count() <= nyra::ChipCatalogue::kMaxChipRecords);

    nyra::ChipSelection selection(catalogue);
    selection.startUp();
    const auto types = catalogue.typeList();
    for (std::size_t t = 0; t < types.size() && t < 8; ++t) {
        selection.typeChanged(static_cast<int>(t));
        const int makers = static_cast<int>(selection.manufacturerList().items.size());
        for (int m = 0; m < makers && m < 8; ++m) {
            selection.manufacturerChanged(m);
            const int devices = static_cast<int>(selection.deviceList().items.size());
            for (int d = 0; d < devices && d < 8; ++d) {
                selection.deviceChanged(d);
                check(selection.selectedChip() < catalogue.count());
                const auto block = selection.parameterBlock();
                check(block.bytes[0] == 0xA5 && block.bytes[19] == 0x5A);
                check(block.chipSize() == selection.chipSize());
            }
        }
        check(selection.chipInformation().size() > 0);
    }
    for (std::uint32_t i = 0; i < catalogue.count(); ++i) {
        check(catalogue.record(i)->index == i);
        nyra::checkRecord(*catalogue.record(i));
    }
    nyra::checkCatalogue(catalogue);

    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto built = nyra::buildDatabase(text);
    if (built.ok()) {
        check(nyra::dumpDatabase(built.database) == built.text);
    }
    return 0;
}
