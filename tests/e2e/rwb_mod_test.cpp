// SPDX-License-Identifier: GPL-3.0-or-later
// Loads the built rwb_mod.so exactly as the program does and talks to the
// simulated programmer through the link.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "device/command_channel.h"
#include "device/usb_library.h"
#include "support/fake_link_host.h"
#include "support/temp_dir.h"

namespace nyra {
namespace {

std::string demoFolder() {
    const char* dir = std::getenv("NYRA_TEST_BINARY_DIR");
    return std::string(dir ? dir : ".") + "/demo";
}

class RwbModTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir.write("kvq-sim.conf", "programmers=1\nchip=W25Q64FV\nimage=" + dir.file("chip.bin") +
                                      "\ntiming=0\ncontrol=off\nserial=1193046\n");
        setenv("NYRA_SIM_CONFIG", dir.file("kvq-sim.conf").c_str(), 1);
    }
    TempDir dir;
    testing::FakeLinkHost host;
};

TEST_F(RwbModTest, ProgramLoadsTheShimBesideItAndFindsTheSimulatedProgrammer) {
    UsbLibrary library = UsbLibrary::loadFor(demoFolder());
    ASSERT_TRUE(library.loaded()) << library.error();
    EXPECT_EQ(library.path(), demoFolder() + "/rwb_mod.so");
    EXPECT_GE(library.eventFd(), 0);

    Link link(library.api(), host);
    ASSERT_TRUE(link.connect(true));
    CommandFrame block{};
    block[0] = kFrameStart;
    block[19] = kFrameEnd;
    CommandChannel channel(link, block);
    std::uint8_t reply[8] = {};

    ASSERT_TRUE(channel.sendCommand(cmd::kSerialNumber, 100));
    ASSERT_EQ(link.readReply(reply, 7, 100), 7);
    EXPECT_EQ((reply[4] << 16) | (reply[5] << 8) | reply[6], 1193046);

    // Probe 1 of identification: SPI bus, standard parameter.
    ASSERT_TRUE(channel.sendCommand(cmd::kReadIdentity, 5000));
    ASSERT_EQ(link.readReply(reply, 3, 5000), 3);
    EXPECT_EQ(reply[0], 0xEF);
    EXPECT_EQ(reply[1], 0x40);
    EXPECT_EQ(reply[2], 0x17);

    EXPECT_EQ(link.ensureLink(), kLinkGoOn);
    link.releaseAndClose(link.handle(), 0);
    EXPECT_TRUE(host.alerts.empty());
}

TEST_F(RwbModTest, EveryFunctionIsBoundToTheSymbolOfItsName) {
    const std::string path = demoFolder() + "/rwb_mod.so";
    UsbLibrary library = UsbLibrary::loadFile(path);
    ASSERT_TRUE(library.loaded()) << library.error();
    // The same object, already loaded by the library above.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    ASSERT_NE(handle, nullptr);
    const UsbApi& api = library.api();
    const void* bound[12] = {reinterpret_cast<const void*>(api.init),
                             reinterpret_cast<const void*>(api.findBusses),
                             reinterpret_cast<const void*>(api.findDevices),
                             reinterpret_cast<const void*>(api.getBusses),
                             reinterpret_cast<const void*>(api.open),
                             reinterpret_cast<const void*>(api.setConfiguration),
                             reinterpret_cast<const void*>(api.claimInterface),
                             reinterpret_cast<const void*>(api.releaseInterface),
                             reinterpret_cast<const void*>(api.close),
                             reinterpret_cast<const void*>(api.bulkWrite),
                             reinterpret_cast<const void*>(api.bulkRead),
                             reinterpret_cast<const void*>(api.interruptWrite)};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(bound[i], dlsym(handle, kUsbApiSymbols[i])) << kUsbApiSymbols[i];
    dlclose(handle);
}

