// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// The program keeps its working files (u_mod0.dll, u_mod1.dll, log.txt) in
// its own folder; without write access there no data can be loaded.
namespace nyra {

// True when the folder (ending in "/"), and those of the two image files that exist, can be
// written.
bool programFolderWritable(const std::string& folder);

// The start-up notice for a folder that cannot be written, in Chinese for a
// Chinese text set ("zh..." language), else in English.
std::string folderNotWritableText(const std::string& folder, const std::string& language);

}  // namespace nyra
