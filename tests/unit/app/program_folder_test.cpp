// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/program_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/temp_dir.h"

namespace nyra {
namespace {

TEST(ProgramFolder, WritableOnlyWhenTheFolderAndItsImageFilesCanBeWritten) {
    TempDir dir;
    EXPECT_TRUE(programFolderWritable(dir.folder()));
    dir.write("u_mod1.dll", "old data");
    EXPECT_TRUE(programFolderWritable(dir.folder()));
    EXPECT_FALSE(programFolderWritable(dir.folder() + "missing/"));
    EXPECT_FALSE(programFolderWritable(dir.file("u_mod1.dll") + "/")) << "a file, not a folder";

    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the superuser";
    ASSERT_EQ(::chmod(dir.file("u_mod1.dll").c_str(), 0444), 0);
    EXPECT_FALSE(programFolderWritable(dir.folder()));
    ASSERT_EQ(::chmod(dir.file("u_mod1.dll").c_str(), 0644), 0);
    ASSERT_EQ(::chmod(dir.folder().c_str(), 0555), 0);
    EXPECT_FALSE(programFolderWritable(dir.folder()));
    ASSERT_EQ(::chmod(dir.folder().c_str(), 0755), 0);
}

TEST(ProgramFolder, TheNoticeNamesTheFolderInTheLanguageOfTheTexts) {
    EXPECT_EQ(folderNotWritableText("/opt/nyra/", "zh_CN"),
              "程序文件夹 /opt/nyra/ 不可写入，无法加载数据文件。");
    EXPECT_EQ(folderNotWritableText("/opt/nyra/", "en"),
              "The program folder /opt/nyra/ cannot be written: no data file can be loaded.");
    EXPECT_EQ(folderNotWritableText("/x/", ""), folderNotWritableText("/x/", "de"));
}

}  // namespace
}  // namespace nyra
