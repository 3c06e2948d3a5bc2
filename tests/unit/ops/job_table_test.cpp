// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "ops/job_frame.h"

namespace nyra {
namespace {

TEST(ButtonJobTable, EachButtonStartsWithItsIdleCaptionAndOwnsItsFlags) {
    std::set<int> buttons;
    std::set<std::uint8_t> jobs;
    for (const ButtonJob& entry : buttonJobs()) {
        const auto control = std::find_if(ids::kMainControls.begin(), ids::kMainControls.end(),
                                          [&](const auto& c) { return c.id == entry.button; });
        ASSERT_NE(control, ids::kMainControls.end());
        ASSERT_TRUE(control->caption.has_value());
        EXPECT_EQ(*control->caption, entry.idleCaption) << entry.button;
        EXPECT_EQ(buttonJobOf(entry.button), &entry);
        EXPECT_EQ(buttonJobFor(entry.job), &entry);
        buttons.insert(entry.button);
        jobs.insert(entry.job);
    }
    EXPECT_EQ(buttons, (std::set<int>{ids::kBtnErase, ids::kBtnProgram, ids::kBtnVerify,
                                      ids::kBtnRead, ids::kBtnBlankCheck}));
    EXPECT_EQ(jobs.size(), 5u);
    EXPECT_EQ(buttonJobOf(ids::kBtnDetect), nullptr) << "detect has no stop form";
    EXPECT_EQ(buttonJobFor(job::kAuto), nullptr);
    EXPECT_EQ(buttonJobFor(job::kBlankCheck)->running, nullptr) << "no running flag";
}

}  // namespace
}  // namespace nyra
