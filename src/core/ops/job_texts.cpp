// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/job_texts.h"

#include "app/text_language.h"

namespace nyra {

namespace {

bool chinese(const TextTable& texts) {
    return textLanguage(texts).starts_with("zh");
}

}  // namespace

std::string verifyIncompleteText(const TextTable& texts, std::uint64_t compared) {
    const std::string count = std::to_string(compared);
    if (chinese(texts))
        return "校验未完成：只比较了 " + count + " 字节。";
    return "Verify not completed: only " + count + " byte(s) compared.";
}

std::string readStoppedText(const TextTable& texts, std::uint64_t received) {
    const std::string count = std::to_string(received);
    if (chinese(texts))
        return "读取已停止：只读取了 " + count + " 字节，未载入。";
    return "Read stopped after " + count + " byte(s): nothing loaded.";
}

std::string eraseStoppedText(const TextTable& texts) {
    if (chinese(texts))
        return "擦除已停止，芯片可能未擦除完！";
    return "Erase stopped: the chip may not be fully erased!";
}

std::string programNotConfirmedText(const TextTable& texts, std::uint64_t sent) {
    const std::string count = std::to_string(sent);
    if (chinese(texts))
        return "烧录失败：编程器没有确认写入完成（已发送 " + count + " 字节）！";
    return "Programming failed: the programmer did not confirm the write (" + count +
           " byte(s) sent)!";
}

std::string chipLeftText(const TextTable& texts) {
    if (chinese(texts))
        return "芯片在操作中离开了插座或被更换，结果无效！";
    return "The chip left the socket or was changed during the job: the result does not count!";
}

std::string otpFileEmptyText(const TextTable& texts) {
    if (chinese(texts))
        return "OTP文件为空，未执行任何操作！";
    return "The OTP file is empty: nothing was done!";
}

std::string imageLargerThanChipText(const TextTable& texts, const std::string& file,
                                    std::uint64_t bytes, std::uint64_t chipBytes) {
    const std::string n = std::to_string(bytes);
    const std::string chip = std::to_string(chipBytes);
    if (chinese(texts))
        return file + "：芯片将得到 " + n + " 字节，超出芯片容量 " + chip +
               " 字节，未擦除也未烧录！";
    return file + ": the chip would get " + n + " bytes, more than its " + chip +
           " bytes: nothing was erased or written!";
}

std::string firmwareFileRefusedText(const TextTable& texts, FirmwareFileProblem problem) {
    struct Reason {
        FirmwareFileProblem problem;
        const char* chinese;
        const char* english;
    };
    static constexpr Reason kReasons[] = {
        {FirmwareFileProblem::None, "固件文件无法读取或过大",
         "The firmware file cannot be read or is too large"},
        {FirmwareFileProblem::NoMagic, "不是固件文件（文件头不是NYRF）",
         "This is no firmware file (it does not start with NYRF)"},
        {FirmwareFileProblem::ChecksumMismatch, "固件文件校验和不符，文件已损坏",
         "The firmware file's checksum does not match: the file is damaged"},
        {FirmwareFileProblem::NoBody, "固件文件中没有固件", "The firmware file holds no firmware"},
        {FirmwareFileProblem::Uniform, "固件文件内容全部为同一字节，不是有效固件",
         "Every byte of the firmware is the same: this is no firmware"},
    };
    const bool zh = chinese(texts);
    for (const Reason& reason : kReasons) {
        if (reason.problem == problem)
            return zh ? std::string(reason.chinese) + "，编程器未做任何改动！"
                      : std::string(reason.english) + ": the programmer was not touched!";
    }
    return {};
}

std::string programmerRestartingText(const TextTable& texts) {
    return inTextLanguage(texts, "编程器正在以新固件重新启动，请稍候…",
                          "The programmer is restarting with its new firmware, please wait…");
}

}  // namespace nyra
