// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/progress.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/ids.h"

namespace nyra {
namespace {

using ids::kProgressBar;

class ProgressTest : public ::testing::Test {
protected:
    ProgressTest() {
        panel.setVisible(kProgressBar, false);
        token = panel.subscribe([this](const PanelChange& change) {
            if (change.id != kProgressBar || change.property != PanelProperty::Text)
                return;
            // What the window sees: the position is already there when the label moves.
            labels.push_back(panel.text(kProgressBar));
            positions.push_back(progress.position());
        });
    }
    ~ProgressTest() override { panel.unsubscribe(token); }

    Panel panel;
    Progress progress{panel};
    Panel::Token token{};
    std::vector<std::string> labels;
    std::vector<int> positions;
};

TEST_F(ProgressTest, BeginShowsTheBarAtZeroAndEndHidesIt) {
    progress.begin("Erasing ");
    EXPECT_TRUE(panel.visible(kProgressBar));
    EXPECT_EQ(panel.text(kProgressBar), "Erasing 0%");
    EXPECT_EQ(progress.position(), 0);

    progress.update(1, 2);
    EXPECT_EQ(panel.text(kProgressBar), "Erasing 50%");
    EXPECT_EQ(progress.position(), 50);

    progress.end();
    EXPECT_FALSE(panel.visible(kProgressBar));
    EXPECT_EQ(progress.position(), 0);
    EXPECT_EQ(panel.text(kProgressBar), "");

    // A new run counts from zero again.
    progress.begin("Reading ");
    progress.update(1, 100);
    EXPECT_EQ(panel.text(kProgressBar), "Reading 1%");
    EXPECT_EQ(progress.position(), 1);
}

TEST_F(ProgressTest, LabelMovesOnlyWhenTheWholePercentGrows) {
    progress.begin("W ");
    labels.clear();
    positions.clear();

    progress.update(99, 10000);  // 0.99 %: still 0
    progress.update(0, 0);       // no total: nothing to show
    progress.update(7, 0);
    progress.update(199, 10000);  // 1 %
    progress.update(150, 10000);  // going back changes nothing
    progress.update(5000, 10000);
    progress.update(4999, 10000);
    progress.update(20000, 10000);  // past the end: 100 at most
    progress.update(30000, 10000);
    EXPECT_EQ(labels, (std::vector<std::string>{"W 1%", "W 50%", "W 100%"}));
    EXPECT_EQ(positions, (std::vector<int>{1, 50, 100}));
    EXPECT_EQ(progress.position(), 100);

    // A second begin starts the count again, even without an end between.
    progress.begin("V ");
    progress.update(1, 10);
    EXPECT_EQ(panel.text(kProgressBar), "V 10%");
}

TEST_F(ProgressTest, TenThousandUpdatesCostAtMostOneHundredAndOneLabels) {
    constexpr std::uint64_t kTotal = 10000;
    progress.begin("Programming ");
    for (std::uint64_t done = 1; done <= kTotal; ++done)
        progress.update(done, kTotal);
    EXPECT_LE(labels.size(), 101u);
    ASSERT_FALSE(labels.empty());
    EXPECT_EQ(labels.front(), "Programming 0%");
    EXPECT_EQ(labels.back(), "Programming 100%");
    for (std::size_t i = 0; i < labels.size(); ++i) {
        EXPECT_EQ(labels[i], "Programming " + std::to_string(positions[i]) + "%");
        if (i > 0) {
            EXPECT_GT(positions[i], positions[i - 1]);
        }
    }

    // Large totals (a 32 MiB chip in bytes) move by whole percents too.
    labels.clear();
    constexpr std::uint64_t kBytes = 32u << 20;
    progress.begin("Reading ");
    for (std::uint64_t done = 0; done <= kBytes; done += 4096)
        progress.update(done, kBytes);
    EXPECT_EQ(labels.size(), 101u);
    EXPECT_EQ(labels.back(), "Reading 100%");
}

}  // namespace
}  // namespace nyra
