// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes through the text-file reader and walks every section,
// key line and value; also checks that the codec always yields valid UTF-8.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/profile_reader.h"
#include "app/text_codec.h"

namespace {

void check(bool ok) {
    if (!ok)
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const std::string text = nyra::textFileToUtf8(bytes);
    check(nyra::isValidUtf8(text));
    check(nyra::isValidUtf8(nyra::gbkToUtf8(bytes)));
    const std::string gbk = nyra::utf8ToGbk(bytes);
    check(gbk.size() <= bytes.size());

    // The section names, found line by line as the reader splits them.
    std::vector<std::string> sections;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t cr = text.find('\r', pos);
        if (cr == std::string::npos)
            cr = text.size();
        const nyra::ProfileLine line =
            nyra::parseProfileLine(std::string_view(text).substr(pos, cr - pos));
        if (line.kind == nyra::ProfileLine::kSection)
            sections.push_back(line.section);
        pos = cr + 1;
        if (pos < text.size() && text[pos] == '\n')
            ++pos;
    }
    sections.push_back("ftext");

    nyra::ProfileReader reader;
    reader.loadFromMemory(bytes);
    for (const std::string& name : sections) {
        if (!reader.findSection(name))
            continue;
        check(reader.line().kind == nyra::ProfileLine::kSection);
        std::size_t lines = 0;
        while (reader.nextKeyLine()) {
            check(++lines <= size);
            check(!reader.line().text.empty());
            check(reader.line().kind != nyra::ProfileLine::kSection);
            int number = -1;
            if (reader.numericKey(number))
                check(number >= 0 && number <= 999999999);
            check(reader.value() == reader.line().valueName);
        }
        check(!reader.nextKeyLine());
    }
    reader.close();
    return 0;
}
