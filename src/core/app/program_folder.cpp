// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/program_folder.h"

#include <unistd.h>

namespace nyra {

bool programFolderWritable(const std::string& folder) {
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return false;
    for (const char* name : {"u_mod0.dll", "u_mod1.dll"}) {
        const std::string path = folder + name;
        if (::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), W_OK) != 0)
            return false;
    }
    return true;
}

std::string folderNotWritableText(const std::string& folder, const std::string& language) {
    if (language.starts_with("zh"))
        return "程序文件夹 " + folder + " 不可写入，无法加载数据文件。";
    return "The program folder " + folder + " cannot be written: no data file can be loaded.";
}

}  // namespace nyra
