// SPDX-License-Identifier: GPL-3.0-or-later
// Loading a 256 MiB file into the working file against cp of the same file,
// both with a warm page cache; then Save of one changed byte against a full
// copy. The load ratio says how much the checksum and the chunked copy cost
// over the system's own copy; Save compares only the changed chunk, so it
// should cost far less than a copy.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "app/clock.h"
#include "app/text_table.h"
#include "buffer/data_buffer.h"
#include "buffer/file_loader.h"
#include "buffer/file_saver.h"
#include "buffer/load_window.h"
#include "random_file.h"
#include "timing.h"
#include "ui/main_panel.h"
#include "ui/panel.h"
#include "ui/scripted_frontend.h"

namespace {

constexpr std::size_t kFileBytes = 256u << 20;
constexpr int kRounds = 3;

class QuietWindow final : public nyra::LoadWindow {
public:
    void showStatus(const std::string&, bool) override {}
    void logDataFile(const std::string&, std::uint64_t) override {}
    void setLoadedFile(const std::string&, std::uint64_t) override {}
    void clearLoadedFile() override {}
    std::uint32_t chipSize() const override { return static_cast<std::uint32_t>(kFileBytes); }
    std::string deviceName() const override { return "W25Q80"; }
    bool programStreaming() const override { return false; }
};

using nyra::bench::seconds;

bool copyWithCp(const std::string& from, const std::string& to) {
    const std::string command = "cp '" + from + "' '" + to + "'";
    return std::system(command.c_str()) == 0;
}

}  // namespace

int main() {
    char folderTemplate[] = "/tmp/nyra-load-bench-XXXXXX";
    if (::mkdtemp(folderTemplate) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string folder = folderTemplate;
    const std::string source = folder + "/data.bin";
    const std::string copy = folder + "/copy.bin";
    int rc = 0;
    {
        nyra::TextTable texts;
        nyra::Panel panel;
        nyra::buildMainPanel(panel, [&texts](nyra::TextKey key) { return texts.text(key); });
        nyra::ScriptedFrontend frontend;
        QuietWindow window;
        nyra::DataBuffer data;
        nyra::FileLoader loader{data, panel, frontend, texts, window};
        loader.setFiles({folder + "/u_mod0.dll", folder + "/u_mod1.dll", folder + "/log.txt"});
        nyra::VirtualClock clock;
        nyra::FileSaver saver{loader, data, panel, frontend, texts, window, clock};

        bool ok = nyra::bench::writeRandomFile(source, kFileBytes, 7) &&
                  copyWithCp(source, copy);  // warms the cache
        double loadBest = 1e9;
        double cpBest = 1e9;
        for (int round = 0; ok && round < kRounds; ++round) {
            loadBest =
                std::min(loadBest, seconds([&] { ok = loader.loadFile(source, true) && ok; }));
            cpBest = std::min(cpBest, seconds([&] { ok = copyWithCp(source, copy) && ok; }));
        }
        double saveTime = 0;
        double copyTime = 0;
        if (ok) {
            ok = data.writeByte(kFileBytes / 2, 0x5A) && data.working().flush();
            saveTime = seconds([&] { ok = saver.saveFile() && ok; });
            copyTime = seconds([&] { ok = copyWithCp(source, copy) && ok; });
        }
        if (!ok) {
            std::fprintf(stderr, "a load, save or copy failed in %s\n", folder.c_str());
            rc = 1;
        } else {
            std::printf("load of 256 MiB: %.3f s (best of %d)\n", loadBest, kRounds);
            std::printf("cp of 256 MiB:   %.3f s (best of %d)\n", cpBest, kRounds);
            std::printf("ratio load/cp: %.2f\n", loadBest / cpBest);
            std::printf("save of one changed byte: %.3f s\n", saveTime);
            std::printf("full copy (cp):           %.3f s\n", copyTime);
            std::printf("ratio save/copy: %.2f\n", saveTime / copyTime);
        }
    }
    std::filesystem::remove_all(folder);
    return rc;
}
