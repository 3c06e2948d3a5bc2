// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/go_to.h"

namespace nyra {

GoToWindow::GoToWindow(HexViewModel& view, Frontend& frontend, const TextTable& texts)
    : view_(view),
      frontend_(frontend),
      texts_(texts),
      fields_(panel_, frontend, texts, kGoToFields) {}

std::string GoToWindow::title() const {
    const std::string& text = texts_.text(ids::kGoToTitle);
    return text.empty() ? ids::kGoToTemplateTitle : text;
}

void GoToWindow::open() {
    panel_.setText(ids::kGoToLabel, texts_.text(ftext(97)));
    panel_.setText(ids::kGoToAction, texts_.text(ftext(77)));
    panel_.setText(ids::kToolCancel, texts_.text(ftext(76)));
    fields_.reset();
}

void GoToWindow::go() {
    const std::string address = panel_.text(ids::kGoToAddress);
    if (address.empty()) {
        frontend_.messageBox(texts_.text(itext(187)), texts_.text(itext(9)), BoxIcon::Warning,
                             BoxButtons::Ok);
        return;
    }
    // Byte offsets, also for 16-bit chips.
    view_.showAddress(parseHexField(address));
}

}  // namespace nyra
