// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/data_view_job.h"

#include <array>
#include <cstdio>

#include "device/frames.h"
#include "device/protocol.h"
#include "ops/identify.h"

namespace nyra {

namespace {

constexpr int kReadUnitTimeoutMs = 100;

// "%2X" (a word: "%2X%2X"), blanks made "0".
std::string unitText(const std::uint8_t* bytes, bool word) {
    char text[8];
    if (word)
        std::snprintf(text, sizeof text, "%2X%2X", bytes[0], bytes[1]);
    else
        std::snprintf(text, sizeof text, "%2X", bytes[0]);
    std::string result(text);
    for (char& c : result) {
        if (c == ' ')
            c = '0';
    }
    return result;
}

}  // namespace

DataViewWindow::DataViewWindow(std::function<void()> startView, Frontend& frontend,
                               const TextTable& texts)
    : startView_(std::move(startView)),
      frontend_(frontend),
      texts_(texts),
      fields_(panel_, frontend, texts, kDataViewFields) {}

std::string windowTitleOfMenuText(const std::string& menuText) {
    std::string title;
    for (std::size_t i = 0; i < menuText.size(); ++i) {
        // "(&D)" goes whole; "&D" keeps its letter; "&&" is one "&".
        if (menuText.compare(i, 2, "(&") == 0 && i + 3 < menuText.size() &&
            menuText[i + 3] == ')') {
            i += 3;
            continue;
        }
        if (menuText[i] == '&' && i + 1 < menuText.size() && menuText[i + 1] != '&')
            continue;
        title += menuText[i];
        if (menuText[i] == '&')
            ++i;
    }
    if (title.ends_with("..."))
        title.resize(title.size() - 3);
    return title;
}

std::string DataViewWindow::title() const {
    // The title is the menu item's text, without what only the menu uses.
    const std::string& text = texts_.text(ids::kDataViewTitle);
    return text.empty() ? ids::kDataViewTemplateTitle : windowTitleOfMenuText(text);
}

void DataViewWindow::open() {
    for (int i = 0; i < 4; ++i)
        panel_.setText(ids::kDataViewFirstLabel + i, texts_.text(ftext(93 + i)));
    panel_.setText(ids::kDataViewAction, texts_.text(ftext(77)));
    panel_.setText(ids::kToolCancel, texts_.text(ftext(76)));
    panel_.setText(ids::kDataViewFileData, "null");
    panel_.setText(ids::kDataViewChipData, "null");
    panel_.setText(ids::kDataViewStatus, "null");
    fields_.reset();
}

void DataViewWindow::view() {
    const std::string address = panel_.text(ids::kDataViewAddress);
    if (address.empty()) {
        frontend_.messageBox(texts_.text(itext(171)), texts_.text(itext(9)), BoxIcon::Warning,
                             BoxButtons::Ok);
        return;
    }
    requested_.store(parseHexField(address));
    startView_();
}

std::uint8_t viewData(DataJobRoles context, DataViewWindow& window, HexViewModel& view) {
    const bool word = context.selection.parameterBlock().sixteenBit();
    const std::uint64_t at = window.requestedAddress() * (word ? 2 : 1);
    const int found = identifyChip(context, false, true);

    std::string fileData;
    std::string status;
    if (!context.flags.fileLoaded.load()) {
        fileData = context.text(itext(174));
        status = context.text(itext(57));
    } else if (at < context.data.dataLength()) {
        std::array<std::uint8_t, 2> bytes{0xFF, 0xFF};
        context.data.working().readAt(at, bytes.data(), bytes.size());
        view.showAddress(at);
        fileData = unitText(bytes.data(), word);
        status = context.text(itext(172));
    } else {
        fileData = context.text(itext(173));
        status = context.text(itext(176));
    }

    std::string chipData;
    // A chip of size 0 has no address in range.
    const std::uint64_t chipSize = context.selection.chipSize();
    if (context.flags.programmerBlocked.load()) {
        chipData = context.text(itext(174));
        status += "," + context.text(itext(56));
    } else if (found == kIdentifyNoProgrammer) {
        chipData = context.text(itext(174));
        status += context.text(itext(34));
    } else if (at >= chipSize) {
        status += context.text(itext(177));
        chipData = context.text(itext(173));
    } else {
        const auto argument = bigEndian32(static_cast<std::uint32_t>(at));
        std::array<std::uint8_t, 2> bytes{};
        const bool sent = context.channel.sendCommand(cmd::kReadUnit, kReadUnitTimeoutMs, argument);
        // Both bytes or nothing: one byte is not the chip's word.
        if (!sent || context.link().readReply(bytes.data(), 2, kReadUnitTimeoutMs) != 2) {
            chipData = context.text(itext(174));
            status += "," + context.text(itext(56));
        } else {
            chipData = unitText(bytes.data(), word);
            status += context.text(itext(175));
        }
    }
    status += "...";
    context.normal(itext(178));
    Panel& panel = window.panel();
    panel.setText(ids::kDataViewFileData, fileData);
    panel.setText(ids::kDataViewChipData, chipData);
    panel.setText(ids::kDataViewStatus, status);
    return 1;
}

}  // namespace nyra
