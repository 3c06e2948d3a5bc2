// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/scripted_frontend.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace nyra {
namespace {

using Kind = FrontendCall::Kind;

TEST(BoxAnswers, OfferedAnswersPerButtonSet) {
    EXPECT_TRUE(offers(BoxButtons::Ok, BoxAnswer::Ok));
    EXPECT_FALSE(offers(BoxButtons::Ok, BoxAnswer::Cancel));
    EXPECT_TRUE(offers(BoxButtons::OkCancel, BoxAnswer::Cancel));
    EXPECT_FALSE(offers(BoxButtons::OkCancel, BoxAnswer::Yes));
    EXPECT_FALSE(offers(BoxButtons::YesNo, BoxAnswer::Cancel));
    EXPECT_TRUE(offers(BoxButtons::YesNoCancel, BoxAnswer::Cancel));
    EXPECT_FALSE(offers(BoxButtons::YesNoCancel, BoxAnswer::Ok));
    for (auto buttons :
         {BoxButtons::Ok, BoxButtons::OkCancel, BoxButtons::YesNo, BoxButtons::YesNoCancel}) {
        EXPECT_TRUE(offers(buttons, positiveAnswer(buttons)));
        EXPECT_TRUE(offers(buttons, dismissAnswer(buttons)));
    }
}

TEST(ScriptedBoxes, DefaultsAreOkOrYes) {
    ScriptedFrontend frontend;
    EXPECT_EQ(frontend.messageBox("t", "c", BoxIcon::Warning, BoxButtons::Ok), BoxAnswer::Ok);
    EXPECT_EQ(frontend.messageBox("t", "c", BoxIcon::Question, BoxButtons::OkCancel),
              BoxAnswer::Ok);
    EXPECT_EQ(frontend.messageBox("t", "c", BoxIcon::Question, BoxButtons::YesNo), BoxAnswer::Yes);
    EXPECT_EQ(frontend.messageBox("t", "c", BoxIcon::Question, BoxButtons::YesNoCancel),
              BoxAnswer::Yes);
}

TEST(ScriptedBoxes, NegativeDefaultsForUnattendedRuns) {
    ScriptedFrontend frontend;
    frontend.setPositiveDefault(false);
    EXPECT_EQ(frontend.messageBox("t", "c", BoxIcon::Question, BoxButtons::OkCancel),
              BoxAnswer::Cancel);
    EXPECT_EQ(frontend.messageBox("t", "c", BoxIcon::Question, BoxButtons::YesNo), BoxAnswer::No);
    EXPECT_EQ(frontend.messageBox("t", "c", BoxIcon::Information, BoxButtons::Ok), BoxAnswer::Ok);
}

TEST(ScriptedBoxes, ScriptIsUsedInOrderAndRecorded) {
    ScriptedFrontend frontend;
    frontend.answerBox(BoxAnswer::Cancel);
    frontend.answerBox(BoxAnswer::No);
    EXPECT_EQ(frontend.messageBox("stop erase?", "KVQ", BoxIcon::Question, BoxButtons::OkCancel),
              BoxAnswer::Cancel);
    EXPECT_EQ(frontend.messageBox("replace?", "KVQ", BoxIcon::Question, BoxButtons::YesNo),
              BoxAnswer::No);
    EXPECT_EQ(frontend.messageBox("done", "KVQ", BoxIcon::Information, BoxButtons::Ok),
              BoxAnswer::Ok);
    EXPECT_EQ(frontend.unusedScript(), 0u);

    const auto boxes = frontend.boxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].text, "stop erase?");
    EXPECT_EQ(boxes[0].caption, "KVQ");
    EXPECT_EQ(boxes[0].icon, BoxIcon::Question);
    EXPECT_EQ(boxes[0].buttons, BoxButtons::OkCancel);
    EXPECT_EQ(boxes[0].answer, BoxAnswer::Cancel);
    EXPECT_EQ(boxes[2].icon, BoxIcon::Information);
}

TEST(ScriptedBoxes, AnswerTheBoxCannotGiveIsReplacedAndCounted) {
    ScriptedFrontend frontend;
    frontend.answerBox(BoxAnswer::Yes);
    EXPECT_EQ(frontend.messageBox("t", "c", BoxIcon::Question, BoxButtons::OkCancel),
              BoxAnswer::Ok);
    EXPECT_EQ(frontend.mismatches(), 1u);
    EXPECT_EQ(frontend.unusedScript(), 0u);
}

