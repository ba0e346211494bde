// Frames per second through the guard's analysis, by kind of traffic.
#include <benchmark/benchmark.h>

#include <vector>

#include "driver/guard/arp_guard.h"
#include "driver/guard/guard_tables.h"
#include "platform/kernel/guard_host_control.h"
#include "tools/frames/arp_frame.h"

namespace {

using namespace zelk;

const uint64_t kTicksPerSecond = 10000000;
const uint64_t kStartTime = 129455589370000000ull;
const MacAddress kHostMac = Mac("00-0C-29-4F-8E-35");
const Ipv4Address kHostIp = Ip("192.168.1.100");

// A freshly loaded guard for each benchmark, with `bindingCount` trusted gateways 192.168.1.1 and up.
class LoadedGuard {
public:
    explicit LoadedGuard(uint32_t bindingCount) {
        GuardHostSetTimeForTest(kStartTime);
        GuardSetLastSpooferForTest(MacToValue(&kHostMac) ^ 1);
        GuardInitialize();
        std::vector<ArpBinding> bindings;
        for (uint32_t i = 0; i < bindingCount; ++i) {
            MacAddress mac = Mac("00-50-56-C0-00-00");
            mac.Bytes[5] = static_cast<uint8_t>(i + 1);
            Ipv4Address ip = Ip("192.168.1.0");
            ip.Bytes[3] = static_cast<uint8_t>(i + 1);
            bindings.push_back({ip, mac});
        }
        BindingTableReplace(bindings.data(), static_cast<uint32_t>(bindings.size() * sizeof(ArpBinding)));
        GuardPublishLocalMac(&localMac_, kHostMac.Bytes);
    }
    ~LoadedGuard() { GuardTablesFree(); }
    LoadedGuard(const LoadedGuard&) = delete;
    LoadedGuard& operator=(const LoadedGuard&) = delete;

    GuardVerdict Inspect(const uint8_t* frame, uint32_t length, GuardDirection direction) {
        return ArpGuardInspect(&localMac_, frame, length, direction);
    }

private:
    GuardLocalMac localMac_{};
};

void BM_NonArpFrame(benchmark::State& state) {
    LoadedGuard guard(16);
    std::vector<uint8_t> frame(1514, 0);
    frame[12] = 0x08; // IPv4
    for (auto _ : state) {
        benchmark::DoNotOptimize(guard.Inspect(frame.data(), static_cast<uint32_t>(frame.size()), GUARD_DIR_INBOUND));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NonArpFrame);

// The gateway's own replies, and the host's requests, among 16 trusted bindings.
void BM_BenignArp16Bindings(benchmark::State& state) {
    LoadedGuard guard(16);
    ArpFrameFields reply;
    reply.SenderMac = Mac("00-50-56-C0-00-10");
    reply.SenderIp = Ip("192.168.1.16");
    reply.TargetMac = kHostMac;
    reply.TargetIp = kHostIp;
    const Frame inbound = BuildArpFrame(reply);
    ArpFrameFields request;
    request.Operation = ArpOperation::Request;
    request.SenderMac = kHostMac;
    request.SenderIp = kHostIp;
    request.TargetIp = Ip("192.168.1.16");
    const Frame outbound = BuildArpFrame(request);
    bool in = true;
    for (auto _ : state) {
        const Frame& frame = in ? inbound : outbound;
        benchmark::DoNotOptimize(guard.Inspect(frame.data(), 42, in ? GUARD_DIR_INBOUND : GUARD_DIR_OUTBOUND));
        in = !in;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BenignArp16Bindings);

// An attacker claiming the gateway: each frame is dropped and merged into the pending kind-2 record.
void BM_SpoofedArp(benchmark::State& state) {
    LoadedGuard guard(16);
    ArpFrameFields spoof;
    spoof.SenderMac = Mac("00-1A-2B-3C-4D-5E");
    spoof.SenderIp = Ip("192.168.1.1");
    spoof.TargetMac = kHostMac;
    spoof.TargetIp = kHostIp;
    const Frame frame = BuildArpFrame(spoof);
    for (auto _ : state) {
        benchmark::DoNotOptimize(guard.Inspect(frame.data(), 42, GUARD_DIR_INBOUND));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SpoofedArp);

// One sender asking for 65,536 distinct targets, 4,096 per second: the scan table fills at 8,192 entries
// and from then on every new target reuses an entry that has left the scan window.
void BM_ArpSweep65536Targets(benchmark::State& state) {
    LoadedGuard guard(16);
    ArpFrameFields sweep;
    sweep.Operation = ArpOperation::Request;
    sweep.SenderMac = Mac("00-1A-2B-3C-4D-5E");
    sweep.SenderIp = Ip("10.0.0.1");
    uint32_t target = 0;
    std::vector<uint8_t> events(GUARD_READ_BUFFER_SIZE);
    for (auto _ : state) {
        sweep.TargetIp.Bytes[0] = 10;
        sweep.TargetIp.Bytes[1] = 1;
        sweep.TargetIp.Bytes[2] = static_cast<uint8_t>(target >> 8);
        sweep.TargetIp.Bytes[3] = static_cast<uint8_t>(target);
        const Frame frame = BuildArpFrame(sweep);
        benchmark::DoNotOptimize(guard.Inspect(frame.data(), 42, GUARD_DIR_INBOUND));
        target = (target + 1) & 0xFFFF;
        if (target % 4096 == 0) {
            GuardHostAdvanceTimeForTest(kTicksPerSecond);
            uint32_t bytes = 0;
            EventTableDrain(events.data(), GUARD_READ_BUFFER_SIZE, &bytes);
        }
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["scan_entries"] = ScanTableCountForTest();
}
BENCHMARK(BM_ArpSweep65536Targets)->Iterations(65536);

} // namespace

BENCHMARK_MAIN();
