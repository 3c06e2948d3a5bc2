// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/text_table.h"

#include <utility>

namespace nyra {

namespace {

const std::string kEmpty;

}  // namespace

TextTable::TextTable(ProfileReader::MessageSink onMessage) : onMessage_(std::move(onMessage)) {}

void TextTable::loadTexts(const std::string& path, std::string_view section, int entries,
                          int base) {
    ProfileReader reader(onMessage_);
    if (!reader.load(path) || !reader.findSection(section))
        return;
    for (int i = 0; i < entries && reader.nextKeyLine(); ++i) {
        int number = 0;
        if (!reader.numericKey(number) || number >= entries)
            continue;
        const int index = base + number;
        if (index >= 0 && index < kTextSlots)
            slots_[static_cast<std::size_t>(index)] = reader.value();
    }
    reader.close();
}

void TextTable::loadFrom(const std::string& folder) {
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    loadTexts(prefix + "ftext.ini", "ftext", kFtextEntries, kFtextBase);
    loadTexts(prefix + "itext.ini", "itext", kItextEntries, kItextBase);
}

const std::string& TextTable::text(TextKey key) const {
    if (key.key < 0)
        return kEmpty;
    if (key.file == TextKey::File::Ftext) {
        return key.key < kFtextEntries ? slot(kFtextBase + key.key) : kEmpty;
    }
    return key.key < kItextEntries ? slot(kItextBase + key.key) : kEmpty;
}

const std::string& TextTable::slot(int index) const {
    if (index < 0 || index >= kTextSlots)
        return kEmpty;
    return slots_[static_cast<std::size_t>(index)];
}

}  // namespace nyra
