// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The menu commands whose check marks are the five switches; the rest of the
// command ids are in ui/ids.h.
namespace nyra::ids {

inline constexpr int kCmdSounds = 32809;
inline constexpr int kCmdAutoIdentify = 32811;
inline constexpr int kCmdBatchErase = 32821;
inline constexpr int kCmdBatchProgram = 32822;
inline constexpr int kCmdBatchVerify = 32823;

}  // namespace nyra::ids
