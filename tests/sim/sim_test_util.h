// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <usb.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "device/usb_api.h"
#include "sim/chip_model.h"
#include "sim/simulator.h"
#include "sim/usb_binding.h"

namespace nyra::sim::testing {

// Chip parameters of a command frame, the way the program fills bytes 1..12.
struct Params {
    std::uint8_t bus = 0;
    std::uint8_t parameter = 0;
    std::uint8_t pageCode = 8;    // 256-byte pages
    std::uint8_t sectorCode = 2;  // 4 KiB sectors
    std::uint32_t size = 0;
    bool wide = false;
    bool familyBit = false;
    std::uint8_t mainAddress = 0;
    std::uint8_t addressBytes = 3;
    std::uint8_t addressExtra = 0;
};

inline std::uint8_t sizeCode(std::uint32_t v) {
    for (std::uint8_t i = 0; i <= 16; ++i) {
        if (v == (1u << i))
            return i;
    }
    return static_cast<std::uint8_t>(v);
}

// What a catalogue record of this chip would put into the frame.
inline Params paramsFor(const ChipModel& m) {
    Params p;
    p.bus = busCodeOf(m.family);
    p.size = m.size;
    p.pageCode = sizeCode(m.pageSize);
    p.sectorCode = m.sectorSize ? sizeCode(m.sectorSize / 1024) : 0;
    if (m.family == Family::Microwire) {
        p.parameter = m.microwireParameter();
        p.wide = m.organisation == 16;
        p.pageCode = 0;  // one word
    }
    if (m.family == Family::SpiFlash && !m.pageProgram)
        p.parameter = 0x02;
    return p;
}

inline std::array<std::uint8_t, 20> frame(std::uint8_t code, const Params& p = {},
                                          std::initializer_list<std::uint8_t> argument = {}) {
    std::array<std::uint8_t, 20> f{};
    f[0] = 0xA5;
    f[1] =
        static_cast<std::uint8_t>((code & 0x3F) | (p.wide ? 0x40 : 0) | (p.familyBit ? 0x80 : 0));
    f[2] = p.bus;
    f[3] = p.parameter;
    f[4] = p.pageCode;
    f[5] = p.sectorCode;
    f[6] = static_cast<std::uint8_t>(p.size >> 24);
    f[7] = static_cast<std::uint8_t>(p.size >> 16);
    f[8] = static_cast<std::uint8_t>(p.size >> 8);
    f[9] = static_cast<std::uint8_t>(p.size);
    f[10] = p.mainAddress;
    f[11] = p.addressBytes;
    f[12] = p.addressExtra;
    std::size_t i = 13;
    for (const std::uint8_t b : argument)
        f[i++] = b;
    f[19] = 0x5A;
    return f;
}

inline std::initializer_list<std::uint8_t> noArgument() {
    return {};
}

inline std::array<std::uint8_t, 4> be32(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
            static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}

inline std::array<std::uint8_t, 20> frame32(std::uint8_t code, const Params& p, std::uint32_t arg) {
    const auto a = be32(arg);
    return frame(code, p, {a[0], a[1], a[2], a[3]});
}

// The devices with the programmer's identity, in bus order.
inline std::vector<struct usb_device*> programmers() {
    std::vector<struct usb_device*> found;
    for (usb_bus* bus = usb::get_busses(); bus; bus = bus->next) {
        for (struct usb_device* dev = bus->devices; dev; dev = dev->next) {
            if (dev->descriptor.idVendor == kProgrammerVendorId &&
                dev->descriptor.idProduct == kProgrammerProductId) {
                found.push_back(dev);
            }
        }
    }
    return found;
}

// An opened and claimed programmer, spoken to through the in-process
// libusb functions the way the program's link does.
class Link {
public:
    explicit Link(std::size_t index = 0) {
        usb::init();
        usb::find_busses();
        usb::find_devices();
        const auto devs = programmers();
        if (index >= devs.size())
            return;
        handle_ = usb::open(devs[index]);
        if (!handle_)
            return;
        if (usb::set_configuration(handle_, 1) < 0 || usb::claim_interface(handle_, 0) < 0) {
            usb::close(handle_);
            handle_ = nullptr;
        }
    }
    ~Link() {
        if (handle_) {
            usb::release_interface(handle_, 0);
            usb::close(handle_);
        }
    }
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    bool ok() const { return handle_ != nullptr; }
    usb_dev_handle* handle() const { return handle_; }

    int send(const std::array<std::uint8_t, 20>& f, int timeout = 1000) {
        return usb::interrupt_write(handle_, 2, reinterpret_cast<const char*>(f.data()), 20,
                                    timeout);
    }
    int write(const std::vector<std::uint8_t>& data, int timeout = 60000) {
        return usb::bulk_write(handle_, 1, reinterpret_cast<const char*>(data.data()),
                               static_cast<int>(data.size()), timeout);
    }
    // The bytes read, or empty with the result in lastResult.
    std::vector<std::uint8_t> read(int size, int timeout = 1000) {
        std::vector<std::uint8_t> buf(static_cast<std::size_t>(size));
        lastResult =
            usb::bulk_read(handle_, 0x83, reinterpret_cast<char*>(buf.data()), size, timeout);
        buf.resize(lastResult > 0 ? static_cast<std::size_t>(lastResult) : 0);
        return buf;
    }
    // Reads until total bytes arrived (transfers of at most chunk bytes).
    std::vector<std::uint8_t> readAll(std::size_t total, int chunk = 8192, int timeout = 5000) {
        std::vector<std::uint8_t> out;
        while (out.size() < total) {
            const auto part = read(chunk, timeout);
            if (part.empty())
                break;
            out.insert(out.end(), part.begin(), part.end());
        }
        return out;
    }
    std::uint32_t identity(const Params& p) {
        send(frame(7, p));
        const auto r = read(3, 5000);
        if (r.size() != 3)
            return 0xDEADBEEF;
        return (std::uint32_t{r[0]} << 16) | (std::uint32_t{r[1]} << 8) | r[2];
    }

    int lastResult = 0;

private:
    usb_dev_handle* handle_ = nullptr;
};

}  // namespace nyra::sim::testing

#include <stdlib.h>
#include <filesystem>

namespace nyra::sim::testing {

// A fresh folder for one test, removed afterwards.
class TempDir {
public:
    TempDir() {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/nyra-sim-XXXXXX";
        if (::mkdtemp(pattern.data()))
            path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

}  // namespace nyra::sim::testing
