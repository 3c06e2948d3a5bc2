// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "device/usb_api.h"
#include "sim/control_server.h"
#include "sim_test_util.h"

namespace nyra::sim {
namespace {

using testing::TempDir;

std::string demoDir() {
    const char* bin = std::getenv("NYRA_TEST_BINARY_DIR");
    return bin ? std::string(bin) + "/demo" : std::string();
}

// Runs a command and returns its exit status and standard output.
std::pair<int, std::string> run(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe)
        return {-1, out};
    char buf[512];
    while (std::fgets(buf, sizeof buf, pipe))
        out += buf;
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

bool readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
}

// The shim exactly as the program loads it: dlopen of a path, local symbols.
class Shim : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string lib = demoDir() + "/rwb_mod.so";
        if (demoDir().empty() || !std::filesystem::exists(lib)) {
            GTEST_SKIP() << "rwb_mod.so not built (NYRA_TEST_BINARY_DIR unset)";
        }
        socketPath = dir.file("ctl.sock");
        std::ofstream(dir.file("sim.conf")) << "chip=AT24C02\nimage=chip.bin\ntiming=0\n"
                                            << "control=" << socketPath << "\n";
        ::setenv("NYRA_SIM_CONFIG", dir.file("sim.conf").c_str(), 1);
        handle = ::dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << ::dlerror();
        void** slots[12] = {reinterpret_cast<void**>(&api.init),
                            reinterpret_cast<void**>(&api.findBusses),
                            reinterpret_cast<void**>(&api.findDevices),
                            reinterpret_cast<void**>(&api.getBusses),
                            reinterpret_cast<void**>(&api.open),
                            reinterpret_cast<void**>(&api.setConfiguration),
                            reinterpret_cast<void**>(&api.claimInterface),
                            reinterpret_cast<void**>(&api.releaseInterface),
                            reinterpret_cast<void**>(&api.close),
                            reinterpret_cast<void**>(&api.bulkWrite),
                            reinterpret_cast<void**>(&api.bulkRead),
                            reinterpret_cast<void**>(&api.interruptWrite)};
        for (int i = 0; i < 12; ++i) {
            *slots[i] = ::dlsym(handle, kUsbApiSymbols[i]);
            EXPECT_NE(*slots[i], nullptr) << kUsbApiSymbols[i];
        }
        eventFd = reinterpret_cast<int (*)()>(::dlsym(handle, "nyra_sim_event_fd"));
        ASSERT_NE(eventFd, nullptr);
    }
    void TearDown() override {
        if (handle)
            ::dlclose(handle);
        ::unsetenv("NYRA_SIM_CONFIG");
    }
    usb_dev_handle* openFirst() {
        api.init();
        api.findBusses();
        api.findDevices();
        for (usb_bus* bus = api.getBusses(); bus; bus = bus->next) {
            for (struct usb_device* dev = bus->devices; dev; dev = dev->next) {
                if (dev->descriptor.idVendor == kProgrammerVendorId &&
                    dev->descriptor.idProduct == kProgrammerProductId) {
                    usb_dev_handle* h = api.open(dev);
                    if (h && api.setConfiguration(h, 1) == 0 && api.claimInterface(h, 0) == 0) {
                        return h;
                    }
                }
            }
        }
        return nullptr;
    }
    std::string control(const std::string& line) {
        std::string reply;
        std::string error;
        EXPECT_TRUE(sendControlRequest(socketPath, line, reply, &error)) << error;
        return reply;
    }

    TempDir dir;
    std::string socketPath;
    void* handle = nullptr;
    UsbApi api;
    int (*eventFd)() = nullptr;
};

