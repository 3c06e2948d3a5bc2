// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/status_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "ui/ids.h"
#include "ui/scripted_frontend.h"

namespace nyra {
namespace {

using ids::kStatusLine;

class StatusLineTest : public ::testing::Test {
protected:
    StatusLineTest() {
        dir.write("log.txt", "");
        log.setFilePath(dir.file("log.txt"));
    }

    TempDir dir;
    Panel panel;
    LogModel model;
    VirtualClock clock{{2026, 5, 6, 7, 8, 9, 0}};
    OperationLog log{model, clock};
    ScriptedFrontend frontend;
    StatusLine status{panel, log, frontend};
};

TEST_F(StatusLineTest, ShowsTheTextMarksAlertsAndBeepsOnlyWhenAsked) {
    struct Step {
        const char* text;
        StatusKind kind;
        bool beep;
    };
    const Step steps[] = {
        {"No programmer", StatusKind::Alert, true},
        {"Ready", StatusKind::Normal, false},
        {"Check the chip", StatusKind::Alert, false},
        {"Done", StatusKind::Normal, true},
    };
    std::size_t beeps = 0;
    for (const Step& step : steps) {
        status.show(step.text, step.kind, step.beep);
        EXPECT_EQ(panel.text(kStatusLine), step.text);
        EXPECT_EQ(panel.checked(kStatusLine), step.kind == StatusKind::Alert) << step.text;
        EXPECT_EQ(status.kind(), step.kind);
        EXPECT_EQ(model.lastLine(), std::string("7:08:09  ") + step.text);
        EXPECT_TRUE(dir.read("log.txt").ends_with(std::string("\t") + step.text));
        beeps += step.beep ? 1 : 0;
        EXPECT_EQ(frontend.beeps(), std::vector<BeepKind>(beeps, BeepKind::Exclamation))
            << step.text;
    }
    EXPECT_TRUE(frontend.sounds().empty());
    EXPECT_TRUE(frontend.boxes().empty());
}

TEST_F(StatusLineTest, AlertOnTheSameTextChangesOnlyTheMark) {
    status.show("Waiting", StatusKind::Normal, false);
    std::vector<PanelChange> changes;
    const auto token =
        panel.subscribe([&](const PanelChange& change) { changes.push_back(change); });
    status.show("Waiting", StatusKind::Alert, false);
    EXPECT_TRUE(panel.checked(kStatusLine));
    EXPECT_EQ(changes, (std::vector<PanelChange>{
                           {PanelChange::Target::Control, kStatusLine, PanelProperty::Checked}}));
    panel.unsubscribe(token);
}

TEST_F(StatusLineTest, RepeatedStatusKeepsOneViewLineWithTheNewerTime) {
    status.show("Erasing", StatusKind::Normal, false);
    clock.advance(3000);
    status.show("Erasing", StatusKind::Normal, false);
    EXPECT_EQ(model.snapshot().lines, std::vector<std::string>{"7:08:12  Erasing"});
    EXPECT_EQ(dir.read("log.txt"),
              "\r\n2026\\05\\06 07:08:09\tErasing\r\n2026\\05\\06 07:08:12\tErasing");
}

}  // namespace
}  // namespace nyra