TEST_F(RwbModTest, AMovedLibraryKeepsItsFunctionsAndTheSourceLetsGo) {
    UsbLibrary first = UsbLibrary::loadFile(demoFolder() + "/rwb_mod.so");
    ASSERT_TRUE(first.loaded()) << first.error();
    const auto init = first.api().init;
    UsbLibrary second = std::move(first);
    EXPECT_TRUE(second.loaded());
    EXPECT_EQ(second.api().init, init);
    EXPECT_EQ(second.path(), demoFolder() + "/rwb_mod.so");
    EXPECT_GE(second.eventFd(), 0);
    // What is left behind after a move is part of the contract.
    EXPECT_FALSE(first.loaded());
    EXPECT_LT(first.eventFd(), 0);
    UsbLibrary third;
    third = std::move(second);
    EXPECT_TRUE(third.loaded());
    EXPECT_EQ(third.api().init, init);
}

TEST(ExecutableDirectory, IsTheFolderOfTheRunningProgram) {
    const std::string folder = executableDirectory();
    EXPECT_TRUE(std::filesystem::exists(folder + "/test_e2e")) << folder;
}

TEST_F(RwbModTest, NoProgrammerAttachedIsReportedByTheLink) {
    dir.write("kvq-sim.conf", "programmers=0\ncontrol=off\ntiming=0\nimage=none\n");
    UsbLibrary library = UsbLibrary::loadFile(demoFolder() + "/rwb_mod.so");
    ASSERT_TRUE(library.loaded()) << library.error();
    Link link(library.api(), host);
    EXPECT_EQ(link.ensureLink(), kLinkStop);
    EXPECT_EQ(host.boxes, std::vector<TextKey>{itext(34)});
}

// The installed demo runs the program in place: the library the environment
// names wins over the folder's own and the system's, and a wrong name is an
// error, not a silent fall-back to real hardware.
TEST_F(RwbModTest, TheLibraryTheEnvironmentNamesIsLoadedBeforeAnyOther) {
    const std::string shim = demoFolder() + "/rwb_mod.so";
    const std::string elsewhere = dir.folder();  // holds no library
    const struct {
        const char* named;
        std::string path;  // what was loaded, or what failed to load
    } cases[] = {{nullptr, UsbLibrary::kSystemLibrary},
                 {"", UsbLibrary::kSystemLibrary},
                 {shim.c_str(), shim},
                 {"/nonexistent/rwb_mod.so", "/nonexistent/rwb_mod.so"}};
    for (const auto& c : cases) {
        if (c.named)
            setenv(UsbLibrary::kLibraryVariable, c.named, 1);
        else
            unsetenv(UsbLibrary::kLibraryVariable);
        UsbLibrary library = UsbLibrary::loadFor(elsewhere);
        EXPECT_EQ(library.path(), c.path);
        if (c.path == shim) {
            EXPECT_TRUE(library.loaded()) << library.error();
            EXPECT_GE(library.eventFd(), 0);  // the simulator, not the system's library
        } else if (!library.loaded()) {
            EXPECT_NE(library.error().find(c.path), std::string::npos) << library.error();
        }
    }
    unsetenv(UsbLibrary::kLibraryVariable);
}

TEST(UsbLibraryErrors, MissingLibraryOrSymbolsGiveAClearError) {
    UsbLibrary missing = UsbLibrary::loadFile("/nonexistent/rwb_mod.so");
    EXPECT_FALSE(missing.loaded());
    EXPECT_NE(missing.error().find("Cannot load the USB library"), std::string::npos);

    UsbLibrary wrong = UsbLibrary::loadFile("libm.so.6");
    EXPECT_FALSE(wrong.loaded());
    EXPECT_NE(wrong.error().find("usb_interrupt_write"), std::string::npos);
    EXPECT_FALSE(wrong.api().complete());
    EXPECT_EQ(wrong.eventFd(), -1);
}

}  // namespace
}  // namespace nyra
