// SPDX-License-Identifier: GPL-3.0-or-later
#include "json_text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace nyra::cli {
namespace {

// Status texts are the program's own, in any language, and may hold CR LF:
// each must come out as one valid JSON string that reads back as the text.
TEST(JsonString, EscapesExactlyWhatJsonRequires) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "\"\""},
        {"ok", "\"ok\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"C:\\dir", "\"C:\\\\dir\""},
        {std::string("\0", 1), "\"\\u0000\""},
        {"a\r\nb", "\"a\\u000d\\u000ab\""},
        {"\x1f", "\"\\u001f\""},
        {" ~\x7f", "\" ~\x7f\""},
        {"读取结束！", "\"读取结束！\""},
    };
    for (const auto& [text, json] : cases) {
        EXPECT_EQ(jsonString(text), json) << text;
    }
}

}  // namespace
}  // namespace nyra::cli
