// Drives the control device of the driver's test build from a Wine test: bindings, frames, drains.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/zelk_records.h"
#include "platform/kernel/guard_test_control.h"

namespace {

bool ParseHexBytes(const char* text, std::vector<uint8_t>* bytes) {
    const size_t length = std::strlen(text);
    if (length % 2 != 0) {
        return false;
    }
    for (size_t i = 0; i < length; i += 2) {
        char pair[3] = {text[i], text[i + 1], 0};
        char* end = nullptr;
        const unsigned long value = std::strtoul(pair, &end, 16);
        if (*end != 0) {
            return false;
        }
        bytes->push_back(static_cast<uint8_t>(value));
    }
    return true;
}

HANDLE OpenControlDevice() {
    return CreateFileA(ZELKARP_USER_DEVICE_PATH, 0, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

// The program's file name, as the kernel keeps it in a process object.
std::string OwnImageName() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const char* name = std::strrchr(path, '\\');
    return name == nullptr ? path : name + 1;
}

int Usage() {
    std::fprintf(
        stderr,
        "usage: zelk_guard_client bind HEX | inject in|out ADAPTER_MAC_HEX FRAME_HEX... | read BYTES\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return Usage();
    }
    HANDLE device = OpenControlDevice();
    if (device == INVALID_HANDLE_VALUE) {
        std::printf("open failed %lu\n", GetLastError());
        return 3;
    }
    const std::string command = argv[1];
    int result = 0;
    DWORD returned = 0;
    if (command == "bind" && argc == 3) {
        std::vector<uint8_t> bindings;
        if (!ParseHexBytes(argv[2], &bindings)) {
            return Usage();
        }
        const BOOL ok = DeviceIoControl(device, IOCTL_ZELKARP_SET_BINDINGS, bindings.data(),
                                        static_cast<DWORD>(bindings.size()), nullptr, 0, &returned, nullptr);
        std::printf("bind %s\n", ok ? "ok" : "failed");
        result = ok ? 0 : 1;
    } else if (command == "inject" && argc >= 5) {
        std::vector<uint8_t> adapter;
        if (!ParseHexBytes(argv[3], &adapter) || adapter.size() != 6) {
            return Usage();
        }
        const std::string imageName = OwnImageName();
        for (int i = 4; i < argc; ++i) {
            GuardTestFrame frame{};
            frame.Direction = std::strcmp(argv[2], "in") == 0 ? 1u : 0u;
            std::memcpy(frame.AdapterMac, adapter.data(), 6);
            std::memcpy(frame.ImageName, imageName.data(),
                        std::min(imageName.size(), sizeof(frame.ImageName)));
            std::vector<uint8_t> bytes;
            if (!ParseHexBytes(argv[i], &bytes) || bytes.size() > GUARD_TEST_FRAME_MAX) {
                return Usage();
            }
            std::memcpy(frame.Frame, bytes.data(), bytes.size());
            frame.Length = static_cast<uint32_t>(bytes.size());
            uint32_t verdict = 0;
            const BOOL ok = DeviceIoControl(device, IOCTL_ZELKARP_TEST_INSPECT, &frame,
                                            GUARD_TEST_FRAME_HEADER_SIZE + frame.Length, &verdict,
                                            sizeof(verdict), &returned, nullptr);
            std::printf("%s\n", !ok ? "failed" : verdict == 1 ? "drop" : "pass");
        }
    } else if (command == "read" && argc == 3) {
        std::vector<uint8_t> buffer(std::strtoul(argv[2], nullptr, 10));
        const BOOL ok = DeviceIoControl(device, IOCTL_ZELKARP_READ_EVENTS, nullptr, 0, buffer.data(),
                                        static_cast<DWORD>(buffer.size()), &returned, nullptr);
        std::printf("read %s %lu\n", ok ? "ok" : "failed", ok ? returned : 0ul);
        for (DWORD i = 0; ok && i < returned; ++i) {
            std::printf("%02x%s", buffer[i], (i + 1) % GUARD_EVENT_SIZE == 0 ? "\n" : "");
        }
        result = ok ? 0 : 1;
    } else {
        result = Usage();
    }
    CloseHandle(device);
    return result;
}
