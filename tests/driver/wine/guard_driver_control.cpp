#include "tests/driver/wine/guard_driver_control.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

namespace zelk::test {

namespace {

const char kUnloadLine[] = "[Zelk] ARP Protector Driver: Unload.\n";

std::vector<uint8_t> Unhex(const std::string& text) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

} // namespace

std::string HexBytes(const void* bytes, size_t length) {
    std::string text;
    char pair[3];
    for (size_t i = 0; i < length; ++i) {
        std::snprintf(pair, sizeof(pair), "%02x", static_cast<const uint8_t*>(bytes)[i]);
        text += pair;
    }
    return text;
}

std::vector<std::string> OutputLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

GuardDriverControl::GuardDriverControl(const WinePrefix& prefix) : m_prefix(prefix) {
    m_client =
        m_prefix.CopyIn(WineWin64BuildPath("tests/wine/programs/driver/zelk_guard_client.exe"), "C:\\zelk");
}

bool GuardDriverControl::Start() {
    m_prefix.CopyIn(WineWin64BuildPath("platform/kernel/ZELKARP.sys"), "C:\\windows\\system32\\drivers");
    Sc({"create", "ZELKARP", "type=", "kernel", "binPath=", "C:\\windows\\system32\\drivers\\ZELKARP.sys"});
    Sc({"start", "ZELKARP"});
    // The service manager may answer before the driver's entry has created the device.
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (DrainAnswer(GUARD_EVENT_SIZE).rfind("open failed", 0) != 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    return false;
}

bool GuardDriverControl::StopAndWaitForUnload() {
    Sc({"stop", "ZELKARP"});
    for (int attempt = 0; attempt < 50; ++attempt) {
        const auto lines = m_prefix.BootDebugLines();
        if (std::find(lines.begin(), lines.end(), kUnloadLine) != lines.end()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

std::string GuardDriverControl::BindBytes(const std::string& hex) {
    const auto lines = Client({"bind", hex});
    return lines.empty() ? std::string() : lines[0];
}

std::string GuardDriverControl::Bind(const std::vector<ArpBinding>& bindings) {
    return BindBytes(HexBytes(bindings.data(), bindings.size() * sizeof(ArpBinding)));
}

std::vector<std::string> GuardDriverControl::Inject(GuardDirection direction, const MacAddress& adapterMac,
                                                    const std::vector<Frame>& frames) {
    std::vector<std::string> arguments = {"inject", direction == GUARD_DIR_INBOUND ? "in" : "out",
                                          HexBytes(adapterMac.Bytes, sizeof(adapterMac.Bytes))};
    for (const Frame& frame : frames) {
        arguments.push_back(HexBytes(frame.data(), frame.size()));
    }
    return Client(arguments);
}

std::string GuardDriverControl::DrainAnswer(uint32_t bufferBytes) {
    const auto lines = Client({"read", std::to_string(bufferBytes)});
    return lines.empty() ? std::string() : lines[0];
}

std::vector<GuardEvent> GuardDriverControl::Drain(uint32_t bufferBytes) {
    const std::vector<std::string> lines = Client({"read", std::to_string(bufferBytes)});
    std::vector<GuardEvent> events;
    if (lines.empty() || lines[0].rfind("read ok", 0) != 0) {
        return events;
    }
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::vector<uint8_t> bytes = Unhex(lines[i]);
        EXPECT_EQ(bytes.size(), GUARD_EVENT_SIZE);
        GuardEvent event{};
        std::copy_n(bytes.begin(), std::min(bytes.size(), sizeof(event)), reinterpret_cast<uint8_t*>(&event));
        events.push_back(event);
    }
    return events;
}

std::vector<std::string> GuardDriverControl::Client(const std::vector<std::string>& arguments) {
    const WineResult result = m_prefix.Run({m_client, arguments, {}});
    EXPECT_TRUE(result.Finished) << "zelk_guard_client " << arguments[0];
    return OutputLines(result.Stdout);
}

WineResult GuardDriverControl::Sc(const std::vector<std::string>& arguments) {
    WineResult result = m_prefix.Run({"C:\\windows\\system32\\sc.exe", arguments, {}});
    EXPECT_TRUE(result.Finished) << "sc " << arguments[0];
    return result;
}

} // namespace zelk::test
