// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/update_check_job.h"

#include "device/protocol.h"
#include "net/http_fetch.h"
#include "net/version_table.h"

namespace nyra {

namespace {

constexpr int kVersionTimeoutMs = 100;
constexpr std::uint8_t kNoVersion = 0xFF;

}  // namespace

std::optional<std::uint8_t> queryFirmwareVersion(Roles<LinkRole, ControlRole> context) {
    if (context.flags.programmerBlocked.load())
        return std::nullopt;
    Link& link = context.link();
    if (!link.connect(false))
        return std::nullopt;
    std::uint8_t version = kNoVersion;
    if (!context.channel.sendCommand(cmd::kFirmwareVersion, kVersionTimeoutMs) ||
        link.readReply(&version, 1, kVersionTimeoutMs) != 1 || version == kNoVersion)
        return std::nullopt;
    return version;
}

std::uint8_t checkForUpdate(Roles<LinkRole, ReportRole, ControlRole> context,
                            const NetDeployment& deployment) {
    HttpFetchOptions options;
    options.acceptedClasses = kAccept2xx;
    options.maxBody = 2;
    options.timeout = deployment.timeout;
    const HttpFetchResult fetched =
        httpFetch(deployment.updateServer + kVersionDocumentPath, options);
    // A document shorter than its two bytes says nothing: the check failed.
    if (!fetched.ok || fetched.body.size() < 2) {
        if (!fetched.ok)
            context.frontend.messageBox(fetched.message, ids::kApplicationCaption, BoxIcon::None,
                                        BoxButtons::Ok);
        context.frontend.messageBox(context.text(itext(129)), context.text(itext(29)),
                                    BoxIcon::Warning, BoxButtons::Ok);
        return 0;
    }
    const std::array<std::uint8_t, 2> document{static_cast<std::uint8_t>(fetched.body[0]),
                                               static_cast<std::uint8_t>(fetched.body[1])};
    ListWindow window = versionWindow(context.texts, deployment.webAddress, document,
                                      queryFirmwareVersion(context));
    window.title = ids::kApplicationCaption;
    context.frontend.showList(window);
    return 1;
}

}  // namespace nyra
