// SPDX-License-Identifier: GPL-3.0-or-later
#include "otp/otp_window.h"

#include "ui/ids.h"

namespace nyra {

using namespace otp_ids;

namespace {

constexpr const char* kOtpOpenFilter = "*.bin;*.rom(*.bin;*.rom)|*.bin;*.rom|all files(*.*)|*.*||";

}  // namespace

OtpWindow::OtpWindow(std::function<void(int)> post, Frontend& frontend, const TextTable& texts)
    : post_(std::move(post)), frontend_(frontend), texts_(texts) {}

std::string OtpWindow::title() const {
    return texts_.text(ftext(24));
}

void OtpWindow::open() {
    const std::pair<int, int> texts[] = {{kDetect, 86}, {kOpen, 98}, {kProgram, 34}, {kLock, 68},
                                         {kRead, 88},   {kSave, 89}, {kVerify, 35},  {kBlank, 87}};
    for (const auto& [id, key] : texts)
        panel_.setText(id, texts_.text(ftext(key)));
    {
        std::lock_guard lock(mutex_);
        path_.clear();
    }
    panel_.setText(kFile, "");
    panel_.setText(kLog, "");
    panel_.setChecked(kLock, false);
    for (int id : {kProgram, kLock, kRead, kSave, kVerify, kBlank})
        panel_.setEnabled(id, false);
    for (int id : {kDetect, kOpen, kFile})
        panel_.setEnabled(id, true);
    open_.store(true);
}

void OtpWindow::close() {
    open_.store(false);
}

void OtpWindow::press(int id) {
    if (id == kOpen) {
        chooseFile();
        return;
    }
    if ((id == kProgram || id == kVerify) && filePath().empty()) {
        frontend_.messageBox(texts_.text(itext(id == kProgram ? 179 : 180)), texts_.text(itext(9)),
                             BoxIcon::Information, BoxButtons::Ok);
        return;
    }
    const std::pair<int, int> messages[] = {{kDetect, 0}, {kProgram, 1}, {kRead, 2},
                                            {kSave, 3},   {kVerify, 4},  {kBlank, 5}};
    for (const auto& [button, offset] : messages) {
        if (id == button && post_)
            post_(ids::kMsgOtpFirst + offset);
    }
}

void OtpWindow::chooseFile() {
    FileDialogRequest request;
    request.filter = kOtpOpenFilter;
    request.defaultExtension = ".bin";
    const auto path = frontend_.openFile(request);
    if (!path)
        return;
    {
        std::lock_guard lock(mutex_);
        path_ = *path;
    }
    panel_.setText(kFile, *path);
}

void OtpWindow::setLog(const std::string& text) {
    std::lock_guard lock(mutex_);
    panel_.setText(kLog, text);
}

void OtpWindow::appendLog(const std::string& text) {
    std::lock_guard lock(mutex_);
    panel_.setText(kLog, panel_.text(kLog) + text);
}

void OtpWindow::setLockBox(bool enabled, std::optional<bool> tick) {
    if (tick)
        panel_.setChecked(kLock, *tick);
    panel_.setEnabled(kLock, enabled);
}

void OtpWindow::enableProgram(bool on) {
    panel_.setEnabled(kProgram, on);
}

void OtpWindow::enableReadVerifyBlank(bool on) {
    for (int id : {kRead, kVerify, kBlank})
        panel_.setEnabled(id, on);
}

void OtpWindow::enableSave(bool on) {
    panel_.setEnabled(kSave, on);
}

std::string OtpWindow::filePath() const {
    std::lock_guard lock(mutex_);
    return path_;
}

bool OtpWindow::lockTicked() const {
    return panel_.enabled(kLock) && panel_.checked(kLock);
}

}  // namespace nyra
