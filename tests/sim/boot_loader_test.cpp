// SPDX-License-Identifier: GPL-3.0-or-later
// The boot loader as the program's firmware upgrade drives it: re-enumeration
// after command 21, the three phases, the finish and the leave, and each fault.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "device/firmware_image.h"
#include "sim/firmware.h"
#include "sim/firmware_maker.h"
#include "sim_test_util.h"

namespace nyra::sim {
namespace {

using testing::frame;
using testing::Link;
using testing::Params;

enum class Outcome {
    Done,
    NoHandshake,
    StartNoReply,
    StartWrongReply,
    BlockNotAcknowledged,
    WriteFailed,
    ShortReadBack,
    ReadBackDiffers,
    FinishRefused,
    FinishNoReply,
};

const char* outcomeName(Outcome o) {
    switch (o) {
        case Outcome::Done:
            return "done";
        case Outcome::NoHandshake:
            return "no handshake";
        case Outcome::StartNoReply:
            return "start: no reply";
        case Outcome::StartWrongReply:
            return "start: wrong reply";
        case Outcome::BlockNotAcknowledged:
            return "block not acknowledged";
        case Outcome::WriteFailed:
            return "write failed";
        case Outcome::ShortReadBack:
            return "short read-back";
        case Outcome::ReadBackDiffers:
            return "read-back differs";
        case Outcome::FinishRefused:
            return "finish refused";
        case Outcome::FinishNoReply:
            return "finish: no reply";
    }
    return "?";
}

void PrintTo(Outcome o, std::ostream* os) {
    *os << outcomeName(o);
}

// What the host saw of one upgrade.
struct HostRun {
    Outcome outcome = Outcome::Done;
    std::vector<std::uint8_t> blockValues;  // value bytes of the acknowledged operations 2
    std::size_t chunks = 0;                 // bulk writes that went through
    std::size_t blocksCompared = 0;
    std::optional<std::uint8_t> finishReply;
};

std::vector<std::uint8_t> firmwareFile(std::uint8_t version, std::size_t size) {
    FirmwareFileRequest request;
    request.version = version;
    request.size = size;
    return makeFirmwareFile(request);
}

class BootLoader : public ::testing::Test {
protected:
    void start(double timingFactor = 0.0) {
        sim = std::make_unique<Simulator>(simulatorOptions(1, "W25Q64FV", &time, timingFactor));
        usb::bind(sim.get());
        sim->setEventListener([this](const SimEvent& e) {
            events.push_back({e.kind, time.nowMs()});
        });
        link = std::make_unique<Link>();
        ASSERT_TRUE(link->ok());
    }
    void TearDown() override {
        link.reset();
        usb::bind(nullptr);
    }

