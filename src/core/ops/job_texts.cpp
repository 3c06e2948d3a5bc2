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

}  // namespace nyra
