// SPDX-License-Identifier: GPL-3.0-or-later
#include "test_texts.h"

#include <QFile>

#include "app/text_table.h"

namespace nyra::gui::test {

namespace {

bool writeFile(const QString& path, const std::string& content) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(content.data(), static_cast<qint64>(content.size())) ==
           static_cast<qint64>(content.size());
}

}  // namespace

std::string testText(TextKey key) {
    if (key == ftext(42))
        return "器件信息 T";
    if (key == ftext(73))
        return "浏览 T...";
    const bool f = key.file == TextKey::File::Ftext;
    return std::string(f ? "Ftext " : "Itext ") + std::to_string(key.key);
}

bool writeTestTexts(const QString& folder) {
    std::string ftextFile = "[ftext]\r\n";
    for (int k = 1; k < kFtextEntries; ++k) {
        ftextFile += std::to_string(k) + "=" + testText(ftext(k)) + "\r\n";
    }
    std::string itextFile = "[itext]\r\n";
    for (int k = 0; k < kItextEntries; ++k) {
        itextFile += std::to_string(k) + "=" + testText(itext(k)) + "\r\n";
    }
    return writeFile(folder + "/ftext.ini", ftextFile) &&
           writeFile(folder + "/itext.ini", itextFile);
}

}  // namespace nyra::gui::test
