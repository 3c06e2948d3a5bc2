// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The built kvq-cli as a process: rwb_mod.so beside it, the simulator
// configured by NYRA_SIM_CONFIG, the program folder as its current directory.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "program_folder.h"

extern char** environ;

namespace nyra::cli {

struct Exit {
    int status = -1;  // exit status, -1 when it did not end normally
    std::string out;
    std::string err;
    long long elapsedMs = 0;  // from the start to the end of the run
};

// A signal sent to the run once it has run afterMs; a run still going after
// killAfterMs is killed (status -1), so a hang fails the test instead of holding it.
struct RunSignal {
    int signal = 0;
    int afterMs = 0;
    int killAfterMs = 120000;
    // When set, the signal goes once this is true (asked every 5 ms after afterMs).
    std::function<bool()> when;
};

// Runs program with args in folder (or in cwd when given), NYRA_SIM_CONFIG
// set to config, with more environment entries.
inline Exit runIn(const TempDir& folder, const std::string& program,
                  const std::vector<std::string>& args, const std::string& config,
                  const std::vector<std::string>& moreEnv = {}, const std::string& cwdOverride = {},
                  const RunSignal& signal = {}, const std::string& outputTag = "") {
    std::vector<std::string> envText;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::strncmp(*e, "NYRA_SIM_CONFIG=", 16) != 0)
            envText.emplace_back(*e);
    }
    envText.push_back("NYRA_SIM_CONFIG=" + config);
    envText.insert(envText.end(), moreEnv.begin(), moreEnv.end());
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

    const std::string outPath = folder.file("stdout" + outputTag + ".txt");
    const std::string errPath = folder.file("stderr" + outputTag + ".txt");
    const std::string cwd = cwdOverride.empty() ? folder.folder() : cwdOverride;
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
    if (pid < 0)
        return result;
    int status = 0;
    const auto started = std::chrono::steady_clock::now();
    bool signalled = signal.signal == 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0)
            return result;
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - started)
                            .count();
        if (!signalled && ms >= signal.afterMs && (!signal.when || signal.when())) {
            ::kill(pid, signal.signal);
            signalled = true;
        }
        if (ms >= signal.killAfterMs) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            result.out = folder.read("stdout" + outputTag + ".txt");
            result.err = "killed: still running after " + std::to_string(ms) +
                         " ms; its output:\n" + result.out +
                         folder.read("stderr" + outputTag + ".txt");
            return result;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    result.elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - started)
                           .count();
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = folder.read("stdout" + outputTag + ".txt");
    result.err = folder.read("stderr" + outputTag + ".txt");
    return result;
}

inline std::string randomFile(const TempDir& dir, const std::string& name, std::size_t size,
                              unsigned seed = 12345) {
    std::string bytes(size, '\0');
    unsigned state = seed;
    for (char& c : bytes) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 16);
    }
    return dir.write(name, bytes);
}

class CliProcess : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!testing::fillProgramFolder(dir, &why))
            GTEST_SKIP() << why;
        program = (*testing::demoFolder() / "kvq-cli").string();
        if (!std::filesystem::exists(program))
            GTEST_SKIP() << "kvq-cli not built";
        // Programmer locks of this test only: every test's simulator has the same serials.
        ::setenv("NYRA_LOCK_DIR", locks.folder().c_str(), 1);
    }
    // No control socket: other simulators may be running on this machine.
    std::string config(const std::string& chip, const std::string& more = "",
                       const std::string& name = "sim.conf") const {
        std::ofstream(dir.file(name))
            << "programmers=1\nchip=" << chip << "\nimage=none\ntiming=0\ncontrol=off\n"
            << more;
        return dir.file(name);
    }
    // A chip that keeps its contents in the folder between runs.
    std::string keptChip(const std::string& chip, const std::string& more = "") const {
        return config(chip, "image=" + dir.file("chip.img") + "\n" + more);
    }

    TempDir dir;
    TempDir locks;
    std::string program;
};

}  // namespace nyra::cli
