// The guard under real threads: frames inspected while bindings are replaced and events drained.
// Every finding stored is handed over exactly once, and no table ever passes its bound.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>
#include <utility>
#include <vector>

#include "tests/driver/guard/guard_fixture.h"

namespace zelk::test {
namespace {

const uint32_t kAdders = 2;
const uint32_t kEventsPerAdder = 1500;
const uint32_t kInspectors = 2;
const uint32_t kFramesPerInspector = 3000;

// Scan findings carry a unique (adder, index) pair in their address fields, so each can be traced.
GuardEvent TracedEvent(uint32_t adder, uint32_t index) {
    GuardEvent event = MakeEvent(GUARD_EVENT_ARP_SCAN, "02-00-00-00-00-00", "10.0.0.0");
    event.Mac.Bytes[5] = static_cast<uint8_t>(adder);
    event.Ip.Bytes[2] = static_cast<uint8_t>(index >> 8);
    event.Ip.Bytes[3] = static_cast<uint8_t>(index);
    return event;
}

using GuardConcurrencyTest = GuardTest;

TEST_F(GuardConcurrencyTest, EveryStoredEventIsDrainedExactlyOnceWithinBounds) {
    std::vector<std::vector<bool>> stored(kAdders, std::vector<bool>(kEventsPerAdder, false));
    std::map<std::pair<uint32_t, uint32_t>, int> drained;
    std::atomic<uint32_t> producersLeft{kAdders + kInspectors};
    std::atomic<bool> boundsKept{true};

    std::vector<std::thread> threads;
    for (uint32_t adder = 0; adder < kAdders; ++adder) {
        threads.emplace_back([&, adder] {
            for (uint32_t i = 0; i < kEventsPerAdder; ++i) {
                const GuardEvent event = TracedEvent(adder, i);
                stored[adder][i] = EventTableAdd(&event);
            }
            --producersLeft;
        });
    }
    for (uint32_t inspector = 0; inspector < kInspectors; ++inspector) {
        threads.emplace_back([&, inspector] {
            ArpFrameFields spoof;
            spoof.SenderMac = Mac("00-1A-2B-3C-4D-5E");
            spoof.SenderIp = Ip("192.168.1.1");
            spoof.TargetIp = Ip("192.168.1.100");
            for (uint32_t i = 0; i < kFramesPerInspector; ++i) {
                spoof.TargetIp.Bytes[3] = static_cast<uint8_t>(i);
                Inspect(spoof, inspector % 2 == 0 ? GUARD_DIR_INBOUND : GUARD_DIR_OUTBOUND);
            }
            --producersLeft;
        });
    }
    threads.emplace_back([&] {
        const ArpBinding bindings[2] = {{Ip("192.168.1.1"), Mac("00-50-56-C0-00-01")},
                                        {Ip("192.168.1.2"), Mac("00-50-56-C0-00-02")}};
        for (uint32_t i = 0; producersLeft.load() > 0; ++i) {
            BindingTableReplace(bindings, (i % 3) * sizeof(ArpBinding));
            if (EventTableCountForTest() > GUARD_MAX_EVENTS ||
                ScanTableCountForTest() > GUARD_MAX_SCAN_ENTRIES) {
                boundsKept = false;
            }
        }
    });

    auto drainOnce = [&] {
        for (const GuardEvent& event : Drain()) {
            if (event.Kind == GUARD_EVENT_ARP_SCAN && event.Mac.Bytes[0] == 0x02) {
                const uint32_t index = static_cast<uint32_t>(event.Ip.Bytes[2] << 8 | event.Ip.Bytes[3]);
                ++drained[{event.Mac.Bytes[5], index}];
            }
        }
    };
    while (producersLeft.load() > 0) {
        drainOnce();
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    drainOnce();

    EXPECT_TRUE(boundsKept.load());
    EXPECT_EQ(EventTableCountForTest(), 0u);
    uint32_t storedCount = 0;
    for (uint32_t adder = 0; adder < kAdders; ++adder) {
        for (uint32_t i = 0; i < kEventsPerAdder; ++i) {
            const auto found = drained.find({adder, i});
            const int times = found == drained.end() ? 0 : found->second;
            if (stored[adder][i]) {
                ++storedCount;
                EXPECT_EQ(times, 1) << "event " << adder << "/" << i << " stored but drained " << times
                                    << " times";
            } else {
                EXPECT_EQ(times, 0) << "event " << adder << "/" << i << " merged or lost, yet drained";
            }
        }
    }
    EXPECT_GT(storedCount, 0u);
}

} // namespace
} // namespace zelk::test