TEST_F(Shim, LoadsLocallyAndDrivesTheConfiguredDevice) {
    ASSERT_TRUE(api.complete());
    // Nothing of ours leaks into the global namespace of the process.
    EXPECT_EQ(::dlsym(RTLD_DEFAULT, "nyra_sim_event_fd"), nullptr);
    usb_dev_handle* h = openFirst();
    ASSERT_NE(h, nullptr);
    const auto probe = testing::frame(7, {.bus = 1, .familyBit = true});
    ASSERT_EQ(api.interruptWrite(h, 2, reinterpret_cast<const char*>(probe.data()), 20, 5000), 20);
    unsigned char id[3] = {};
    ASSERT_EQ(api.bulkRead(h, 0x83, reinterpret_cast<char*>(id), 3, 5000), 3);
    EXPECT_EQ(id[2], 0x01);  // an I2C EEPROM answers with 000001

    // Program four bytes; the image file follows.
    testing::Params p = testing::paramsFor(*builtinChip("AT24C02"));
    const auto start = testing::frame(1, p);
    api.interruptWrite(h, 2, reinterpret_cast<const char*>(start.data()), 20, 5000);
    EXPECT_EQ(api.bulkWrite(h, 1, "\x01\x02\x03\x04", 4, 60000), 4);
    const auto end = testing::frame32(2, p, 4);
    api.interruptWrite(h, 2, reinterpret_cast<const char*>(end.data()), 20, 1000);
    char done = 0;
    EXPECT_EQ(api.bulkRead(h, 0x83, &done, 1, 6000), 1);
    EXPECT_EQ(done, 0x02);
    std::ifstream image(dir.file("chip.bin"), std::ios::binary);
    char saved[4] = {};
    image.read(saved, 4);
    EXPECT_EQ(std::string(saved, 4), "\x01\x02\x03\x04");
    api.releaseInterface(h, 0);
    api.close(h);
}

TEST_F(Shim, ControlSocketUnplugsAndTheEventFdSaysSo) {
    ASSERT_TRUE(api.complete());
    const int fd = eventFd();
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(readable(fd));
    api.init();
    EXPECT_EQ(api.findBusses(), 1);
    EXPECT_EQ(api.findDevices(), 2);
    EXPECT_EQ(control("unplug"), "ok\n");
    EXPECT_TRUE(readable(fd));
    std::uint64_t count = 0;
    ASSERT_EQ(::read(fd, &count, sizeof count), static_cast<ssize_t>(sizeof count));
    EXPECT_EQ(count, 1u);
    EXPECT_FALSE(readable(fd));
    EXPECT_EQ(api.findDevices(), 1);
    EXPECT_EQ(openFirst(), nullptr);
    EXPECT_EQ(control("plug 1"), "ok\n");
    EXPECT_EQ(control("swap 93C46x8"), "ok\n");
    ASSERT_EQ(::read(fd, &count, sizeof count), static_cast<ssize_t>(sizeof count));
    EXPECT_EQ(count, 2u);
    const std::string status = control("status");
    EXPECT_NE(status.find("socket: 93C46x8"), std::string::npos) << status;

    // The command-line tool speaks the same protocol.
    const std::string tool = demoDir() + "/kvq-sim --socket " + socketPath;
    if (std::filesystem::exists(demoDir() + "/kvq-sim")) {
        auto [code, out] = run(tool + " status");
        EXPECT_EQ(code, 0);
        EXPECT_EQ(out.rfind("programmer 1: plugged", 0), 0u) << out;
        EXPECT_EQ(run(tool + " plug 1").first, 1);  // already plugged
        EXPECT_EQ(run(tool + " explode").first, 2);
        EXPECT_EQ(run(tool + " fault stall 1").first, 0);
        EXPECT_NE(control("status").find("faults: stall=1"), std::string::npos);
        EXPECT_EQ(run(demoDir() + "/kvq-sim --socket " + dir.file("none.sock") + " status").first,
                  2);
    }
}

TEST_F(Shim, UnloadStopsTheControlSocket) {
    ASSERT_TRUE(api.complete());
    api.init();
    EXPECT_TRUE(std::filesystem::exists(socketPath));
    ::dlclose(handle);
    handle = nullptr;
    EXPECT_FALSE(std::filesystem::exists(socketPath));
}

}  // namespace
}  // namespace nyra::sim
