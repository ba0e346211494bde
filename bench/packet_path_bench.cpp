// Frames per second and memory allocations per frame of the guard's packet entry, as the send and
// receive paths call it: ARP and non-ARP frames, in one buffer and in a chain of four, judged in place
// first (the driver's order) or flattened whole before the EtherType is looked at.
#include <benchmark/benchmark.h>

#include <vector>

#include "common/zelk_records.h"
#include "driver/framework/packet_inspection.h"
#include "driver/guard/arp_guard.h"
#include "driver/guard/guard_tables.h"
#include "ndis_host.h"
#include "platform/kernel/guard_host_control.h"
#include "tools/frames/arp_frame.h"

namespace {

using namespace zelk;

const uint64_t kStartTime = 129454737370000000ull;
const MacAddress kHostMac = Mac("00-0C-29-4F-8E-35");
const MacAddress kGatewayMac = Mac("00-50-56-C0-00-01");
const Ipv4Address kGatewayIp = Ip("192.168.1.1");

enum FrameKind { GatewayArpReply = 0, Ipv4FullSize = 1 };
enum InspectionOrder { ArpCheckInPlace = 0, FlattenEverything = 1 };

std::vector<uint8_t> FrameOf(FrameKind kind) {
    if (kind == Ipv4FullSize) {
        std::vector<uint8_t> frame(1514, 0x5A);
        frame[12] = 0x08;
        frame[13] = 0x00;
        return frame;
    }
    ArpFrameFields reply;
    reply.SenderMac = kGatewayMac;
    reply.SenderIp = kGatewayIp;
    reply.TargetMac = kHostMac;
    reply.TargetIp = Ip("192.168.1.100");
    const Frame arp = BuildArpFrame(reply);
    std::vector<uint8_t> frame(arp.begin(), arp.end());
    frame.resize(60, 0);
    return frame;
}

// The order the guard's entry had before: every packet copied whole, then judged.
GuardVerdict FlattenThenInspect(const GuardLocalMac* localMac, PNDIS_PACKET packet) {
    FlattenedPacket flattened;
    if (!FlattenPacket(packet, &flattened)) {
        return GUARD_PASS;
    }
    const GuardVerdict verdict =
        ArpGuardInspect(localMac, flattened.Buffer, flattened.Length, GUARD_DIR_INBOUND);
    FreeFlattenedPacket(&flattened);
    return verdict;
}

// Arguments: frame kind, buffers in the chain, inspection order.
void BM_PacketInspection(benchmark::State& state) {
    const auto kind = static_cast<FrameKind>(state.range(0));
    const auto pieces = static_cast<UINT>(state.range(1));
    const auto order = static_cast<InspectionOrder>(state.range(2));
    NdisHostResetForTest();
    GuardHostSetTimeForTest(kStartTime);
    GuardInitialize();
    const ArpBinding gateway{kGatewayIp, kGatewayMac};
    BindingTableReplace(&gateway, sizeof(gateway));
    Adapter adapter{};
    GuardPublishLocalMac(&adapter.LocalMac, kHostMac.Bytes);
    const std::vector<uint8_t> frame = FrameOf(kind);
    PNDIS_PACKET packet = NdisHostMakeFramePacket(frame.data(), static_cast<ULONG>(frame.size()), pieces);

    const uint64_t allocationsBefore = NdisHostAllocationCountForTest();
    for (auto _ : state) {
        benchmark::DoNotOptimize(order == ArpCheckInPlace
                                     ? ArpGuardInspect(&adapter, nullptr, 0, packet, GUARD_DIR_INBOUND)
                                     : FlattenThenInspect(&adapter.LocalMac, packet));
    }
    const uint64_t allocations = NdisHostAllocationCountForTest() - allocationsBefore;
    state.SetItemsProcessed(state.iterations());
    state.counters["allocations_per_frame"] =
        static_cast<double>(allocations) / static_cast<double>(state.iterations());
    state.SetLabel(std::string(kind == Ipv4FullSize ? "ipv4-1514" : "arp-60") +
                   (pieces == 1 ? " single" : " chained") +
                   (order == ArpCheckInPlace ? " in-place-check" : " flatten-everything"));
    NdisHostFreeFramePacket(packet);
    GuardTablesFree();
}
BENCHMARK(BM_PacketInspection)
    ->ArgsProduct({{GatewayArpReply, Ipv4FullSize}, {1, 4}, {ArpCheckInPlace, FlattenEverything}});

} // namespace

BENCHMARK_MAIN();