    int op(std::uint8_t operation, std::uint8_t value = 0) {
        const std::uint8_t f[4] = {0xA5, operation, value, 0x5A};
        return usb::interrupt_write(link->handle(), 2, reinterpret_cast<const char*>(f), 4, 500);
    }
    // Command 21, the re-enumeration, and the program's reopening.
    void enterBootLoader() {
        ASSERT_EQ(link->send(frame(cmd::kEnterUpgrade), 100), 20);
        time.advance(1000);
        link = std::make_unique<Link>();
        ASSERT_TRUE(link->ok());
    }
    // From command 21 through the stream's close, erasing the first blocks only.
    void streamInto(const std::vector<std::uint8_t>& file, std::uint8_t blocks) {
        enterBootLoader();
        op(boot::kStart);
        ASSERT_EQ(link->read(1, 1000), std::vector<std::uint8_t>{boot::kStart});
        for (std::uint8_t k = 0; k < blocks; ++k) {
            op(boot::kBlock, k);
            ASSERT_EQ(link->read(1, 1000).size(), 1u);
        }
        op(boot::kStreamStart);
        std::vector<std::uint8_t> keyed(file.size());
        for (std::size_t i = 0; i < file.size(); ++i)
            keyed[i] = keyedFirmwareByte(file[i], i);
        ASSERT_EQ(link->write(keyed), static_cast<int>(keyed.size()));
        op(boot::kStreamEnd);
        op(boot::kStreamClose);
    }
    bool handshake() {
        for (int i = 0; i < 20; ++i) {
            op(boot::kHandshake);
            if (link->read(2, 50) == std::vector<std::uint8_t>{0x5A, 0xA5})
                return true;
        }
        return false;
    }
    // The program's side from operation 13 to the leave.
    HostRun upgrade(const std::vector<std::uint8_t>& file) {
        HostRun run;
        const std::size_t n = file.size();
        auto fail = [&](Outcome o) {
            op(boot::kIdle);
            run.outcome = o;
            return run;
        };
        op(boot::kIdle);
        op(boot::kStart);
        const auto started = link->read(1, 1000);
        if (started.empty())
            return fail(Outcome::StartNoReply);
        if (started[0] != boot::kStart)
            return fail(Outcome::StartWrongReply);
        const std::size_t blocks = (n + kFirmwareBlockSize - 1) / kFirmwareBlockSize;
        for (std::size_t k = 0; k < blocks; ++k) {
            op(boot::kBlock, static_cast<std::uint8_t>(k));
            time.sleepMs(15);
            if (link->read(1, 1000).empty())
                return fail(Outcome::BlockNotAcknowledged);
            run.blockValues.push_back(static_cast<std::uint8_t>(k));
        }
        op(boot::kIdle);
        op(boot::kStreamStart);
        for (std::size_t at = 0; at < n; at += kFirmwareChunkSize) {
            const std::size_t len = std::min(kFirmwareChunkSize, n - at);
            std::vector<std::uint8_t> chunk(len);
            for (std::size_t i = 0; i < len; ++i)
                chunk[i] = keyedFirmwareByte(file[at + i], at + i);
            if (link->write(chunk, 2000) != static_cast<int>(len))
                return fail(Outcome::WriteFailed);
            ++run.chunks;
        }
        op(boot::kStreamEnd);
        op(boot::kIdle);
        op(boot::kStreamClose);
        time.sleepMs(5);
        for (std::size_t k = 0; k < blocks; ++k) {
            op(boot::kReadBack);
            const auto got = link->read(static_cast<int>(kFirmwareBlockSize), 1000);
            if (got.size() < kFirmwareBlockSize)
                return fail(Outcome::ShortReadBack);
            const std::size_t from = k * kFirmwareBlockSize;
            const std::size_t len = std::min(kFirmwareBlockSize, n - from);
            for (std::size_t i = 0; i < len; ++i) {
                if (keyedFirmwareByte(file[from + i], i) != got[i])
                    return fail(Outcome::ReadBackDiffers);
            }
            ++run.blocksCompared;
        }
        op(boot::kIdle);
        op(boot::kFinish, file[n - 4]);
        const auto finished = link->read(1, 1000);
        if (!finished.empty())
            run.finishReply = finished[0];
        op(boot::kLeave);
        if (finished.empty() || finished[0] != boot::kFinish) {
            op(boot::kIdle);
            run.outcome = finished.empty() ? Outcome::FinishNoReply : Outcome::FinishRefused;
        }
        return run;
    }
    // After a leave: the restarted programmer, opened again.
    void reopenAfterRestart() {
        time.advance(1000);
        link = std::make_unique<Link>();
        ASSERT_TRUE(link->ok());
    }
    std::optional<std::uint8_t> versionByte() {
        link->send(frame(cmd::kFirmwareVersion));
        const auto r = link->read(1, 100);
        return r.empty() ? std::nullopt : std::optional<std::uint8_t>(r[0]);
    }
    bool logHas(std::string_view text) const {
        for (const auto& line : sim->firmwareLog(0)) {
            if (line.find(text) != std::string::npos)
                return true;
        }
        return false;
    }
    // A full upgrade from command 21 on.
    HostRun upgradeFromApplication(const std::vector<std::uint8_t>& file) {
        enterBootLoader();
        EXPECT_TRUE(handshake());
        op(boot::kIdle);
        return upgrade(file);
    }
    void expectStillInBootLoader() {
        EXPECT_TRUE(sim->status(0).bootLoader);
        EXPECT_TRUE(sim->plugged(0));  // a refused leave does not restart
        EXPECT_EQ(link->identity(Params{}), kStateBlocked);
        EXPECT_EQ(versionByte(), std::nullopt);
    }

