// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/feedback_form.h"

#include "net/smtp_client.h"

namespace nyra {

using namespace feedback_ids;

namespace {

struct Caption {
    int id;
    const char* templateText;
    TextKey key;
};

constexpr Caption kCaptions[] = {
    {kSubjectLabel, "主题:", ftext(79)},
    {kContentLabel, "内容:", ftext(80)},
    {kContactLabel, "联系方式:", ftext(81)},
    {kRequired, "(*为必填项)", ftext(82)},
    {kSend, "发送", ftext(75)},
    {kCancel, "取消", ftext(76)},
};

}  // namespace

void composeFeedbackMail(SmtpClient& client, FeedbackFields fields, const NetDeployment& deployment,
                         const TextTable& texts) {
    if (fields.contact.empty())
        fields.contact = texts.text(itext(185));
    if (fields.subject.empty())
        fields.subject = texts.text(itext(185));
    const std::string mailbox = deployment.mailLogin();
    client.setServer(deployment.smtpServer, deployment.smtpPort);
    client.setLogin(mailbox);
    client.setPassword(deployment.mailPassword());
    client.setSenderAddress(mailbox);
    client.setReplyTo(mailbox);
    client.setSenderName("KVQ_Nyra 问题反馈");
    client.setSubject("KVQ_Nyra 反馈主题:" + fields.subject);
    client.addRecipient(deployment.feedbackMailbox);
    client.setPriority(3);
    client.setMailer(deployment.mailer);
    client.setBody("KVQ_Nyra:\r\n" + fields.content +
                   "\r\n------------------联系方式-------------------\r\n" + fields.contact);
}

FeedbackForm::FeedbackForm(Frontend& frontend, const TextTable& texts,
                           const NetDeployment& deployment)
    : frontend_(frontend), texts_(texts), deployment_(deployment) {}

std::string FeedbackForm::title() const {
    const std::string& text = texts_.text(ftext(78));
    return text.empty() ? kTemplateTitle : text;
}

void FeedbackForm::open() {
    for (const Caption& caption : kCaptions) {
        const std::string& text = texts_.text(caption.key);
        panel_.setText(caption.id, text.empty() ? caption.templateText : text);
    }
    for (int field : {kSubject, kContent, kContact})
        panel_.setText(field, "");
    panel_.setEnabled(kSend, !sending());
}

bool FeedbackForm::press(int id) {
    if (id != kSend || sending())
        return false;
    FeedbackFields fields{panel_.text(kSubject), panel_.text(kContent), panel_.text(kContact)};
    if (fields.content.empty()) {
        frontend_.messageBox(texts_.text(itext(184)), texts_.text(itext(9)), BoxIcon::Information,
                             BoxButtons::Ok);
        return false;
    }
    panel_.setEnabled(kSend, false);
    return task_.start([this, fields = std::move(fields)]() mutable {
        deliver(std::move(fields));
        panel_.setEnabled(kSend, true);
    });
}

void FeedbackForm::deliver(FeedbackFields fields) {
    SmtpClient client;
    if (client.errorCode() != 0) {
        frontend_.messageBox(texts_.text(itext(186)), texts_.text(itext(29)), BoxIcon::Information,
                             BoxButtons::Ok);
        return;
    }
    composeFeedbackMail(client, std::move(fields), deployment_, texts_);
    client.setTimeout(deployment_.timeout);
    if (client.send()) {
        frontend_.messageBox(texts_.text(itext(200)), texts_.text(itext(9)), BoxIcon::Information,
                             BoxButtons::Ok);
        return;
    }
    frontend_.messageBox(texts_.text(itext(29)) + ":" + SmtpClient::messageFor(client.errorCode()),
                         texts_.text(itext(29)), BoxIcon::Warning, BoxButtons::Ok);
}

}  // namespace nyra
