// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/socket_check.h"

#include "app/text_language.h"
#include "ops/identify.h"

namespace nyra {

namespace {

constexpr int kFlashPosition = 0;
// Microwire chips answer in either wiring: both positions are one family.
constexpr int kMicrowirePosition = 3;
constexpr int kRotatedMicrowirePosition = 5;

int familyOf(int typePosition) {
    return typePosition == kRotatedMicrowirePosition ? kMicrowirePosition : typePosition;
}

std::string otherFamilyText(const TextTable& texts, const std::string& found,
                            const std::string& named) {
    if (textLanguage(texts).starts_with("zh"))
        return "插座中是 " + found + " 类芯片，不是 " + named + "，未执行任何操作！";
    return "The socket holds a " + found + " chip, not a " + named + ": nothing was done!";
}

}  // namespace

SocketFit checkNamedChip(ChipJobRoles context) {
    ChipSelection& selection = context.selection;
    const std::uint32_t named = selection.selectedChip();
    const int namedPosition = selection.typeList().current;
    const std::string namedType = selection.typeList().currentText();

    // The full form: the quiet one does nothing while identification is off.
    const int found = identifyChip(context, true, true);
    const ListModel types = selection.typeList();
    int foundPosition = types.current;
    std::string foundType = types.currentText();
    // An ID the catalogue does not hold is an SPI flash all the same.
    if (found == kIdentifyNoMatch && !namesChipFamily(context.identified.last().identity)) {
        foundPosition = kFlashPosition;
        foundType = types.items.empty() ? std::string() : types.items.front();
    }

    if (selection.selectedChip() != named)
        selection.selectRecord(named);
    context.flags.chipChanged.store(false);
    if (found == kIdentifyNoProgrammer)
        return SocketFit::NoProgrammer;
    if (found == kIdentifyFailed)
        return SocketFit::NoChip;
    if (familyOf(foundPosition) != familyOf(namedPosition)) {
        context.status.show(otherFamilyText(context.texts, foundType, namedType), StatusKind::Alert,
                            true);
        return SocketFit::OtherFamily;
    }
    return SocketFit::Fits;
}

}  // namespace nyra
