// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/mount.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

// A tmpfs of a few KiB mounted for one test, to see what a full disk does;
// available() is false where mounting is not allowed (the test then skips).
class SmallDisk {
public:
    explicit SmallDisk(std::size_t kib = 64) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "nyra_disk_XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            return;
        path_ = pattern;
        const std::string options = "size=" + std::to_string(kib) + "k";
        mounted_ = ::mount("tmpfs", path_.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted_)
            ::umount2(path_.c_str(), MNT_DETACH);
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool available() const { return mounted_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Fills what is left of the disk.
    void fill() const {
        std::ofstream out(file("filler"), std::ios::binary);
        const std::string block(4096, 'x');
        while (out.write(block.data(), static_cast<std::streamsize>(block.size())))
            ;
    }

private:
    std::string path_;
    bool mounted_ = false;
};
