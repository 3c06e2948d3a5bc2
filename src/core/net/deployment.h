// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace nyra {

// Where the feedback mail and the update check go. The values are
// placeholders on reserved example domains until a real deployment sets its
// own; the mailbox and its password are kept as pieces and put together only
// when a mail is sent.
struct NetDeployment {
    std::string smtpServer = "smtp.example.com";
    std::uint16_t smtpPort = 25;
    std::string mailDomain = "example.com";
    // The mailbox name is the six characters at loginPieceAt.
    std::string loginIdentifier = "KVQ-nyrafb-0716";
    std::size_t loginPieceAt = 4;
    // The password: the seven characters at passwordPieceAt, then the word.
    std::string passwordIdentifier = "5018-Tq7rW2x-NYRA";
    std::size_t passwordPieceAt = 5;
    std::string passwordWord = "exemplar";
    std::string feedbackMailbox = "feedback@example.com";
    std::string mailer = "KVQMail";
    // Shown in the version window.
    std::string webAddress = "http://www.example.com";
    // The server of the version document.
    std::string updateServer = "http://www.example.com";
    // Bounds each wait on a server, so that a silent one cannot hold us.
    std::chrono::milliseconds timeout{30000};

    std::string mailLogin() const {
        return loginIdentifier.substr(loginPieceAt, 6) + "@" + mailDomain;
    }
    std::string mailPassword() const {
        return passwordIdentifier.substr(passwordPieceAt, 7) + passwordWord;
    }
};

// The version document on the update server.
inline constexpr const char* kVersionDocumentPath = "/updata/KVQ_Pro_CV_Info.pdf";

}  // namespace nyra
