// The control device exists exactly while a virtual miniport is initialized, and serves the guard.
#include "framework_fixture.h"

#include "common/zelk_records.h"
#include "driver/guard/guard_tables.h"

namespace zelk::test {
namespace {

constexpr char kUserPath[] = "\\\\.\\ZELKARP";

class ControlDeviceTest : public FrameworkTest {
protected:
    void SetUp() override {
        FrameworkTest::SetUp();
        Load();
    }

    // Two adapters bound with their initialisations deferred.
    void BindTwoDeferred() {
        NdisHostDeferInitializationForTest(true);
        first_ = AddAdapter();
        second_ = AddAdapter();
        ASSERT_EQ(NdisHostBindAdapter(first_), NDIS_STATUS_SUCCESS);
        ASSERT_EQ(NdisHostBindAdapter(second_), NDIS_STATUS_SUCCESS);
    }

    NdisHostAdapter* first_ = nullptr;
    NdisHostAdapter* second_ = nullptr;
};

TEST_F(ControlDeviceTest, TwoMiniportsInitializingAtOnceRegisterTheDeviceOnce) {
    BindTwoDeferred();
    // The first registration is held inside NdisMRegisterDevice while the second miniport initializes.
    NdisHostHoldCallForTest(NdisHostCallRegisterDevice);
    auto firstInit = std::async(std::launch::async, [&] { return NdisHostRunInitialization(first_); });
    ASSERT_TRUE(NdisHostWaitUntilHeldForTest(NdisHostCallRegisterDevice));
    auto secondInit = std::async(std::launch::async, [&] { return NdisHostRunInitialization(second_); });
    ASSERT_TRUE(FinishesSoon(secondInit));
    EXPECT_EQ(secondInit.get(), NDIS_STATUS_SUCCESS);
    NdisHostReleaseCallForTest(NdisHostCallRegisterDevice);
    ASSERT_TRUE(FinishesSoon(firstInit));
    EXPECT_EQ(firstInit.get(), NDIS_STATUS_SUCCESS);

    EXPECT_EQ(NdisHostDeviceRegistrationsForTest(), 1u);
    EXPECT_EQ(g_Driver.MiniportCount, 2);
    EXPECT_TRUE(NdisHostDeviceExistsForTest(kUserPath));
}

TEST_F(ControlDeviceTest, HaltingOneOfTwoKeepsTheDeviceHaltingTheLastRemovesItANewInitializeRestoresIt) {
    first_ = AddRunningAdapter();
    second_ = AddRunningAdapter();
    EXPECT_EQ(g_Driver.AdapterList, RecordOf(second_)) << "new records go to the head";
    EXPECT_EQ(g_Driver.AdapterList->Next, RecordOf(first_));

    ASSERT_TRUE(NdisHostHaltMiniport(first_));
    EXPECT_TRUE(NdisHostDeviceExistsForTest(kUserPath));
    EXPECT_EQ(g_Driver.AdapterList, RecordOf(second_));
    EXPECT_EQ(g_Driver.AdapterList->Next, nullptr);

    ASSERT_TRUE(NdisHostHaltMiniport(second_));
    EXPECT_FALSE(NdisHostDeviceExistsForTest(kUserPath));
    EXPECT_EQ(NdisHostOpenDevice(kUserPath), nullptr);
    EXPECT_EQ(g_Driver.MiniportCount, 0);
    EXPECT_EQ(g_Driver.ControlDeviceHandle, nullptr);

    AddRunningAdapter();
    EXPECT_TRUE(NdisHostDeviceExistsForTest(kUserPath));
    EXPECT_EQ(NdisHostDeviceRegistrationsForTest(), 2u);
}

TEST_F(ControlDeviceTest, InitializeDuringDeregistrationWaitsForReadyThenRegisters) {
    first_ = AddRunningAdapter();
    NdisHostDeferInitializationForTest(true);
    second_ = AddAdapter();
    ASSERT_EQ(NdisHostBindAdapter(second_), NDIS_STATUS_SUCCESS);

    NdisHostHoldCallForTest(NdisHostCallDeregisterDevice);
    auto halt = std::async(std::launch::async, [&] { return NdisHostHaltMiniport(first_); });
    ASSERT_TRUE(NdisHostWaitUntilHeldForTest(NdisHostCallDeregisterDevice));
    EXPECT_EQ(ControlDeviceStateNow(), ControlDeviceDeleting);

    const uint64_t sleepsBefore = NdisHostSleepsForTest();
    auto init = std::async(std::launch::async, [&] { return NdisHostRunInitialization(second_); });
    // The initialisation polls in one-microsecond sleeps and registers nothing while the state is Deleting.
    ASSERT_TRUE(BecomesTrue([&] { return NdisHostSleepsForTest() >= sleepsBefore + 3; }));
    EXPECT_EQ(init.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
    EXPECT_EQ(NdisHostDeviceRegistrationsForTest(), 1u);

    NdisHostReleaseCallForTest(NdisHostCallDeregisterDevice);
    ASSERT_TRUE(FinishesSoon(halt));
    ASSERT_TRUE(FinishesSoon(init));
    EXPECT_EQ(init.get(), NDIS_STATUS_SUCCESS);
    EXPECT_EQ(NdisHostDeviceRegistrationsForTest(), 2u);
    EXPECT_TRUE(NdisHostDeviceExistsForTest(kUserPath));
    EXPECT_EQ(ControlDeviceStateNow(), ControlDeviceReady);
}

TEST_F(ControlDeviceTest, FailedRegistrationLeavesTheDriverRunningAndIsRetriedAtTheNextFirstMiniport) {
    NdisHostFailNextCallForTest(NdisHostCallRegisterDevice, NDIS_STATUS_RESOURCES);
    first_ = AddRunningAdapter();
    EXPECT_EQ(g_Driver.ControlDeviceHandle, nullptr);
    EXPECT_FALSE(NdisHostDeviceExistsForTest(kUserPath));

    second_ = AddRunningAdapter();
    EXPECT_FALSE(NdisHostDeviceExistsForTest(kUserPath)) << "only a rise from 0 to 1 retries";

    ASSERT_TRUE(NdisHostHaltMiniport(first_));
    ASSERT_TRUE(NdisHostHaltMiniport(second_));
    AddRunningAdapter();
    EXPECT_TRUE(NdisHostDeviceExistsForTest(kUserPath));
}

TEST_F(ControlDeviceTest, UserModeReachesTheGuardOnlyWhileTheDeviceIsRegistered) {
    EXPECT_EQ(NdisHostOpenDevice(kUserPath), nullptr) << "no virtual miniport yet";
    first_ = AddRunningAdapter();

    NdisHostDeviceHandle* device = NdisHostOpenDevice(kUserPath);
    ASSERT_NE(device, nullptr);
    const uint8_t binding[ARP_BINDING_SIZE] = {10, 0, 0, 1, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    ULONG returned = 99;
    EXPECT_TRUE(NdisHostDeviceIoControl(device, IOCTL_ZELKARP_SET_BINDINGS, binding, sizeof(binding), nullptr,
                                        0, &returned));
    EXPECT_EQ(returned, 0u);
    EXPECT_EQ(BindingTableCountForTest(), 1u);
    uint8_t events[GUARD_EVENT_SIZE * 4];
    EXPECT_FALSE(NdisHostDeviceIoControl(device, IOCTL_ZELKARP_READ_EVENTS, nullptr, 0, events,
                                         sizeof(events), &returned))
        << "nothing is pending";

    ASSERT_TRUE(NdisHostHaltMiniport(first_));
    EXPECT_FALSE(
        NdisHostDeviceIoControl(device, IOCTL_ZELKARP_SET_BINDINGS, nullptr, 0, nullptr, 0, &returned))
        << "a handle from before the deregistration reaches nothing";
    EXPECT_EQ(BindingTableCountForTest(), 1u);
    NdisHostCloseDevice(device);
}

} // namespace
} // namespace zelk::test