TEST(ScriptedDialogs, ChoicesAndCancels) {
    ScriptedFrontend frontend;
    FileDialogRequest open{.filter = "Bin|*.bin||", .defaultExtension = ".bin"};
    frontend.chooseFile("/data/a.bin");
    frontend.cancelDialog();
    frontend.chooseFiles({"/data/a.bin", "/data/b.bin"});
    frontend.chooseFiles({"/out/x.bin", "/out/y.bin"});
    frontend.chooseFile("/out");

    EXPECT_EQ(frontend.openFile(open), "/data/a.bin");
    EXPECT_EQ(frontend.saveFileDialog(open), std::nullopt);
    // A single-choice dialog gives one path even when the script has more.
    EXPECT_EQ(frontend.openFileDialog(open), (std::vector<std::string>{"/data/a.bin"}));
    FileDialogRequest many = open;
    many.multiSelect = true;
    frontend.chooseFiles({"/data/a.bin", "/data/b.bin"});
    EXPECT_EQ(frontend.saveFileDialog(open), "/out/x.bin");
    EXPECT_EQ(frontend.browseFolder("Choose a folder:"), "/out");
    EXPECT_EQ(frontend.openFileDialog(many),
              (std::vector<std::string>{"/data/a.bin", "/data/b.bin"}));
    // With the script used up, dialogs are cancelled.
    EXPECT_TRUE(frontend.openFileDialog(open).empty());

    const auto dialogs = frontend.dialogs();
    ASSERT_EQ(dialogs.size(), 7u);
    EXPECT_EQ(dialogs[0].kind, Kind::OpenFile);
    EXPECT_EQ(dialogs[0].dialog, open);
    EXPECT_EQ(dialogs[1].kind, Kind::SaveFile);
    EXPECT_TRUE(dialogs[1].chosen.empty());
    EXPECT_EQ(dialogs[4].kind, Kind::BrowseFolder);
    EXPECT_EQ(dialogs[4].text, "Choose a folder:");
}

TEST(ScriptedDesktop, SoundsBeepsAndOpensAreRecordedInOrder) {
    ScriptedFrontend frontend;
    frontend.playSound("sound/finishsound.wav");
    frontend.beep(BeepKind::Exclamation);
    frontend.shellOpenResult(false);
    EXPECT_FALSE(frontend.shellOpen("KVQ_Nyra.CHM"));
    frontend.playSound("sound/del.wav");

    EXPECT_EQ(frontend.sounds(),
              (std::vector<std::string>{"sound/finishsound.wav", "sound/del.wav"}));
    EXPECT_EQ(frontend.beeps(), (std::vector<BeepKind>{BeepKind::Exclamation}));
    EXPECT_EQ(frontend.opened(), (std::vector<std::string>{"KVQ_Nyra.CHM"}));
    const auto calls = frontend.calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[1].kind, Kind::Beep);
    EXPECT_EQ(calls[2].kind, Kind::ShellOpen);
    EXPECT_FALSE(calls[2].found);

    frontend.clearRecord();
    EXPECT_TRUE(frontend.calls().empty());
}

TEST(ScriptedDesktop, UnscriptedShellOpenFindsExistingFiles) {
    ScriptedFrontend frontend;
    const auto path = std::filesystem::temp_directory_path() /
                      ("nyra_ui_open_" + std::to_string(::getpid()) + ".txt");
    std::ofstream(path) << "log";
    EXPECT_TRUE(frontend.shellOpen(path.string()));
    std::filesystem::remove(path);
    EXPECT_FALSE(frontend.shellOpen(path.string()));
}

TEST(ScriptedDesktop, ShellOpenAnswersThroughItsCallbackAndTheLanguageIsKept) {
    ScriptedFrontend frontend;
    Frontend& desktop = frontend;
    std::vector<bool> answers;
    frontend.shellOpenResult(false);
    frontend.shellOpenResult(true);
    desktop.shellOpen("log.txt", [&](bool opened) { answers.push_back(opened); });
    desktop.shellOpen("KVQ_Nyra.CHM", [&](bool opened) { answers.push_back(opened); });
    desktop.shellOpen("nobody-asks.txt", {});  // recorded all the same
    EXPECT_EQ(answers, (std::vector<bool>{false, true}));
    EXPECT_EQ(frontend.opened(),
              (std::vector<std::string>{"log.txt", "KVQ_Nyra.CHM", "nobody-asks.txt"}));

    EXPECT_FALSE(frontend.language().has_value());
    desktop.useLanguage("zh_CN");
    desktop.useLanguage("en");
    EXPECT_EQ(frontend.language(), std::optional<std::string>("en"));
}

TEST(ScriptedDesktop, ObserverSeesEachCallWithItsAnswer) {
    ScriptedFrontend frontend;
    std::vector<std::string> seen;
    frontend.setObserver([&](const FrontendCall& call) {
        seen.push_back(call.text + (call.kind == Kind::MessageBox && call.answer == BoxAnswer::No
                                        ? ":no"
                                        : ""));
    });
    frontend.answerBox(BoxAnswer::No);
    frontend.messageBox("again?", "c", BoxIcon::Question, BoxButtons::YesNo);
    frontend.playSound("s.wav");
    EXPECT_EQ(seen, (std::vector<std::string>{"again?:no", "s.wav"}));
}

TEST(ScriptedDesktop, CallsFromSeveralThreads) {
    ScriptedFrontend frontend;
    constexpr int kEach = 500;
    for (int i = 0; i < kEach; ++i)
        frontend.answerBox(BoxAnswer::Cancel);
    std::thread worker([&] {
        for (int i = 0; i < kEach; ++i) {
            frontend.messageBox("w", "c", BoxIcon::Question, BoxButtons::OkCancel);
        }
    });
    std::thread window([&] {
        for (int i = 0; i < kEach; ++i)
            frontend.beep(BeepKind::Simple);
    });
    worker.join();
    window.join();
    const auto boxes = frontend.boxes();
    ASSERT_EQ(boxes.size(), static_cast<std::size_t>(kEach));
    EXPECT_TRUE(std::all_of(boxes.begin(), boxes.end(),
                            [](const auto& b) { return b.answer == BoxAnswer::Cancel; }));
    EXPECT_EQ(frontend.beeps().size(), static_cast<std::size_t>(kEach));
}

}  // namespace
}  // namespace nyra
