// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/firmware_jobs.h"

#include <algorithm>
#include <cstdio>

#include "device/firmware_image.h"
#include "device/protocol.h"
#include "ops/job_frame.h"
#include "ops/transfers.h"

namespace nyra {

namespace {

constexpr int kVersionTimeoutMs = 100;
constexpr std::uint8_t kNoVersion = 0xFF;

}  // namespace

UpgradeWindow::UpgradeWindow(Frontend& frontend, const TextTable& texts, const JobFlags& flags)
    : frontend_(frontend), texts_(texts), flags_(flags) {}

std::string UpgradeWindow::title() const {
    const std::string& text = texts_.text(ids::kUpgradeTitle);
    return text.empty() ? ids::kUpgradeTemplateTitle : text;
}

void UpgradeWindow::open() {
    for (const auto& control : ids::kUpgradeControls) {
        if (!control.caption)
            continue;
        const std::string& text = texts_.text(*control.caption);
        panel_.setText(control.id, text.empty() ? control.templateCaption : text);
    }
    panel_.setText(ids::kUpgradePath, "");
    panel_.setEnabled(ids::kUpgradeStart, false);
    progress(0, texts_.text(itext(199)));
}

void UpgradeWindow::chooseFile() {
    FileDialogRequest request;
    request.filter = kFirmwareFileFilter;
    request.defaultExtension = "*.nyr";
    request.overwritePrompt = true;
    if (const auto path = frontend_.openFile(request))
        choose(*path);
}

void UpgradeWindow::choose(const std::string& path) {
    panel_.setText(ids::kUpgradePath, path);
    panel_.setEnabled(ids::kUpgradeStart, true);
    progress(100, "");
    progress(0, texts_.text(itext(152)));
}

std::uint8_t showFirmwareVersion(Roles<LinkRole, ReportRole, ControlRole> context) {
    if (!programmerFree(context))
        return 0;
    Link& link = context.link();
    if (!link.connect(true))
        return 0;
    const auto noAnswer = [&context] {
        context.frontend.messageBox(context.text(itext(124)), context.text(itext(9)), BoxIcon::None,
                                    BoxButtons::Ok);
        return std::uint8_t{0};
    };

    std::string versionLine;
    std::uint8_t version = 0;
    if (context.channel.sendCommand(cmd::kFirmwareVersion, kVersionTimeoutMs) &&
        link.readReply(&version, 1, kVersionTimeoutMs) == 1) {
        if (version == kNoVersion)
            return noAnswer();
        versionLine = "\r\n" + context.text(itext(195)) + ":KVQ_Nyra firmware " +
                      firmwareVersionText(version) + "     ";
    }

    std::string serial;
    const ProgrammerSerial read = readProgrammerSerial(context.channel, link, kVersionTimeoutMs);
    if (read.answer == ProgrammerSerial::Answer::Short)
        return noAnswer();
    if (read.answer == ProgrammerSerial::Answer::Read)
        serial = serialNumberText(read.number);

    context.frontend.messageBox("\r\n" + context.text(itext(196)) + ":" + serial + versionLine,
                                context.text(itext(197)), BoxIcon::Information, BoxButtons::Ok);
    return 1;
}

}  // namespace nyra
