// A freshly loaded guard for each test: empty tables, no spoofer known, the clock at a fixed second,
// the System process current; and small helpers to feed frames and read findings back.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/guard/arp_guard.h"
#include "driver/guard/guard_tables.h"
#include "platform/kernel/guard_host_control.h"
#include "tools/frames/arp_frame.h"

namespace zelk::test {

inline constexpr uint64_t kTicksPerSecond = 10000000;
// 2011-03-25 20:35:37 UTC, a whole second, in 100 ns units since 1601.
inline constexpr uint64_t kLoadTime = 129455589370000000ull;

class GuardTest : public ::testing::Test {
protected:
    void SetUp() override {
        GuardHostFailAllocationForTest(0);
        GuardHostSetTimeForTest(kLoadTime);
        GuardHostResetCurrentProcessForTest();
        GuardSetLastSpooferForTest(0);
        GuardInitialize();
        baselineAllocations_ = GuardHostOutstandingAllocationsForTest();
    }

    void TearDown() override {
        GuardTablesFree();
        GuardHostFailAllocationForTest(0);
        GuardHostResetCurrentProcessForTest();
        EXPECT_EQ(GuardHostOutstandingAllocationsForTest(), baselineAllocations_) << "guard memory leaked";
    }

    static void AdvanceSeconds(uint64_t seconds) { GuardHostAdvanceTimeForTest(seconds * kTicksPerSecond); }

    static void Trust(const std::vector<ArpBinding>& bindings) {
        ASSERT_TRUE(BindingTableReplace(bindings.data(),
                                        static_cast<uint32_t>(bindings.size() * sizeof(ArpBinding))));
    }

    static GuardVerdict Inspect(const ArpFrameFields& fields, GuardDirection direction,
                                const GuardLocalMac* localMac = nullptr) {
        const Frame frame = BuildArpFrame(fields);
        return ArpGuardInspect(localMac, frame.data(), static_cast<uint32_t>(frame.size()), direction);
    }

    // Every pending finding, oldest first; empty when the drain fails (nothing pending).
    static std::vector<GuardEvent> Drain() {
        std::vector<GuardEvent> events(GUARD_MAX_EVENTS);
        uint32_t bytes = 0;
        if (!EventTableDrain(events.data(), GUARD_READ_BUFFER_SIZE, &bytes)) {
            return {};
        }
        events.resize(bytes / GUARD_EVENT_SIZE);
        return events;
    }

private:
    int64_t baselineAllocations_ = 0;
};

// Names each row of a parameterised table after its Name field.
struct CaseName {
    template <typename Row> std::string operator()(const ::testing::TestParamInfo<Row>& row) const {
        return row.param.Name;
    }
};

inline std::string NameOf(const GuardEvent& event) {
    std::string name;
    uint16_t units[GUARD_PROCESS_NAME_UNITS]; // the record's field is unaligned
    std::memcpy(units, event.ProcessName, sizeof(units));
    for (uint16_t unit : units) {
        if (unit == 0) {
            break;
        }
        name.push_back(static_cast<char>(unit));
    }
    return name;
}

inline GuardEvent MakeEvent(int kind, const char* mac, const char* ip, uint64_t processId = 0,
                            const char* processName = "") {
    GuardEvent event{};
    event.Kind = static_cast<uint8_t>(kind);
    event.Mac = Mac(mac);
    event.Ip = Ip(ip);
    event.ProcessId = processId;
    for (size_t i = 0; processName[i] != 0 && i < GUARD_PROCESS_NAME_UNITS - 1; ++i) {
        event.ProcessName[i] = static_cast<uint8_t>(processName[i]);
    }
    return event;
}

} // namespace zelk::test
