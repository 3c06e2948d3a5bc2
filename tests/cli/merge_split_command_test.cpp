// SPDX-License-Identifier: GPL-3.0-or-later
// kvq-cli merge and split: in-process with the shipped English texts, and
// the built executable as a process for its exit status and streams.
#include "merge_split_command.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "app/text_table.h"
#include "program_folder.h"

namespace nyra::cli {
namespace {

std::string pattern(std::size_t length, int seed) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] =
            static_cast<char>((i * 5 + static_cast<std::size_t>(seed) * 41 + i / 239) & 0xFF);
    return bytes;
}

class MergeSplitCommand : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"ftext.ini", "itext.ini"})
            std::filesystem::copy_file(testing::englishTexts() / name, program.file(name));
        texts.loadFrom(program.folder());
    }
    int merge(const std::string& output, const std::vector<std::string>& inputs) {
        out.str({});
        err.str({});
        return mergeCommand(program.folder(), output, inputs, out, err);
    }
    int split(const std::string& file, const std::string& points) {
        out.str({});
        err.str({});
        return splitCommand(program.folder(), file, points, out, err);
    }
    std::string text(int key) const { return texts.text(itext(key)); }

    TempDir program;
    TempDir files;
    TextTable texts;
    std::ostringstream out, err;
};

TEST_F(MergeSplitCommand, MergeJoinsInOrderAndNamesTheOutput) {
    const std::string a = pattern(1500, 1), b = pattern(20, 2);
    const std::vector<std::string> inputs{files.write("a", a), files.write("b", b)};
    EXPECT_EQ(merge(files.file("out"), inputs), kExitFileToolDone);
    EXPECT_EQ(files.read("out.bin"), a + b);
    EXPECT_EQ(out.str(), files.file("out.bin") + "\n");
    EXPECT_EQ(err.str(), text(155) + "\n");

    EXPECT_EQ(merge(files.file("out.hex"), {inputs[1], inputs[0]}), kExitFileToolDone);
    EXPECT_EQ(files.read("out.hex"), b + a);
    EXPECT_FALSE(files.exists("out.hex.bin"));

    // A "." in a folder's name does not count as the file's.
    std::filesystem::create_directory(files.file("v1.0"));
    EXPECT_EQ(merge(files.file("v1.0/joined"), {}), kExitFileToolDone);
    EXPECT_TRUE(files.exists("v1.0/joined.bin"));
    EXPECT_EQ(files.read("v1.0/joined.bin"), "");
}

TEST_F(MergeSplitCommand, MergeFailuresSayWhichFileAndExitNonZero) {
    const std::string a = pattern(700, 3);
    EXPECT_EQ(merge(files.file("m"), {files.write("a", a), files.file("missing")}),
              kExitFileToolFailed);
    EXPECT_EQ(err.str().substr(0, text(25).size() + 1), text(25) + "\n");
    EXPECT_NE(err.str().find(files.file("missing")), std::string::npos);
    EXPECT_EQ(out.str(), "");
    EXPECT_FALSE(files.exists("m.bin"));  // whole or not at all

    EXPECT_EQ(merge(files.file("no/folder/m"), {files.file("a")}), kExitFileToolFailed);
    EXPECT_EQ(err.str().substr(0, text(156).size()), text(156));

    // The output among the inputs: refused whether it exists already or not.
    const std::string c = files.write("c.bin", "ccc");
    EXPECT_EQ(merge(files.file("c"), {c}), kExitFileToolFailed);
    EXPECT_EQ(files.read("c.bin"), "ccc");
    EXPECT_EQ(merge(files.file("loop.bin"), {files.file("a"), files.file("loop.bin")}),
              kExitFileToolFailed);
    EXPECT_FALSE(files.exists("loop.bin"));

    EXPECT_EQ(merge(files.file("sub/"), {files.file("a")}), kExitFileToolBadInput);
    EXPECT_EQ(err.str(), text(154) + "\n");
}

