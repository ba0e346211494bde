// The control device's answers to every kind of request.
#include <gtest/gtest.h>

#include <vector>

#include "driver/guard/guard_dispatch.h"
#include "tests/driver/guard/guard_fixture.h"

namespace zelk::test {
namespace {

class GuardDispatchTest : public GuardTest {
protected:
    static GuardRequest Request(uint8_t major, uint32_t code = 0, void* buffer = nullptr, uint32_t in = 0,
                                uint32_t out = 0) {
        GuardRequest request{};
        request.MajorFunction = major;
        request.IoControlCode = code;
        request.SystemBuffer = buffer;
        request.InputBufferLength = in;
        request.OutputBufferLength = out;
        request.Information = 0xDEAD;
        return request;
    }

    // Dispatches and checks what every request must see: completed once, status returned as stored.
    static uint32_t Dispatch(GuardRequest* request) {
        const uint32_t status = GuardDeviceDispatch(nullptr, request);
        EXPECT_EQ(request->Completions, 1u);
        EXPECT_EQ(request->Status, status);
        EXPECT_TRUE(status == GUARD_STATUS_SUCCESS || status == GUARD_STATUS_UNSUCCESSFUL);
        return status;
    }

    static void AddDistinctEvents(uint32_t count) {
        for (uint32_t i = 0; i < count; ++i) {
            GuardEvent event = MakeEvent(GUARD_EVENT_ARP_SCAN, "00-00-00-00-00-01", "10.0.0.1");
            event.Ip.Bytes[3] = static_cast<uint8_t>(i);
            EventTableAdd(&event);
        }
    }
};

TEST_F(GuardDispatchTest, OpenCloseAndCleanupAlwaysSucceed) {
    for (uint32_t major : {GUARD_IRP_MJ_CREATE, GUARD_IRP_MJ_CLOSE, GUARD_IRP_MJ_CLEANUP}) {
        GuardRequest request = Request(static_cast<uint8_t>(major));
        EXPECT_EQ(Dispatch(&request), GUARD_STATUS_SUCCESS);
        EXPECT_EQ(request.Information, 0u);
    }
}

struct SetBindingsCase {
    const char* Name;
    uint32_t Length;
    bool NullBuffer;
    uint32_t Status;
    uint32_t CountAfter; // the table held one binding before
};

void PrintTo(const SetBindingsCase& c, std::ostream* os) {
    *os << c.Name;
}

class SetBindings : public GuardDispatchTest, public ::testing::WithParamInterface<SetBindingsCase> {};

TEST_P(SetBindings, ReplacesOrKeepsTheTable) {
    const SetBindingsCase& c = GetParam();
    Trust({{Ip("192.168.1.1"), Mac("00-50-56-C0-00-01")}});
    std::vector<ArpBinding> input(4, ArpBinding{Ip("10.0.0.1"), Mac("00-00-00-00-00-01")});
    GuardRequest request = Request(GUARD_IRP_MJ_DEVICE_CONTROL, IOCTL_ZELKARP_SET_BINDINGS,
                                   c.NullBuffer ? nullptr : input.data(), c.Length, 0);
    EXPECT_EQ(Dispatch(&request), c.Status);
    EXPECT_EQ(request.Information, 0u);
    EXPECT_EQ(BindingTableCountForTest(), c.CountAfter);
}

const SetBindingsCase kSetBindingsCases[] = {
    {"ZeroBytesEmptiesTheTable", 0, false, GUARD_STATUS_SUCCESS, 0},
    {"NoBufferEmptiesTheTable", 0, true, GUARD_STATUS_SUCCESS, 0},
    {"TwentyBytesInstallTwo", 20, false, GUARD_STATUS_SUCCESS, 2},
    {"TenBytesLeaveOnlyTheNewOne", 10, false, GUARD_STATUS_SUCCESS, 1},
    {"FifteenBytesFailAndKeepTheTable", 15, false, GUARD_STATUS_UNSUCCESSFUL, 1},
    {"TwentyFiveBytesFailAndKeepTheTable", 25, false, GUARD_STATUS_UNSUCCESSFUL, 1},
};

INSTANTIATE_TEST_SUITE_P(Lengths, SetBindings, ::testing::ValuesIn(kSetBindingsCases), CaseName());

TEST_F(GuardDispatchTest, SetBindingsWithoutMemoryFailsAndLeavesNoBindings) {
    Trust({{Ip("192.168.1.1"), Mac("00-50-56-C0-00-01")}});
    ArpBinding binding{Ip("10.0.0.1"), Mac("00-00-00-00-00-01")};
    GuardRequest request =
        Request(GUARD_IRP_MJ_DEVICE_CONTROL, IOCTL_ZELKARP_SET_BINDINGS, &binding, sizeof(binding), 0);
    GuardHostFailAllocationForTest(1);
    EXPECT_EQ(Dispatch(&request), GUARD_STATUS_UNSUCCESSFUL);
    EXPECT_EQ(BindingTableCountForTest(), 0u);
}

struct ReadCase {
    const char* Name;
    uint32_t Pending;
    uint32_t OutputLength;
    bool NullBuffer;
    uint32_t Status;
    uint64_t Returned;
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.Name;
}

class ReadEvents : public GuardDispatchTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadEvents, HandsOverAllOrNothing) {
    const ReadCase& c = GetParam();
    AddDistinctEvents(c.Pending);
    std::vector<uint8_t> buffer(GUARD_READ_BUFFER_SIZE);
    GuardRequest request = Request(GUARD_IRP_MJ_DEVICE_CONTROL, IOCTL_ZELKARP_READ_EVENTS,
                                   c.NullBuffer ? nullptr : buffer.data(), 0, c.OutputLength);
    EXPECT_EQ(Dispatch(&request), c.Status);
    EXPECT_EQ(request.Information, c.Returned);
    const uint32_t left = c.Status == GUARD_STATUS_SUCCESS ? 0 : c.Pending;
    EXPECT_EQ(EventTableCountForTest(), left);
}

const ReadCase kReadCases[] = {
    {"NothingPendingFails", 0, GUARD_READ_BUFFER_SIZE, false, GUARD_STATUS_UNSUCCESSFUL, 0},
    {"TwoPendingFullBufferReturns182", 2, GUARD_READ_BUFFER_SIZE, false, GUARD_STATUS_SUCCESS, 182},
    {"ThreePendingRoomForTwoFails", 3, 182, false, GUARD_STATUS_UNSUCCESSFUL, 0},
    {"ThreePendingExactRoomReturns273", 3, 273, false, GUARD_STATUS_SUCCESS, 273},
    {"HundredBytesFailWithOnePending", 1, 100, false, GUARD_STATUS_UNSUCCESSFUL, 0},
    {"NoBufferFails", 1, GUARD_READ_BUFFER_SIZE, true, GUARD_STATUS_UNSUCCESSFUL, 0},
};

INSTANTIATE_TEST_SUITE_P(Buffers, ReadEvents, ::testing::ValuesIn(kReadCases), CaseName());

TEST_F(GuardDispatchTest, SecondReadAfterADrainFails) {
    AddDistinctEvents(2);
    std::vector<uint8_t> buffer(GUARD_READ_BUFFER_SIZE);
    GuardRequest first = Request(GUARD_IRP_MJ_DEVICE_CONTROL, IOCTL_ZELKARP_READ_EVENTS, buffer.data(), 0,
                                 GUARD_READ_BUFFER_SIZE);
    EXPECT_EQ(Dispatch(&first), GUARD_STATUS_SUCCESS);
    GuardRequest second = Request(GUARD_IRP_MJ_DEVICE_CONTROL, IOCTL_ZELKARP_READ_EVENTS, buffer.data(), 0,
                                  GUARD_READ_BUFFER_SIZE);
    EXPECT_EQ(Dispatch(&second), GUARD_STATUS_UNSUCCESSFUL);
}

TEST_F(GuardDispatchTest, UnknownControlCodeSucceedsAndChangesNothing) {
    Trust({{Ip("192.168.1.1"), Mac("00-50-56-C0-00-01")}});
    AddDistinctEvents(1);
    uint8_t buffer[GUARD_EVENT_SIZE] = {};
    GuardRequest request =
        Request(GUARD_IRP_MJ_DEVICE_CONTROL, 0xF0013C0C, buffer, sizeof(buffer), sizeof(buffer));
    EXPECT_EQ(Dispatch(&request), GUARD_STATUS_SUCCESS);
    EXPECT_EQ(request.Information, 0u);
    EXPECT_EQ(BindingTableCountForTest(), 1u);
    EXPECT_EQ(EventTableCountForTest(), 1u);
}

} // namespace
} // namespace zelk::test