    struct Event {
        SimEventKind kind;
        std::int64_t atMs;
        bool operator==(const Event&) const = default;
    };
    VirtualTimeSource time;
    std::unique_ptr<Simulator> sim;
    std::unique_ptr<Link> link;
    std::vector<Event> events;
};

TEST_F(BootLoader, FullUpgradeRunsTheNewFirmwareAfterTheLeave) {
    start();
    ASSERT_EQ(versionByte(), kDefaultFirmwareVersion);
    const auto file = firmwareFile(0x1A, 5000);
    enterBootLoader();
    ASSERT_TRUE(handshake());
    op(boot::kIdle);
    events.clear();
    const HostRun run = upgrade(file);
    EXPECT_EQ(run.outcome, Outcome::Done);
    EXPECT_EQ(run.blockValues, (std::vector<std::uint8_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(run.chunks, 79u);  // 78 whole chunks and one of 8 bytes
    EXPECT_EQ(run.blocksCompared, 5u);
    // The leave restarts it into the new firmware, off the bus and back.
    const std::int64_t leftAt = time.nowMs();
    EXPECT_EQ(link->send(frame(cmd::kFirmwareVersion)), kErrNoDevice);
    reopenAfterRestart();
    EXPECT_EQ(events, (std::vector<Event>{{SimEventKind::Unplugged, leftAt},
                                          {SimEventKind::Plugged, leftAt}}));
    EXPECT_FALSE(sim->status(0).bootLoader);
    EXPECT_EQ(versionByte(), 0x1A);
    EXPECT_EQ(link->identity(Params{}), 0xEF4017u);  // the application answers the chip again
}

TEST_F(BootLoader, Command21ReenumeratesIntoTheBootLoader) {
    start(1.0);
    const std::int64_t t0 = time.nowMs();
    ASSERT_EQ(link->send(frame(cmd::kEnterUpgrade), 100), 20);
    // The old handle is dead for good, as for an unplugged device.
    EXPECT_EQ(link->send(frame(cmd::kReadIdentity)), kErrNoDevice);
    EXPECT_TRUE(link->read(3, 100).empty());
    EXPECT_EQ(link->lastResult, kErrNoDevice);
    EXPECT_FALSE(sim->plugged(0));
    EXPECT_TRUE(sim->status(0).reenumerating);
    time.advance(299);
    EXPECT_FALSE(Link().ok());
    time.advance(1);
    EXPECT_TRUE(sim->plugged(0));
    EXPECT_EQ(link->send(frame(cmd::kReadIdentity)), kErrNoDevice);
    EXPECT_EQ(events, (std::vector<Event>{{SimEventKind::Unplugged, t0},
                                          {SimEventKind::Plugged, t0 + 300}}));
    // Same identity on the bus, now in the boot loader.
    link = std::make_unique<Link>();
    ASSERT_TRUE(link->ok());
    EXPECT_EQ(link->identity(Params{}), kStateBlocked);
    EXPECT_TRUE(handshake());
    link->send(frame(cmd::kSerialNumber));
    EXPECT_TRUE(link->read(7, 100).empty());  // application commands are ignored
}

TEST_F(BootLoader, ReenumerationTimeScalesWithTheTimingFactor) {
    for (const double factor : {0.0, 2.0}) {
        SCOPED_TRACE(factor);
        events.clear();
        start(factor);
        const std::int64_t t0 = time.nowMs();
        link->send(frame(cmd::kEnterUpgrade), 100);
        time.advance(static_cast<std::int64_t>(300 * factor));
        EXPECT_TRUE(sim->plugged(0));
        ASSERT_EQ(events.size(), 2u);
        EXPECT_EQ(events[1].atMs - t0, static_cast<std::int64_t>(300 * factor));
        TearDown();
    }
}

TEST_F(BootLoader, BlockCountFollowsTheFileLength) {
    for (const std::size_t size : {std::size_t{1024}, std::size_t{1025}}) {
        SCOPED_TRACE(size);
        start();
        const HostRun run = upgradeFromApplication(firmwareFile(0x05, size));
        EXPECT_EQ(run.outcome, Outcome::Done);
        EXPECT_EQ(run.blockValues.size(), size == 1024 ? 1u : 2u);
        TearDown();
    }
}

TEST_F(BootLoader, DataPastTheErasedBlocksSpoilsTheImage) {
    // A host that erases one block too few: the 1025th byte lands on old contents.
    start();
    const auto file = firmwareFile(0x05, 1025);
    streamInto(file, 1);
    op(boot::kFinish, file[file.size() - 4]);
    EXPECT_EQ(link->read(1, 1000), std::vector<std::uint8_t>{kReplyImageRefused});
    EXPECT_TRUE(logHas("over old contents"));
}

TEST_F(BootLoader, BlockNumbersWrapPastBlock255) {
    start();
    const auto file = firmwareFile(0x31, 300 * 1024);
    const HostRun run = upgradeFromApplication(file);
    EXPECT_EQ(run.outcome, Outcome::Done);
    ASSERT_EQ(run.blockValues.size(), 300u);
    EXPECT_EQ(run.blockValues[255], 255);
    EXPECT_EQ(run.blockValues[256], 0);
    EXPECT_EQ(run.blockValues[299], 43);
    reopenAfterRestart();
    EXPECT_EQ(versionByte(), 0x31);
}

TEST_F(BootLoader, BlockValueOutOfOrderIsNotAcknowledged) {
    start();
    enterBootLoader();
    op(boot::kStart);
    link->read(1, 1000);
    op(boot::kBlock, 0);
    EXPECT_EQ(link->read(1, 1000), std::vector<std::uint8_t>{0});
    op(boot::kBlock, 2);  // block 1 skipped
    EXPECT_TRUE(link->read(1, 1000).empty());
    EXPECT_TRUE(logHas("out of order"));
    op(boot::kBlock, 1);
    EXPECT_EQ(link->read(1, 1000), std::vector<std::uint8_t>{1});
}

TEST_F(BootLoader, FileLengthAMultipleOf64EndsTheStreamWithoutAShortChunk) {
    for (const std::size_t size : {std::size_t{4096}, std::size_t{1088}}) {
        SCOPED_TRACE(size);
        start();
        const HostRun run = upgradeFromApplication(firmwareFile(0x22, size));
        EXPECT_EQ(run.outcome, Outcome::Done);
        EXPECT_EQ(run.chunks, size / 64);
        reopenAfterRestart();
        EXPECT_EQ(versionByte(), 0x22);
        TearDown();
    }
}

TEST_F(BootLoader, ReadBackPadsPastTheImageWithErasedBytes) {
    start();
    const auto file = firmwareFile(0x05, 1030);
    streamInto(file, 2);
    std::vector<std::uint8_t> keyed(file.size());
    for (std::size_t i = 0; i < file.size(); ++i)
        keyed[i] = keyedFirmwareByte(file[i], i);
    op(boot::kReadBack);
    EXPECT_EQ(link->read(1024, 1000),
              std::vector<std::uint8_t>(keyed.begin(), keyed.begin() + 1024));
    op(boot::kReadBack);
    const auto second = link->read(1024, 1000);
    ASSERT_EQ(second.size(), 1024u);
    EXPECT_TRUE(std::equal(keyed.begin() + 1024, keyed.end(), second.begin()));
    EXPECT_TRUE(std::all_of(second.begin() + 6, second.end(), [](auto b) { return b == 0xFF; }));
}

TEST_F(BootLoader, RefusedImagesLeaveTheProgrammerInItsBootLoader) {
    const auto good = firmwareFile(0x15, 3000);
    auto badChecksum = good;
    badChecksum.back() ^= 0x01;
    auto wrongMagic = good;
    wrongMagic[0] = 'X';
    // Keep the checksum right, so that only the magic is wrong.
    const auto sum = firmwarePayloadSum(std::span(wrongMagic).first(wrongMagic.size() - 3));
    wrongMagic[wrongMagic.size() - 3] = static_cast<std::uint8_t>(sum >> 16);
    wrongMagic[wrongMagic.size() - 2] = static_cast<std::uint8_t>(sum >> 8);
    wrongMagic[wrongMagic.size() - 1] = static_cast<std::uint8_t>(sum);
    ASSERT_TRUE(firmwareChecksumMatches(wrongMagic));
    const struct {
        const char* name;
        std::vector<std::uint8_t> file;
        const char* reason;
    } cases[] = {{"checksum", badChecksum, "checksum"}, {"magic", wrongMagic, "magic"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        start();
        const HostRun run = upgradeFromApplication(c.file);
        EXPECT_EQ(run.outcome, Outcome::FinishRefused);
        EXPECT_EQ(run.finishReply, kReplyImageRefused);
        EXPECT_TRUE(logHas(c.reason));
        expectStillInBootLoader();
        // Power lost now: the application area is erased, so the boot loader starts.
        sim->unplug(0);
        sim->plug(0);
        link = std::make_unique<Link>();
        ASSERT_TRUE(link->ok());
        expectStillInBootLoader();
        // The user retries with a sound file, straight from operation 13.
        EXPECT_EQ(upgrade(good).outcome, Outcome::Done);
        reopenAfterRestart();
        EXPECT_EQ(versionByte(), 0x15);
        TearDown();
    }
}

TEST_F(BootLoader, FinishNamingAnotherLastPayloadByteIsRefused) {
    start();
    const auto file = firmwareFile(0x15, 2000);
    const std::uint8_t last = file[file.size() - 4];
    streamInto(file, 2);
    op(boot::kFinish, static_cast<std::uint8_t>(last + 1));
    EXPECT_EQ(link->read(1, 1000), std::vector<std::uint8_t>{kReplyImageRefused});
    op(boot::kFinish, last);  // refused finishes may be repeated
    EXPECT_EQ(link->read(1, 1000), std::vector<std::uint8_t>{boot::kFinish});
}

TEST_F(BootLoader, OperationsOutOfOrderAreLoggedAndUnanswered) {
    start();
    enterBootLoader();
    sim->clearFrames(0);
    op(boot::kReadBack);
    op(boot::kFinish, 0);
    op(boot::kBlock, 0);  // before operation 13
    op(42);
    EXPECT_TRUE(link->read(1024, 100).empty());
    EXPECT_EQ(sim->firmwareLog(0).size(), 4u);
    EXPECT_TRUE(logHas("operation 42 unknown"));
    // Data before operation 4 is not stored.
    op(boot::kStart);
    link->read(1, 1000);
    EXPECT_EQ(link->write({1, 2, 3}), 3);
    EXPECT_TRUE(logHas("outside the upgrade stream"));
    op(boot::kStreamEnd);  // no stream to end
    EXPECT_TRUE(logHas("operation 5 out of order"));
    op(boot::kLeave);  // the application is still there: a leave starts it
    reopenAfterRestart();
    EXPECT_EQ(versionByte(), kDefaultFirmwareVersion);
}

TEST_F(BootLoader, DeviceTimesAreRealisticAndInstantAtFactorZero) {
    for (const double factor : {1.0, 0.0}) {
        SCOPED_TRACE(factor);
        start(factor);
        enterBootLoader();
        op(boot::kStart);
        link->read(1, 1000);
        const std::int64_t t0 = time.nowMs();
        op(boot::kBlock, 0);
        // At factor 1 the erase of a block takes 20 ms.
        EXPECT_EQ(link->read(1, 10).empty(), factor > 0);
        EXPECT_EQ(link->read(1, 1000).size(), factor > 0 ? 1u : 0u);
        EXPECT_EQ(time.nowMs() - t0, factor > 0 ? 20 : 1000);
        op(boot::kStreamStart);
        const std::int64_t t1 = time.nowMs();
        for (int i = 0; i < 10; ++i)
            ASSERT_EQ(link->write(std::vector<std::uint8_t>(64, 0x11), 2000), 64);
        // Each 64-byte chunk takes 1.6 ms to program and the next waits for it;
        // the millisecond clock rounds each wait up.
        const std::int64_t elapsed = time.nowMs() - t1;
        if (factor > 0) {
            EXPECT_GE(elapsed, 15);
            EXPECT_LE(elapsed, 18);
        } else {
            EXPECT_EQ(elapsed, 0);
        }
        TearDown();
    }
}

// ---- faults ----

TEST_F(BootLoader, NoReenumerationKeepsTheProgrammerAway) {
    start();
    sim->setFault(0, "no_reenumeration", "1");
    link->send(frame(cmd::kEnterUpgrade), 100);
    time.advance(11000);  // longer than the program's 1000 ms and 100 x 100 ms
    EXPECT_FALSE(sim->plugged(0));
    EXPECT_FALSE(Link().ok());
    EXPECT_EQ(events, (std::vector<Event>{{SimEventKind::Unplugged, 0}}));
    // Plugged in again by hand: nothing was erased, so the application starts.
    EXPECT_TRUE(sim->plug(0));
    link = std::make_unique<Link>();
    ASSERT_TRUE(link->ok());
    EXPECT_EQ(versionByte(), kDefaultFirmwareVersion);
}

TEST_F(BootLoader, HandshakeFaultCountsEachTry) {
    start();
    enterBootLoader();
    sim->setFault(0, "no_handshake", "19");
    EXPECT_TRUE(handshake());  // the 20th try is answered
    sim->setFault(0, "no_handshake", "20");
    EXPECT_FALSE(handshake());
    EXPECT_TRUE(handshake());
}

TEST_F(BootLoader, EachUpgradeFaultStopsThePhaseItBelongsTo) {
    const auto file = firmwareFile(0x42, 5000);
    const struct {
        const char* fault;
        const char* value;
        Outcome outcome;
        std::size_t blocksAcknowledged;
    } cases[] = {
        {"wrong_start_echo", "1", Outcome::StartWrongReply, 0},
        {"block_ack_missing", "1@2", Outcome::BlockNotAcknowledged, 2},
        {"stream_write_fails", "1@30", Outcome::WriteFailed, 5},
        {"readback_differs", "1@4", Outcome::ReadBackDiffers, 5},
        {"short_readback", "1@1", Outcome::ShortReadBack, 5},
        {"wrong_finish_byte", "1", Outcome::FinishRefused, 5},
        {"no_finish_reply", "1", Outcome::FinishNoReply, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        start();
        std::string error;
        ASSERT_TRUE(sim->setFault(0, c.fault, c.value, &error)) << error;
        const HostRun run = upgradeFromApplication(file);
        EXPECT_EQ(run.outcome, c.outcome);
        EXPECT_EQ(run.blockValues.size(), c.blocksAcknowledged);
        if (c.outcome == Outcome::WriteFailed) {
            EXPECT_EQ(run.chunks, 30u);
        }
        if (c.outcome == Outcome::FinishRefused) {
            EXPECT_EQ(run.finishReply, kReplyImageRefused);
        }
        EXPECT_TRUE(logHas(c.fault));
        if (c.outcome != Outcome::StartWrongReply) {
            // The application area was erased: still in the boot loader.
            expectStillInBootLoader();
        }
        // The fault fired once; the retry from operation 13 goes through.
        EXPECT_EQ(upgrade(file).outcome, Outcome::Done);
        reopenAfterRestart();
        EXPECT_EQ(versionByte(), 0x42);
        TearDown();
    }
}

TEST_F(BootLoader, ShortReadBackAndDifferenceAreAboutTheTransferOnly) {
    // The stored image is sound: a finish right after the failed compare takes it.
    start();
    const auto file = firmwareFile(0x42, 2048);
    enterBootLoader();
    sim->setFault(0, "readback_differs", "1");
    ASSERT_EQ(upgrade(file).outcome, Outcome::ReadBackDiffers);
    op(boot::kFinish, file[file.size() - 4]);
    EXPECT_EQ(link->read(1, 1000), std::vector<std::uint8_t>{boot::kFinish});
}

TEST_F(BootLoader, BootFaultsAreNamedLikeTheOthers) {
    Faults faults;
    for (const char* name : {"no_reenumeration", "no_handshake", "wrong_start_echo",
                             "block_ack_missing", "stream_write_fails", "readback_differs",
                             "short_readback", "wrong_finish_byte", "no_finish_reply"}) {
        SCOPED_TRACE(name);
        std::string error;
        ASSERT_TRUE(setFault(faults, name, "2@1", &error)) << error;
        EXPECT_NE(describeFaults(faults).find(std::string(name) + "=2@1"), std::string::npos);
        EXPECT_FALSE(setFault(faults, name, "sometimes", &error));
        EXPECT_NE(std::find(faultNames().begin(), faultNames().end(), name), faultNames().end());
    }
    ASSERT_TRUE(setFault(faults, "clear", "1", nullptr));
    EXPECT_EQ(describeFaults(faults), "none");
}

// ---- make-firmware ----

TEST(MakeFirmware, VersionTextGivesTheVersionByte) {
    const std::pair<const char*, std::uint8_t> good[] = {
        {"1.0", 0x00}, {"2.3", 0x13}, {"2.A", 0x1A}, {"2.a", 0x1A}, {"16.F", 0xFF}, {"10.9", 0x99}};
    for (const auto& [text, byte] : good) {
        SCOPED_TRACE(text);
        std::string error;
        EXPECT_EQ(parseFirmwareVersion(text, &error), byte) << error;
    }
    for (const char* text : {"0.1", "17.0", "2.10", "2.", "2", ".3", "x.1", "2.G", "", "-1.2",
                             "0x2.3", "+2.3", "2.3.1"}) {
        SCOPED_TRACE(text);
        std::string error;
        EXPECT_EQ(parseFirmwareVersion(text, &error), std::nullopt);
        EXPECT_FALSE(error.empty());
    }
}

TEST(MakeFirmware, ArgumentsAreCheckedBeforeAnythingIsWritten) {
    using Args = std::vector<std::string_view>;
    std::string error;
    auto ok = parseMakeFirmwareArguments(Args{"--version", "2.3", "out.nyr"}, &error);
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(ok->version, 0x13);
    EXPECT_EQ(ok->size, kDefaultFirmwareFileBytes);
    EXPECT_FALSE(ok->badChecksum);
    EXPECT_EQ(ok->output, "out.nyr");
    ok = parseMakeFirmwareArguments(
        Args{"x.nyr", "--size", "300K", "--bad-checksum", "--version", "1.0"}, &error);
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(ok->size, 300u * 1024u);
    EXPECT_TRUE(ok->badChecksum);
    EXPECT_EQ(ok->output, "x.nyr");

    const struct {
        Args args;
        const char* message;
    } bad[] = {
        {{"out.nyr"}, "--version"},
        {{"--version", "2.3"}, "no output"},
        {{"--version"}, "needs a value"},
        {{"--version", "2.3", "a.nyr", "b.nyr"}, "only one"},
        {{"--version", "2.3", "--force", "a.nyr"}, "unknown option"},
        {{"--version", "2.3", "--size", "7", "a.nyr"}, "size"},
        {{"--version", "2.3", "--size", "2M", "a.nyr"}, "size"},
        {{"--version", "2.3", "--size", "many", "a.nyr"}, "size"},
        {{"--version", "2.3", "a.nyr", "--size"}, "needs a value"},
        {{"--version", "9.Z", "a.nyr"}, "MINOR"},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.message);
        error.clear();
        EXPECT_FALSE(parseMakeFirmwareArguments(c.args, &error));
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}

TEST(MakeFirmware, FilesPassTheirOwnCheckAtEverySize) {
    for (const std::size_t size :
         {kMinFirmwareFileBytes, std::size_t{1025}, std::size_t{5000}, kMaxFirmwareFileBytes}) {
        SCOPED_TRACE(size);
        FirmwareFileRequest request;
        request.version = 0x2B;
        request.size = size;
        const auto file = makeFirmwareFile(request);
        ASSERT_EQ(file.size(), size);
        EXPECT_TRUE(firmwareChecksumMatches(file));
        EXPECT_EQ(firmwareVersionOf(std::span(file).first(size - 3)), 0x2B);
        request.badChecksum = true;
        const auto bad = makeFirmwareFile(request);
        EXPECT_FALSE(firmwareChecksumMatches(bad));
        EXPECT_TRUE(std::equal(file.begin(), file.end() - 1, bad.begin()));
    }
    // Two versions differ beyond the version byte, so a stale image shows.
    const auto a = firmwareFile(0x13, 2000);
    const auto b = firmwareFile(0x14, 2000);
    EXPECT_NE(std::vector(a.begin() + 5, a.end()), std::vector(b.begin() + 5, b.end()));
}

TEST(MakeFirmware, WriteFailureIsReported) {
    testing::TempDir dir;
    std::string error;
    const std::vector<std::uint8_t> bytes{1, 2, 3};
    EXPECT_FALSE(writeFirmwareFile(dir.file("missing/x.nyr"), bytes, &error));
    EXPECT_NE(error.find("cannot create"), std::string::npos);
    ASSERT_TRUE(writeFirmwareFile(dir.file("x.nyr"), bytes, &error)) << error;
    std::ifstream in(dir.file("x.nyr"), std::ios::binary);
    EXPECT_EQ(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {}), bytes);
}

#ifdef NYRA_FIRMWARE_DATA_DIR
std::vector<std::uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(MakeFirmware, ShippedDemoFilesAreWhatTheirNamesSay) {
    const auto good = readFile(NYRA_FIRMWARE_DATA_DIR "/demo-v2.3.nyr");
    const auto bad = readFile(NYRA_FIRMWARE_DATA_DIR "/demo-bad-checksum.nyr");
    ASSERT_FALSE(good.empty());
    ASSERT_EQ(bad.size(), good.size());
    EXPECT_TRUE(firmwareChecksumMatches(good));
    EXPECT_EQ(firmwareVersionOf(std::span(good).first(good.size() - 3)), 0x13);
    EXPECT_FALSE(firmwareChecksumMatches(bad));
    EXPECT_TRUE(std::equal(good.begin(), good.end() - 3, bad.begin()));  // only the checksum
    // And the tool still makes them byte for byte.
    FirmwareFileRequest request;
    request.version = 0x13;
    EXPECT_EQ(makeFirmwareFile(request), good);
    request.badChecksum = true;
    EXPECT_EQ(makeFirmwareFile(request), bad);
}
#endif

}  // namespace
}  // namespace nyra::sim
