// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/clock.h"
#include "buffer/file_loader.h"
#include "support/temp_dir.h"
#include "ui/ids.h"
#include "ui/main_panel.h"
#include "ui/scripted_frontend.h"

// The loader against a Panel, a scripted person and a window that records
// what it is told.
namespace nyra::testing {

constexpr const char* kItext =
    "[itext]\r\n0=no file\r\n2=Catalogue\r\n9=Notice\r\n24=reserved name\r\n25=load failed\r\n"
    "26=chip read\r\n27=chip data\r\n29=Error\r\n119=busy\r\n146=image failed\r\n"
    "116=saved\r\n117=saved chip data\r\n189=file loaded\r\n";

using namespace ids;

class RecordingWindow final : public LoadWindow {
public:
    void showStatus(const std::string& text, bool alert) override {
        statuses.emplace_back(text, alert);
    }
    void logDataFile(const std::string& path, std::uint64_t bytes) override {
        logged.push_back(path + " " + sizeText(bytes));
    }
    void setLoadedFile(const std::string& path, std::uint64_t bytes) override {
        loadedFile = std::make_pair(path, bytes);
    }
    void clearLoadedFile() override { loadedFile.reset(); }
    std::uint32_t chipSize() const override { return chip; }
    std::string deviceName() const override { return "W25Q80"; }
    bool programStreaming() const override { return false; }

    std::vector<std::pair<std::string, bool>> statuses;
    std::vector<std::string> logged;
    std::optional<std::pair<std::string, std::uint64_t>> loadedFile;
    std::uint32_t chip = 8;
};

// The loader over a program folder of its own, with the texts given.
class LoaderDesk : public ::testing::Test {
protected:
    void setUpWith(const char* ftext, const char* itext) {
        if (ftext)
            dir.write("ftext.ini", ftext);
        dir.write("itext.ini", itext);
        texts.loadFrom(dir.folder());
        buildMainPanel(panel, [this](TextKey key) { return texts.text(key); });
        loader.setFiles({dir.file("u_mod0.dll"), dir.file("u_mod1.dll"), dir.file("log.txt")});
    }

    TempDir dir;
    TextTable texts;
    Panel panel;
    ScriptedFrontend frontend;
    RecordingWindow window;
    DataBuffer data;
    FileLoader loader{data, panel, frontend, texts, window};
};

class FileLoaderTest : public LoaderDesk {
protected:
    void SetUp() override {
        setUpWith(nullptr, kItext);
        loader.hooks().refreshView = [this] { ++refreshes; };
        loader.hooks().clearFocus = [this](bool) { ++focusClears; };
    }
    std::vector<std::string> boxTexts() const {
        std::vector<std::string> out;
        for (const auto& box : frontend.boxes())
            out.push_back(box.text);
        return out;
    }

    int refreshes = 0;
    int focusClears = 0;
};

}  // namespace nyra::testing
