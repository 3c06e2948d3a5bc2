// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/text_table.h"
#include "device/link.h"

namespace nyra::cli {

// Reports of the link on the terminal, worded from the text table.
class ConsoleHost : public LinkHost {
public:
    explicit ConsoleHost(const TextTable& texts) : texts_(texts) {}
    void statusAlert(TextKey text) override;
    void warningBox(TextKey text) override;
    void greyMenuCommand(int) override {}
    bool programmerBlocked() const override { return false; }
    bool deviceChangePending() const override { return false; }

    std::string describe(TextKey text) const;

private:
    const TextTable& texts_;
};

}  // namespace nyra::cli
