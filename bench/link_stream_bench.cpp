// SPDX-License-Identifier: GPL-3.0-or-later
// Throughput of 4096-byte stream writes and 8192-byte reads through the link
// into the simulated programmer, as a ratio to a plain memcpy of the same
// bytes measured in the same run and to the USB 2.0 high-speed bulk limit
// (13 packets of 512 bytes per 125 us microframe). The host path should be
// at least ten times that limit so that the program is never the bottleneck.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "device/command_channel.h"
#include "sim/usb_binding.h"

namespace {

using Clock = std::chrono::steady_clock;

class QuietHost : public nyra::LinkHost {
public:
    void statusAlert(nyra::TextKey) override {}
    void warningBox(nyra::TextKey) override {}
    void greyMenuCommand(int) override {}
    bool programmerBlocked() const override { return false; }
    bool deviceChangePending() const override { return false; }
};

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double memcpySeconds(std::size_t total, std::size_t chunk) {
    std::vector<std::uint8_t> source(chunk, 0x5A);
    std::vector<std::uint8_t> target(total);
    const auto start = Clock::now();
    for (std::size_t offset = 0; offset < total; offset += chunk) {
        std::memcpy(target.data() + offset, source.data(), chunk);
    }
    volatile std::uint8_t sink = target[total - 1];
    (void)sink;
    return secondsSince(start);
}

}  // namespace

int main() {
    nyra::sim::SimulatorOptions options;
    options.chip = nyra::sim::builtinChip("W25Q64FV");
    nyra::sim::Simulator simulator(options);
    nyra::sim::usb::ScopedBinding binding(simulator);
    const nyra::UsbApi api = nyra::sim::usb::api();
    QuietHost host;
    nyra::Link link(api, host);
    nyra::CommandFrame block{};
    block[0] = nyra::kFrameStart;
    block[19] = nyra::kFrameEnd;
    const std::uint32_t size = 8u << 20;
    const auto sizeBytes = nyra::bigEndian32(size);
    std::copy(sizeBytes.begin(), sizeBytes.end(), block.begin() + 6);
    nyra::CommandChannel channel(link, block);
    if (!link.connect(false)) {
        std::fprintf(stderr, "simulated programmer not found\n");
        return 1;
    }

    constexpr int kChunk = 4096;
    std::vector<std::uint8_t> chunk(kChunk, 0xA5);
    channel.sendCommand(nyra::cmd::kProgramStart, 5000);
    auto start = Clock::now();
    for (std::uint32_t sent = 0; sent < size; sent += kChunk) {
        if (link.writeStreamChunk(chunk.data(), kChunk, 60000) != kChunk) {
            std::fprintf(stderr, "stream write failed at %u\n", sent);
            return 1;
        }
    }
    const double writeSeconds = secondsSince(start);
    channel.sendCommand(nyra::cmd::kStreamEnd, 1000, sizeBytes);
    std::uint8_t done = 0;
    link.readReply(&done, 1, 6000);

    constexpr int kRead = 8192;
    std::vector<std::uint8_t> buffer(kRead);
    channel.sendCommand(nyra::cmd::kRead, 5000);
    start = Clock::now();
    for (std::uint32_t got = 0; got < size;) {
        const int n = link.readReply(buffer.data(), kRead, 5000);
        if (n <= 0) {
            std::fprintf(stderr, "read failed at %u\n", got);
            return 1;
        }
        got += static_cast<std::uint32_t>(n);
    }
    const double readSeconds = secondsSince(start);

    const double copyWrite = memcpySeconds(size, kChunk);
    const double copyRead = memcpySeconds(size, kRead);
    constexpr double kUsbBulkLimit = 13.0 * 512 * 8000;  // bytes per second
    const auto report = [&](const char* what, double took, double copy) {
        const double rate = size / took;
        std::printf("%-20s %8.1f MB/s  memcpy ratio %.4f  USB 2.0 bulk limit ratio %.1f%s\n", what,
                    rate / 1e6, copy / took, rate / kUsbBulkLimit,
                    rate >= 10 * kUsbBulkLimit ? "" : "  (below 10x)");
    };
    report("stream write 4096 B:", writeSeconds, copyWrite);
    report("read 8192 B:", readSeconds, copyRead);
    return 0;
}
