// The built kvq-cli as a process: rwb_mod.so beside it, the simulator
// configured by NYRA_SIM_CONFIG, the program folder as its current directory.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/text_table.h"
#include "detect_command.h"
#include "program_folder.h"

extern char** environ;

namespace nyra::cli {
namespace {

struct Exit {
    int status = -1;  // exit status, -1 when it did not end normally
    std::string out;
    std::string err;
};

// Runs program with args in folder, NYRA_SIM_CONFIG set to config.
Exit runIn(const TempDir& folder, const std::string& program, const std::vector<std::string>& args,
           const std::string& config) {
    std::vector<std::string> envText;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::strncmp(*e, "NYRA_SIM_CONFIG=", 16) != 0)
            envText.emplace_back(*e);
    }
    envText.push_back("NYRA_SIM_CONFIG=" + config);
    std::vector<char*> env;
    for (auto& e : envText)
        env.push_back(e.data());
    env.push_back(nullptr);
    std::vector<std::string> argText{program};
    argText.insert(argText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argText)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const std::string outPath = folder.file("stdout.txt");
    const std::string errPath = folder.file("stderr.txt");
    const std::string cwd = folder.folder();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || ::chdir(cwd.c_str()) != 0 || ::dup2(out, 1) < 0 ||
            ::dup2(err, 2) < 0)
            ::_exit(127);
        ::execve(program.c_str(), argv.data(), env.data());
        ::_exit(127);
    }
    Exit result;
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid)
        return result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = folder.read("stdout.txt");
    result.err = folder.read("stderr.txt");
    return result;
}

class DetectProcess : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!testing::fillProgramFolder(dir, &why))
            GTEST_SKIP() << why;
        program = (*testing::demoFolder() / "kvq-cli").string();
        if (!std::filesystem::exists(program))
            GTEST_SKIP() << "kvq-cli not built";
    }
    // No control socket: other simulators may be running on this machine.
    std::string config(const std::string& chip) const {
        std::ofstream(dir.file("sim.conf"))
            << "programmers=1\nchip=" << chip << "\nimage=none\ntiming=0\ncontrol=off\n";
        return dir.file("sim.conf");
    }

    TempDir dir;
    std::string program;
};

TEST_F(DetectProcess, PrintsTheMatchedChipAndExitsWithZero) {
    const Exit run = runIn(dir, program, {"detect"}, config("GD25Q32"));
    EXPECT_EQ(run.status, kExitChipFound) << run.err;
    EXPECT_EQ(run.out, "25 SPI FLASH : GIGADEVICE : GD25Q32(B) : 32Mbits/4Mbytes\n");
    // The texts of the program folder, not built-in words.
    TextTable texts;
    texts.loadFrom(dir.folder());
    EXPECT_NE(run.err.find(texts.text(itext(73)) + "\n"), std::string::npos) << run.err;
    EXPECT_TRUE(dir.exists("log.txt"));
}

TEST_F(DetectProcess, TheSharedIdCaseListsTheRecordsAfterTheSelection) {
    const Exit run = runIn(dir, program, {"detect"}, config("W25Q128FV"));
    EXPECT_EQ(run.status, kExitChipFound) << run.err;
    EXPECT_EQ(run.out,
              "25 SPI FLASH : WINBOND : W25Q128BV : 128Mbits/16Mbytes\n"
              "25 SPI FLASH : WINBOND : W25Q128BV : 128Mbits/16Mbytes\n"
              "25 SPI FLASH : WINBOND : W25Q128FV : 128Mbits/16Mbytes\n"
              "25 SPI FLASH : WINBOND : W25Q128JV : 128Mbits/16Mbytes\n"
              "25 SPI FLASH : SPANSION/CYPRESS : S25FL128K : 128Mbits/16Mbytes\n");
}

TEST_F(DetectProcess, UsageErrorsListTheExitStatus) {
    for (const auto& args : {std::vector<std::string>{}, {"detect", "extra"}, {"nothing"}}) {
        const Exit run = runIn(dir, program, args, config("GD25Q32"));
        EXPECT_EQ(run.status, kExitUsage);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("kvq-cli detect"), std::string::npos) << run.err;
        for (const int code : {kExitChipFound, kExitNoUsbLibrary, kExitUsage, kExitFamilyOnly,
                               kExitUnknownId, kExitNoAnswer, kExitNoProgrammer})
            EXPECT_NE(run.err.find(std::to_string(code) + " "), std::string::npos) << code;
    }
    // Nothing ran: no log was started in the folder.
    EXPECT_FALSE(dir.exists("log.txt"));
}

}  // namespace
}  // namespace nyra::cli
