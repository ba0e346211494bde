// The simulated host's synchronisation on real threads: spin locks exclude and raise the level, events
// release waiters, sleeps and waits at DISPATCH_LEVEL and NDIS calls under a spin lock are caught.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "ndis_host.h"

namespace zelk::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class NdisHostSyncTest : public ::testing::Test {
protected:
    void SetUp() override { NdisHostResetForTest(); }
};

TEST_F(NdisHostSyncTest, SpinLockExcludesOtherThreadsAndRaisesToDispatchLevel) {
    NDIS_SPIN_LOCK lock;
    NdisAllocateSpinLock(&lock);
    long counter = 0;
    auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            NdisAcquireSpinLock(&lock);
            EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
            ++counter;
            NdisReleaseSpinLock(&lock);
        }
        EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
    };
    std::thread first(work);
    std::thread second(work);
    first.join();
    second.join();
    EXPECT_EQ(counter, 40000);
    EXPECT_TRUE(NdisHostViolationsForTest().empty());
}

TEST_F(NdisHostSyncTest, EventReleasesItsWaiterAndStaysSetUntilReset) {
    NDIS_EVENT event;
    NdisInitializeEvent(&event);
    EXPECT_FALSE(NdisWaitEvent(&event, 1));
    auto waiter = std::async(std::launch::async, [&] { return NdisWaitEvent(&event, 0); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (NdisHostEventWaitersForTest() == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    NdisSetEvent(&event);
    EXPECT_TRUE(waiter.get());
    EXPECT_TRUE(NdisWaitEvent(&event, 1)) << "a notification event stays set";
    NdisResetEvent(&event);
    EXPECT_FALSE(NdisWaitEvent(&event, 1));
}

TEST_F(NdisHostSyncTest, BlockingOrCallingNdisUnderASpinLockIsRecorded) {
    NDIS_SPIN_LOCK lock;
    NdisAllocateSpinLock(&lock);
    NdisAcquireSpinLock(&lock);
    NdisMSleep(1);
    NDIS_STATUS status = NDIS_STATUS_SUCCESS;
    NDIS_REQUEST request{};
    NdisRequest(&status, nullptr, &request);
    NdisReleaseSpinLock(&lock);
    const std::vector<std::string> violations = NdisHostViolationsForTest();
    ASSERT_GE(violations.size(), 2u);
    EXPECT_THAT(violations[0], HasSubstr("NdisMSleep called above PASSIVE_LEVEL"));
    EXPECT_THAT(violations[1], HasSubstr("NdisRequest called with a spin lock held"));
}

TEST_F(NdisHostSyncTest, ProcessorNumbersCoverTheWholeMachine) {
    NdisHostSetProcessorCountForTest(80);
    EXPECT_EQ(KeQueryMaximumProcessorCountEx(ALL_PROCESSOR_GROUPS), 80u);
    std::thread([] {
        NdisHostSetCurrentProcessorForTest(70);
        PROCESSOR_NUMBER number{};
        EXPECT_EQ(KeGetCurrentProcessorNumberEx(&number), 70u);
        EXPECT_EQ(number.Group, 1u);
        EXPECT_EQ(number.Number, 6u);
    }).join();
    EXPECT_LT(KeGetCurrentProcessorNumberEx(nullptr), 80u) << "an unset thread follows its real processor";
}

TEST_F(NdisHostSyncTest, DbgPrintLinesAreKeptAsFormatted) {
    DbgPrint("[Zelk] %s %d\n", "line", 1);
    EXPECT_THAT(NdisHostDbgPrintLinesForTest(), ElementsAre("[Zelk] line 1\n"));
}

} // namespace
} // namespace zelk::test
