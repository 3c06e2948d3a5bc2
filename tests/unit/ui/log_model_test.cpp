// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/log_model.h"

#include <gtest/gtest.h>

#include <thread>

namespace nyra {
namespace {

using Kind = LogChange::Kind;

TEST(LogModel, AppendReplaceAndClearKeepTheLines) {
    LogModel log;
    EXPECT_EQ(log.lastLine(), std::nullopt);
    log.replaceLast("first");  // nothing to replace: it becomes the first line
    log.append("second");
    log.replaceLast("second again");
    EXPECT_EQ(log.lineCount(), 2u);
    EXPECT_EQ(log.lastLine(), "second again");
    EXPECT_EQ(log.text(), "first\r\nsecond again");
    EXPECT_EQ(log.text("\n"), "first\nsecond again");
    log.clear();
    EXPECT_EQ(log.lineCount(), 0u);
    EXPECT_EQ(log.text(), "");
    log.append("");
    log.append("");
    EXPECT_EQ(log.text(), "\r\n") << "empty lines are lines too";
}

TEST(LogModel, ListenersGetEachChangeWithItsKindAndSequence) {
    LogModel log;
    log.append("before");
    std::vector<LogChange> seen;
    auto [token, snapshot] = log.subscribe([&](const LogChange& c) { seen.push_back(c); });
    EXPECT_EQ(snapshot.lines, std::vector<std::string>{"before"});
    EXPECT_EQ(snapshot.sequence, 1u);
    log.append("a");
    log.replaceLast("b");
    log.clear();
    log.replaceLast("c");
    const std::vector<LogChange> expected = {{Kind::Appended, "a", 2},
                                             {Kind::ReplacedLast, "b", 3},
                                             {Kind::Cleared, "", 4},
                                             {Kind::Appended, "c", 5}};
    EXPECT_EQ(seen, expected);
    EXPECT_TRUE(log.unsubscribe(token));
    log.append("after");
    EXPECT_EQ(seen.size(), 4u);
    EXPECT_FALSE(log.unsubscribe(token));
}

// Replays changes on a copy, as a view does.
void replay(std::vector<std::string>& lines, const LogChange& change) {
    switch (change.kind) {
        case Kind::Appended:
            lines.push_back(change.line);
            break;
        case Kind::ReplacedLast:
            lines.back() = change.line;
            break;
        case Kind::Cleared:
            lines.clear();
            break;
    }
}

TEST(LogModel, AViewFromASnapshotAndTheChangesAfterItMatchesTheModel) {
    LogModel log;
    std::atomic<bool> go{false};
    auto writer = [&](const std::string& name) {
        while (!go.load())
            std::this_thread::yield();
        for (int i = 0; i < 5000; ++i) {
            log.append(name + std::to_string(i));
            if (i % 7 == 0)
                log.replaceLast(name + "r" + std::to_string(i));
        }
    };
    std::thread a(writer, "a");
    std::thread b(writer, "b");
    go = true;
    // Subscribe while both threads write: nothing may be missed or doubled.
    while (log.lineCount() < 1000)
        std::this_thread::yield();
    std::mutex changesMutex;
    std::vector<LogChange> changes;
    auto [token, snapshot] = log.subscribe([&](const LogChange& c) {
        std::lock_guard lock(changesMutex);
        changes.push_back(c);
    });
    a.join();
    b.join();
    log.unsubscribe(token);
    std::vector<std::string> view = snapshot.lines;
    std::uint64_t sequence = snapshot.sequence;
    for (const LogChange& c : changes) {
        EXPECT_EQ(c.sequence, ++sequence) << "a change was missed, doubled or reordered";
        replay(view, c);
    }
    EXPECT_EQ(view, log.snapshot().lines);
    EXPECT_EQ(log.lineCount(), 10000u);
}

TEST(LogModel, AListenerMayLogAndAThrowingOneIsSkipped) {
    LogModel log;
    auto [thrower, s1] = log.subscribe([](const LogChange&) { throw 1; });
    std::vector<std::string> seen;
    auto [echo, s2] = log.subscribe([&](const LogChange& c) {
        seen.push_back(c.line);
        if (c.line == "ping")
            log.append("pong");
    });
    log.append("ping");
    EXPECT_EQ(log.text(), "ping\r\npong");
    EXPECT_EQ(seen, (std::vector<std::string>{"ping", "pong"}));
    log.unsubscribe(thrower);
    log.unsubscribe(echo);
}

}  // namespace
}  // namespace nyra
