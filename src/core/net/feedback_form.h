// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "app/text_table.h"
#include "net/background_task.h"
#include "net/deployment.h"
#include "ui/frontend.h"
#include "ui/panel.h"

namespace nyra {

class SmtpClient;

namespace feedback_ids {
inline constexpr int kSubject = 1083;
inline constexpr int kContent = 1085;
inline constexpr int kContact = 1087;
inline constexpr int kSubjectLabel = 1156;
inline constexpr int kContentLabel = 1157;
inline constexpr int kContactLabel = 1158;
inline constexpr int kRequired = 1160;
inline constexpr int kSend = 1159;
inline constexpr int kCancel = 2;
inline constexpr const char* kTemplateTitle = "快速反馈";
}  // namespace feedback_ids

struct FeedbackFields {
    std::string subject;
    std::string content;
    std::string contact;
};

// Puts the feedback mail into the client: server, mailbox, sender, the one
// recipient, subject and body. Empty subject and contact are sent as the
// "none" text.
void composeFeedbackMail(SmtpClient& client, FeedbackFields fields, const NetDeployment& deployment,
                         const TextTable& texts);

// The feedback form without its widgets. Send checks the fields on the
// window thread and hands the mail to a thread of its own; the answer comes
// as a box, and the form stays open either way.
class FeedbackForm {
public:
    // The deployment is read when a mail is sent.
    FeedbackForm(Frontend& frontend, const TextTable& texts, const NetDeployment& deployment);

    Panel& panel() { return panel_; }
    std::string title() const;

    // Texts, empty fields.
    void open();
    // Send (1159): true when a mail went on its way.
    bool press(int id);
    // Whether a mail is still being sent (Send is greyed meanwhile).
    bool sending() const { return task_.busy(); }
    // Waits for the mail in flight, if any.
    void waitUntilSent() { task_.join(); }

private:
    void deliver(FeedbackFields fields);

    Frontend& frontend_;
    const TextTable& texts_;
    const NetDeployment& deployment_;
    Panel panel_;
    BackgroundTask task_;
};

}  // namespace nyra
