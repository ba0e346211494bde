// Scenarios for the service on the simulated host: the adapters, the ARP answers and the frames the
// guard sees, in time. Running one starts ZELKSrv's service entry as the service control manager would,
// feeds the frames to the guard at their moments, and leaves the Windows directory's files and the wire.
//
// A scenario file is a list of lines, one item each; '#' starts a comment:
//   start SECONDS                     the clock at the start, in seconds since 1970 (default 1301085337)
//   duration SECONDS                  how long the service runs
//   adapter NAME MAC IP GATEWAY       an adapter; "-" for no IPv4 address or no gateway
//   arp IP MAC                        ARP for IP answers MAC
//   at SECONDS [every SECONDS times N] inbound ADAPTER reply|request SENDER_MAC SENDER_IP TARGET_MAC
//   TARGET_IP at SECONDS [every SECONDS times N] outbound ADAPTER reply|request SENDER_MAC SENDER_IP
//   TARGET_MAC TARGET_IP
//                                     PID PROGRAM
//   at SECONDS scan ADAPTER SENDER_MAC SENDER_IP FIRST_TARGET_IP COUNT
//                                     COUNT requests from one sender to consecutive addresses, received
// Times after "at" are seconds from the start and may have a fraction; replies go to the target's MAC
// address, requests to the broadcast address.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "driver/guard/arp_guard.h"
#include "platform/service/simulated_host.h"
#include "tools/frames/arp_frame.h"

namespace zelk {

struct ScenarioFrame {
    int64_t AtMilliseconds; // from the start
    GuardDirection Direction;
    std::string Adapter;
    Frame Bytes;
    uint64_t ProcessId;      // outbound only
    std::string ProcessName; // outbound only
};

struct ScenarioArpAnswer {
    Ipv4Address Ip;
    MacAddress Mac;
};

struct Scenario {
    int64_t StartSeconds = 1301085337; // 2011-03-25 20:35:37 UTC
    int64_t DurationSeconds = 0;
    std::vector<SimulatedAdapter> Adapters;
    std::vector<ScenarioArpAnswer> ArpAnswers;
    std::vector<ScenarioFrame> Frames; // repeats expanded, in file order
};

// False with "line N: why" in `error` for anything it cannot read.
bool ParseScenario(const std::string& text, Scenario* scenario, std::string* error);

struct ScenarioOutcome {
    uint32_t FramesFed = 0;
    uint32_t FramesDropped = 0;              // the guard's verdict
    std::vector<WireFrame> CorrectionFrames; // what the service put on the wire
};

// Runs the service on a simulated host whose files live under `root` (root/windows/ZELKSrv.log, ...).
ScenarioOutcome RunScenario(const Scenario& scenario, const std::string& root);

} // namespace zelk
