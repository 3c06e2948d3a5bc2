// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "app/text_table.h"
#include "otp/otp_port.h"
#include "ui/frontend.h"
#include "ui/panel.h"

namespace nyra {

namespace otp_ids {
inline constexpr int kDetect = 1152;
inline constexpr int kFile = 1098;
inline constexpr int kOpen = 1110;
inline constexpr int kProgram = 1111;
inline constexpr int kLock = 1112;
inline constexpr int kLog = 1099;
inline constexpr int kRead = 1113;
inline constexpr int kSave = 1114;
inline constexpr int kVerify = 1115;
inline constexpr int kBlank = 1116;
inline constexpr const char* kTemplateTitle = "OTP烧录";
}  // namespace otp_ids

// The OTP window without its widgets. Its buttons post the main window's
// OTP messages; the OTP jobs write its log and enable states while it is
// open, from the worker thread.
class OtpWindow : public OtpPort {
public:
    // post: the main window's message (1036..1041).
    OtpWindow(std::function<void(int message)> post, Frontend& frontend, const TextTable& texts);

    Panel& panel() { return panel_; }
    std::string title() const;

    // Texts and start state; the window is open until close().
    void open();
    void close();
    bool isOpen() const { return open_.load(); }

    // A control was pressed (the button ids above).
    void press(int id);

    // OtpPort
    void setLog(const std::string& text) override;
    void appendLog(const std::string& text) override;
    void setLockBox(bool enabled, std::optional<bool> tick) override;
    void enableProgram(bool on) override;
    void enableReadVerifyBlank(bool on) override;
    void enableSave(bool on) override;
    std::string filePath() const override;
    bool lockTicked() const override;

private:
    void chooseFile();

    std::function<void(int)> post_;
    Frontend& frontend_;
    const TextTable& texts_;
    Panel panel_;
    mutable std::mutex mutex_;
    std::string path_;
    std::atomic<bool> open_{false};
};

}  // namespace nyra