TEST_F(MergeSplitCommand, SplitWritesThePiecesAndListsThem) {
    const std::string bytes = pattern(3000, 4);
    const std::string source = files.write("fw.bin", bytes);
    EXPECT_EQ(split(source,
                    "1024\xEF\xBC\x8C"
                    "2048"),
              kExitFileToolDone);
    EXPECT_EQ(out.str(), files.file("fw_0-1023.bin") + "\n" + files.file("fw_1024-2047.bin") +
                             "\n" + files.file("fw_2048-2999.bin") + "\n");
    EXPECT_EQ(err.str(), text(159) + "\n");
    EXPECT_EQ(files.read("fw_2048-2999.bin"), bytes.substr(2048));

    EXPECT_EQ(split(source, "3000"), kExitFileToolDone);
    EXPECT_EQ(out.str(),
              files.file("fw_0-2999.bin") + "\n" + files.file("fw_3000-2999.bin") + "\n");
    EXPECT_EQ(files.read("fw_0-2999.bin"), bytes);
}

TEST_F(MergeSplitCommand, SplitRefusesBadPointsBeforeTouchingAnything) {
    const std::string source = files.write("fw.bin", pattern(100, 5));
    for (const char* points : {"10, 20", ",10", "1e3"}) {
        EXPECT_EQ(split(source, points), kExitFileToolBadInput) << points;
        EXPECT_EQ(err.str().substr(0, text(157).size()), text(157)) << points;
    }
    EXPECT_EQ(split(source, ""), kExitFileToolBadInput);
    EXPECT_EQ(err.str(), text(160) + "\n");
    EXPECT_EQ(split(files.file("gone.bin"), "10"), kExitFileToolFailed);
    EXPECT_EQ(err.str().substr(0, text(25).size()), text(25));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(files.file("")),
                            std::filesystem::directory_iterator()),
              1);
}

struct Finished {
    int status = -1;
    std::string out, err;
};

// The built kvq-cli with args, the program folder as its current directory.
Finished runKvqCli(const TempDir& folder, const std::vector<std::string>& args) {
    const auto demo = testing::demoFolder();
    Finished run;
    if (!demo)
        return run;
    std::vector<std::string> text{(*demo / "kvq-cli").string()};
    text.insert(text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : text)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string outPath = folder.file("stdout.txt"), errPath = folder.file("stderr.txt");
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int o = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (o < 0 || e < 0 || ::chdir(folder.folder().c_str()) != 0 || ::dup2(o, 1) < 0 ||
            ::dup2(e, 2) < 0)
            ::_exit(127);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid)
        return run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = folder.read("stdout.txt");
    run.err = folder.read("stderr.txt");
    return run;
}

TEST_F(MergeSplitCommand, TheExecutableSplitsAndMergesBackWithItsExitStatus) {
    const auto demo = testing::demoFolder();
    if (!demo || !std::filesystem::exists(*demo / "kvq-cli"))
        GTEST_SKIP() << "kvq-cli not built or NYRA_TEST_BINARY_DIR not set";
    const std::string bytes = pattern(2500, 6);
    const std::string source = files.write("img.rom", bytes);
    const Finished pieces = runKvqCli(program, {"split", source, "1000,2000"});
    ASSERT_EQ(pieces.status, kExitFileToolDone) << pieces.err;
    EXPECT_EQ(pieces.err, text(159) + "\n");

    // The listed pieces, merged in their order, give the file back.
    std::vector<std::string> args{"merge", files.file("back")};
    std::istringstream lines(pieces.out);
    for (std::string line; std::getline(lines, line);)
        args.push_back(line);
    ASSERT_EQ(args.size(), 5u);
    const Finished joined = runKvqCli(program, args);
    ASSERT_EQ(joined.status, kExitFileToolDone) << joined.err;
    EXPECT_EQ(joined.out, files.file("back.bin") + "\n");
    EXPECT_EQ(files.read("back.bin"), bytes);

    EXPECT_EQ(runKvqCli(program, {"split", source, "1000;2000"}).status, kExitFileToolBadInput);
    EXPECT_EQ(runKvqCli(program, {"merge", files.file("x"), files.file("none")}).status,
              kExitFileToolFailed);
    EXPECT_EQ(runKvqCli(program, {"split", source}).status, 2);
    EXPECT_EQ(runKvqCli(program, {"merge"}).status, 2);
}

}  // namespace
}  // namespace nyra::cli
