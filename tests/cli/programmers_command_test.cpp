// SPDX-License-Identifier: GPL-3.0-or-later
// kvq-cli with several programmers: listed, named, and never driven by two
// processes at once.
#include <unistd.h>

#include <gtest/gtest.h>

#include "cli_process.h"
#include "detect_command.h"
#include "device/programmer_lock.h"
#include "gang_command.h"
#include "job_command.h"

namespace nyra::cli {
namespace {

class ProgrammersCommand : public CliProcess {
protected:
    std::string threeProgrammers() const {
        // The third holds another chip: what is found tells which one answered.
        return config("W25X40", "programmers=3\nserial3=777\nchip3=W25Q32FV\n", "three.conf");
    }
};

TEST_F(ProgrammersCommand, ListsNamesAndRefusesAsPromised) {
    const std::string three = threeProgrammers();
    const std::string me = std::to_string(::getpid());
    // The first programmer is driven by another process (this test) throughout.
    ProgrammerLock held;
    std::string error;
    ASSERT_TRUE(held.acquire("100001", error)) << error;
    randomFile(dir, "fw.bin", 100);

    struct Row {
        std::vector<std::string> args;
        std::string conf;
        int status;
        std::string out;  // found on stdout
        std::string err;  // found on stderr
    };
    const std::vector<Row> rows = {
        {{"programmers"},
         three,
         0,
         "1: bus 001/002, serial 100001, firmware V3.1\n2: bus 001/003, serial 100002, firmware "
         "V3.1\n3: bus 001/004, serial 000777, firmware V3.1\n",
         ""},
        {{"programmers", "--json"},
         three,
         0,
         "{\"position\":3,\"bus\":\"001/004\",\"serial\":\"000777\",\"firmware\":\"V3.1\","
         "\"boot_loader\":false,\"answered\":true}]\n",
         ""},
        {{"programmers"},
         config("W25X40", "programmers=0\n"),
         kExitNoProgrammer,
         "no programmer is connected",
         ""},
        {{"detect", "--programmer", "777"}, three, 0, "32Mbits", ""},
        {{"detect", "--programmer", "3"}, three, 0, "32Mbits", ""},
        {{"detect", "--programmer", "2"}, three, 0, "4Mbits", ""},
        {{"detect", "--programmer", "5"},
         three,
         kExitNoProgrammer,
         "",
         "programmer 5 (in bus order) is not connected (3 connected)"},
        {{"erase", "--programmer", "000999"},
         three,
         kExitNoProgrammer,
         "",
         "programmer 000999 is not connected"},
        {{"detect", "--programmer", "x"}, three, kExitUsage, "", "expected a serial number"},
        {{"chips", "--programmer", "1"}, three, kExitUsage, "", "chips takes no --programmer"},
        // The first one is held: by default and by name it is refused, the others work.
        {{"detect"}, three, kExitNoProgrammer, "", "programmer 100001 is in use by process " + me},
        {{"blank", "--programmer", "100001"}, three, kExitNoProgrammer, "", "in use by process"},
        {{"otp", "detect", "--programmer", "1"}, three, kExitNoProgrammer, "", "in use by process"},
        {{"firmware", "--programmer", "3"}, three, 0, "", ""},
        {{"batch", "--mode", "same", "--file", dir.file("fw.bin"), "--programmers", "2,2"},
         three,
         kExitNoProgrammer,
         "",
         "programmer 100002 is in use by process "},
        {{"batch", "--mode", "same", "--file", dir.file("fw.bin"), "--programmers", "all"},
         three,
         kExitNoProgrammer,
         "",
         "programmer 100001 is in use by process " + me},
        {{"batch", "--mode", "same", "--file", dir.file("fw.bin"), "--programmers", "2,9"},
         three,
         kExitNoProgrammer,
         "",
         "programmer 9 (in bus order) is not connected"},
        {{"batch", "--mode", "same", "--file", "fw.bin", "--programmers", "2", "--programmer", "2"},
         three,
         kExitUsage,
         "",
         "not both"},
        {{"batch", "--mode", "list", "--programmers", "all", "fw.bin"},
         three,
         kExitUsage,
         "",
         "mode same or id"},
        {{"batch", "--mode", "id", "--file", "fw.bin", "--programmers", "all"},
         three,
         kExitUsage,
         "",
         "add --series"},
        {{"batch", "--mode", "same", "--file", "fw.bin", "--programmers", "2,,3"},
         three,
         kExitUsage,
         "",
         "an empty name"},
    };
    for (const Row& row : rows) {
        std::string line;
        for (const std::string& a : row.args)
            line += a + " ";
        SCOPED_TRACE(line);
        const Exit exit = runIn(dir, program, row.args, row.conf);
        EXPECT_EQ(exit.status, row.status) << exit.err;
        EXPECT_NE(exit.out.find(row.out), std::string::npos) << exit.out;
        EXPECT_NE(exit.err.find(row.err), std::string::npos) << exit.err;
    }
    // Let go, the first one is free again.
    held.release();
    EXPECT_EQ(runIn(dir, program, {"detect"}, three).status, 0);
}

TEST(GangStatus, TheSharedStatusCtrlCOrMixed) {
    struct Row {
        std::vector<int> statuses;
        bool stopped;
        int gang;
    };
    const Row rows[] = {
        {{0, 0, 0}, false, 0},
        {{kExitSerialStore, kExitSerialStore}, false, kExitSerialStore},
        {{0, kExitNoProgrammer}, false, kExitGangMixed},
        {{kExitStopped, kExitStopped, 0}, true, kExitStopped},
        {{kExitStopped, 0}, false, kExitGangMixed},
        {{0, 0}, true, 0},  // Ctrl-C after every part had ended well
        {{}, false, kExitNoProgrammer},
    };
    for (const Row& row : rows)
        EXPECT_EQ(gangStatus(row.statuses, row.stopped), row.gang)
            << ::testing::PrintToString(row.statuses);
}

}  // namespace
}  // namespace nyra::cli
