// Every chip job against every programmer fault: the job fails with its own
// text, keeps the user's data, and never claims success. The table is listed
// in docs/fault-matrix.md.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "unit/ops/chip_job_fixture.h"

namespace nyra {
namespace {

using namespace ids;
using ops_test::ChipJobTest;
using ops_test::randomBytes;

struct FaultCase {
    const char* name;
    const char* fault;  // simulator fault name
    const char* value;
    std::uint8_t (*job)(JobContext&);
    std::uint8_t result;
    const char* status;  // "" when the job shows no status text of its own
};

std::uint8_t program(JobContext& c) {
    return programChip(c, true);
}
std::uint8_t read(JobContext& c) {
    return readChip(c);
}
std::uint8_t verify(JobContext& c) {
    return verifyChip(c, true);
}
std::uint8_t erase(JobContext& c) {
    return eraseChip(c, true);
}
std::uint8_t blank(JobContext& c) {
    return blankCheckChip(c);
}

const FaultCase kCases[] = {
    {"ProgramUnplugged", "unplug_after", "20000", program, 0, "USB error!"},
    {"ReadUnplugged", "unplug_after", "20000", read, 0, ""},
    {"VerifyUnplugged", "unplug_after", "20000", verify, 0, "USB error!"},
    {"EraseUnpluggedInTheWait", "unplug_after", "0", erase, 0, "USB error!"},
    {"BlankCheckUnplugged", "unplug_after", "0", blank, 0, "Blank check failed!"},
    {"ReadRefused", "refuse", "13:always", read, 0, ""},
    {"VerifyRefused", "refuse", "8:always", verify, 0, "USB error!"},
    {"EraseRefused", "refuse", "5:always", erase, 0, "USB error!"},
    {"ReadFailedReads", "failed_reads", "1@2", read, 0, ""},
    {"VerifyFailedReads", "failed_reads", "1@2", verify, 0, "USB error!"},
    {"EraseStalled", "stall", "always", erase, 0, "USB error!"},
    {"BlankCheckStalled", "stall", "always", blank, 0, "Blank check failed!"},
    // Short reads deliver everything in more pieces: the jobs still succeed.
    {"ReadShortReads", "short_reads", "3@1", read, 1, "Read ended!0:0"},
    {"VerifyShortReads", "short_reads", "3@1", verify, 1, "Verify OK!0:0"},
};

class FaultMatrixTest : public ChipJobTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultMatrixTest, TheJobFailsWithItsTextAndLosesNothing) {
    const FaultCase& c = GetParam();
    // Without identification every read the fault counts is the job's own.
    state.command(kCmdAutoIdentify);
    ASSERT_FALSE(state.autoIdentifyOn());
    const auto bytes = randomBytes(30000, 7);
    loadData(bytes);
    // The chip holds the file, so a verify without the fault would pass.
    ASSERT_EQ(programChip(context(), true), 1);
    const std::string working = dir.read("u_mod1.dll");
    state.panel().setText(kStatusLine, "");

    std::string error;
    ASSERT_TRUE(simulator.setFault(0, c.fault, c.value, &error)) << error;
    EXPECT_EQ(c.job(context()), c.result);
    if (*c.status)
        EXPECT_EQ(status().rfind(c.status, 0), 0u) << status();
    else
        EXPECT_EQ(status(), "");
    // The data file is what it was; after a good read it is the chip's image.
    EXPECT_TRUE(dir.read("u_mod1.dll") ==
                (c.job == read && c.result == 1 ? dir.read("u_mod0.dll") : working));
    if (c.result == 0) {
        EXPECT_EQ(state.fileLoader().loadedPath(), dir.file("data.bin"))
            << "the read image is not loaded";
        for (const char* success : {"Done", "Verify OK", "Read ended", "Erase ended", "Blank,"})
            EXPECT_EQ(status().find(success), std::string::npos) << status();
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrixTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace nyra
