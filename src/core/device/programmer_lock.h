// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace nyra {

// Keeps other processes of this host from driving the same programmer: a
// lock file per programmer (its serial number), held while this one lives.
// Locks of one process on the same name exclude each other as well.
class ProgrammerLock {
public:
    ProgrammerLock() = default;
    ~ProgrammerLock();
    ProgrammerLock(ProgrammerLock&& other) noexcept;
    ProgrammerLock& operator=(ProgrammerLock&& other) noexcept;
    ProgrammerLock(const ProgrammerLock&) = delete;
    ProgrammerLock& operator=(const ProgrammerLock&) = delete;

    // False when another holder has it (error names it: "process 1234") or
    // the lock file cannot be made (error says why).
    bool acquire(const std::string& name, std::string& error);
    bool held() const { return fd_ >= 0; }
    void release();

    // NYRA_LOCK_DIR, else /run/lock when it can be written, else /tmp.
    static std::string folder();

private:
    int fd_ = -1;
};

}  // namespace nyra
