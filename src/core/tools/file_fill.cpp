// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/file_fill.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace nyra {

namespace {

std::string hexLength(std::uint32_t length) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", length);
    return text;
}

}  // namespace

FileFillWindow::FileFillWindow(DataBuffer& data, HexViewModel& view, StatusLine& status,
                               Frontend& frontend, const TextTable& texts)
    : data_(data),
      view_(view),
      status_(status),
      frontend_(frontend),
      texts_(texts),
      fields_(panel_, frontend, texts, kFileFillFields) {}

std::string FileFillWindow::title() const {
    const std::string& text = texts_.text(ids::kFileFillTitle);
    return text.empty() ? ids::kFileFillTemplateTitle : text;
}

void FileFillWindow::open() {
    panel_.setText(ids::kFileFillAddressLabel, texts_.text(ftext(97)));
    panel_.setText(ids::kFileFillLengthLabel, texts_.text(ftext(103)));
    panel_.setText(ids::kFileFillDataLabel, texts_.text(ftext(104)));
    panel_.setText(ids::kFileFillStatusLabel, texts_.text(ftext(96)));
    panel_.setText(ids::kFileFillFromEnd, texts_.text(ftext(107)));
    panel_.setText(ids::kFileFillAction, texts_.text(ftext(77)));
    panel_.setText(ids::kToolCancel, texts_.text(ftext(76)));
    panel_.setText(ids::kFileFillStatus, "null");
    panel_.setChecked(ids::kFileFillFromEnd, false);
    fields_.reset();
}

void FileFillWindow::setFillFromEnd(bool fromEnd) {
    panel_.setChecked(ids::kFileFillFromEnd, fromEnd);
    fields_.write(ids::kFileFillAddress, fromEnd ? hexLength(data_.dataLength()) : "0");
}

void FileFillWindow::box(TextKey key) {
    frontend_.messageBox(texts_.text(key), texts_.text(itext(9)), BoxIcon::Warning, BoxButtons::Ok);
}

void FileFillWindow::fill() {
    const std::string address = panel_.text(ids::kFileFillAddress);
    const std::string length = panel_.text(ids::kFileFillLength);
    const std::string value = panel_.text(ids::kFileFillData);
    if (address.empty())
        return box(itext(162));
    if (length.empty())
        return box(itext(163));
    if (value.empty())
        return box(itext(164));
    const std::uint64_t at = parseHexField(address);
    const std::uint64_t count = parseDecimalField(length);
    const auto byte = static_cast<std::uint8_t>(parseHexField(value));

    if (!view_.editMode()) {
        const std::string& off = texts_.text(itext(165));
        panel_.setText(ids::kFileFillStatus, off);
        status_.show(off, StatusKind::Alert, false);
        frontend_.messageBox(off, "", BoxIcon::None, BoxButtons::Ok);
        return;
    }
    // The data length is 32-bit: a fill that would end past it is refused
    // before anything is written, instead of wrapping round.
    if (at + count > kLargestDataLength) {
        frontend_.messageBox(
            texts_.text(itext(163)) + "\n" + length + ": the data cannot grow past FFFFFFFF.",
            texts_.text(itext(9)), BoxIcon::Warning, BoxButtons::Ok);
        return;
    }
    panel_.setText(ids::kFileFillStatus, texts_.text(itext(166)));
    errno = 0;
    const bool written = data_.fillBytes(at, count, byte);
    const int error = errno;
    // What reached the file is shown either way.
    view_.dataWritten();
    if (!written) {
        const std::string message =
            texts_.text(itext(25)) + "\n" + data_.working().path() + "\n" + std::strerror(error);
        panel_.setText(ids::kFileFillStatus, message);
        status_.show(message, StatusKind::Alert, false);
        frontend_.messageBox(message, texts_.text(itext(29)), BoxIcon::Error, BoxButtons::Ok);
        return;
    }
    panel_.setText(ids::kFileFillStatus, texts_.text(itext(167)));
    if (panel_.checked(ids::kFileFillFromEnd))
        fields_.write(ids::kFileFillAddress, hexLength(data_.dataLength()));
    status_.show(texts_.text(itext(167)), StatusKind::Normal, false);
}

}  // namespace nyra
