// Binding and unbinding: configuration reads, failures that leave nothing behind, pended opens, media,
// and an unbind racing a pending initialisation.
#include "framework_fixture.h"

namespace zelk::test {
namespace {

class ProtocolBindTest : public FrameworkTest {
protected:
    void SetUp() override {
        FrameworkTest::SetUp();
        Load();
        holdingsAfterLoad_ = NdisHostHoldingsForTest();
    }

    NdisHostHoldings holdingsAfterLoad_{};
};

TEST_F(ProtocolBindTest, OnlyTheFirstBindReadsNdisVersion) {
    NdisHostAdapter* first = AddRunningAdapter();
    NdisHostAdapter* second = AddRunningAdapter();
    EXPECT_EQ(NdisHostAdapterStateForTest(first).NdisVersionReads, 1u);
    EXPECT_EQ(NdisHostAdapterStateForTest(second).NdisVersionReads, 0u);
    EXPECT_EQ(NdisHostAdapterStateForTest(second).UpperBindingsReads, 1u);
    EXPECT_EQ(g_Driver.NdisSysVersion, 0x00050001u);
}

TEST_F(ProtocolBindTest, RunningBindingHoldsTheRecordWithNameFlagsAndTwoReferences) {
    NdisHostSetProcessorCountForTest(64);
    NdisHostAdapter* adapter = AddRunningAdapter();
    Adapter* record = RecordOf(adapter);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->RefCount, 2) << "the binding's and the virtual miniport's";
    EXPECT_EQ(std::u16string(record->DeviceName.Buffer, record->DeviceName.Length / sizeof(WCHAR)),
              u"\\Device\\ZELKARP_{UPPER-1}");
    EXPECT_EQ(record->ProcessorCount, 64u) << "every processor has its own receive flag";
    for (ULONG processor = 0; processor < record->ProcessorCount; ++processor) {
        EXPECT_FALSE(record->ReceiveIndicated[processor]);
    }
    EXPECT_NE(record->SendPacketPool, nullptr);
    EXPECT_NE(record->ReceivePacketPool, nullptr);
    EXPECT_EQ(record->LocalMac.Value, 0u) << "unknown until a protocol above queries the address";
    EXPECT_EQ(NdisHostHoldingsForTest().PacketPools, holdingsAfterLoad_.PacketPools + 2);
}

// Each way a bind can fail: its status comes back and nothing stays allocated or open.
struct BindFailure {
    const char* Name;
    void (*Arrange)(NdisHostAdapter* adapter);
    NDIS_STATUS Expected;
};

const BindFailure kBindFailures[] = {
    {"ConfigurationCannotBeOpened",
     [](NdisHostAdapter*) {
         NdisHostFailNextCallForTest(NdisHostCallOpenProtocolConfiguration, NDIS_STATUS_FAILURE);
     },
     NDIS_STATUS_FAILURE},
    {"UpperBindingsMissing",
     [](NdisHostAdapter* adapter) { NdisHostSetUpperBindingsForTest(adapter, false, ""); },
     NDIS_STATUS_FAILURE},
    {"RecordCannotBeAllocated", [](NdisHostAdapter*) { NdisHostFailAllocationForTest(1); },
     NDIS_STATUS_RESOURCES},
    {"SendPoolCannotBeAllocated",
     [](NdisHostAdapter*) {
         NdisHostFailNextCallForTest(NdisHostCallAllocatePacketPool, NDIS_STATUS_RESOURCES);
     },
     NDIS_STATUS_RESOURCES},
    {"OpenFailsAtOnce",
     [](NdisHostAdapter* adapter) {
         NdisHostSetOperationStatusForTest(adapter, NdisHostOpen, NDIS_STATUS_FAILURE);
     },
     NDIS_STATUS_FAILURE},
    {"DeviceInstanceRequestFails",
     [](NdisHostAdapter*) {
         NdisHostFailNextCallForTest(NdisHostCallInitializeDeviceInstance, NDIS_STATUS_FAILURE);
     },
     NDIS_STATUS_FAILURE},
};

class BindFailureTest : public ProtocolBindTest, public ::testing::WithParamInterface<BindFailure> {};

TEST_P(BindFailureTest, FailsWithTheStatusOfTheFailingCallAndLeavesNothing) {
    NdisHostAdapter* adapter = AddAdapter();
    GetParam().Arrange(adapter);
    EXPECT_EQ(NdisHostBindAdapter(adapter), GetParam().Expected);
    EXPECT_FALSE(NdisHostAdapterStateForTest(adapter).Open);
    EXPECT_TRUE(HoldsNothingBeyond(holdingsAfterLoad_));
}

INSTANTIATE_TEST_SUITE_P(EveryStep, BindFailureTest, ::testing::ValuesIn(kBindFailures),
                         [](const ::testing::TestParamInfo<BindFailure>& row) { return row.param.Name; });

TEST_F(ProtocolBindTest, FailedNdisVersionReadFailsEveryBindUntilOneSucceeds) {
    NdisHostAdapterConfig config;
    config.Name = "\\Device\\{NO-VERSION}";
    config.UpperBindings = "\\Device\\ZELKARP_{NO-VERSION}";
    config.HasNdisVersion = false;
    NdisHostAdapter* withoutVersion = NdisHostAddAdapter(config);
    EXPECT_EQ(NdisHostBindAdapter(withoutVersion), NDIS_STATUS_FAILURE);
    EXPECT_EQ(g_Driver.NdisSysVersion, 0u);
    NdisHostAdapter* withVersion = AddRunningAdapter();
    EXPECT_EQ(NdisHostAdapterStateForTest(withVersion).NdisVersionReads, 1u);
    EXPECT_TRUE(HoldsNothingBeyond(NdisHostHoldingsForTest()));
}

TEST_F(ProtocolBindTest, PendedOpenIsWaitedForAndItsStatusUsed) {
    NdisHostAdapter* adapter = AddAdapter();
    NdisHostPendOperationForTest(adapter, NdisHostOpen, true);
    auto bind = std::async(std::launch::async, [&] { return NdisHostBindAdapter(adapter); });
    ASSERT_TRUE(NdisHostWaitForPendingForTest(adapter, NdisHostOpen));
    EXPECT_EQ(bind.wait_for(std::chrono::milliseconds(20)), std::future_status::timeout) << "the bind waits";
    ASSERT_TRUE(NdisHostCompletePendingForTest(adapter, NdisHostOpen));
    ASSERT_TRUE(FinishesSoon(bind));
    EXPECT_EQ(bind.get(), NDIS_STATUS_SUCCESS);
    EXPECT_TRUE(NdisHostMiniportStateForTest(adapter).Initialized);
}

TEST_F(ProtocolBindTest, PendedOpenThatFailsFailsTheBindAndLeavesNothing) {
    NdisHostAdapter* adapter = AddAdapter();
    NdisHostPendOperationForTest(adapter, NdisHostOpen, true);
    NdisHostSetOperationStatusForTest(adapter, NdisHostOpen, NDIS_STATUS_RESOURCES);
    auto bind = std::async(std::launch::async, [&] { return NdisHostBindAdapter(adapter); });
    ASSERT_TRUE(NdisHostWaitForPendingForTest(adapter, NdisHostOpen));
    ASSERT_TRUE(NdisHostCompletePendingForTest(adapter, NdisHostOpen));
    ASSERT_TRUE(FinishesSoon(bind));
    EXPECT_EQ(bind.get(), NDIS_STATUS_RESOURCES);
    EXPECT_TRUE(HoldsNothingBeyond(holdingsAfterLoad_));
}

TEST_F(ProtocolBindTest, WanAdapterYieldsAVirtualMiniportOffering8023) {
    NdisHostAdapter* adapter = AddAdapter(NdisMediumWan);
    NdisHostSetOfferedMediaForTest(adapter, {NdisMedium802_5, NdisMedium802_3});
    ASSERT_EQ(NdisHostBindAdapter(adapter), NDIS_STATUS_SUCCESS);
    const NdisHostMiniportState miniport = NdisHostMiniportStateForTest(adapter);
    ASSERT_TRUE(miniport.Initialized);
    EXPECT_EQ(miniport.SelectedMediumIndex, 1u);
    EXPECT_EQ(RecordOf(adapter)->Medium, NdisMediumWan);
    EXPECT_EQ(miniport.AdapterContext, RecordOf(adapter));
    EXPECT_EQ(miniport.AttributeFlags, 0x73u);
    EXPECT_EQ(miniport.CheckForHangSeconds, 0u);
    EXPECT_EQ(miniport.InterfaceType, NdisInterfaceInternal);
}

TEST_F(ProtocolBindTest, UnsupportedMediumFailsInitializationAndALaterUnbindDoesNotWait) {
    NdisHostDeferInitializationForTest(true);
    NdisHostAdapter* adapter = AddAdapter(NdisMedium802_5);
    ASSERT_EQ(NdisHostBindAdapter(adapter), NDIS_STATUS_SUCCESS);
    NdisHostClaimInitializationForTest(adapter);
    EXPECT_EQ(NdisHostRunInitialization(adapter), NDIS_STATUS_UNSUPPORTED_MEDIA);
    const NdisHostMiniportState miniport = NdisHostMiniportStateForTest(adapter);
    EXPECT_EQ(miniport.OpenErrorStatus, NDIS_STATUS_UNSUPPORTED_MEDIA);
    EXPECT_EQ(g_Driver.AdapterList, nullptr);
    EXPECT_EQ(g_Driver.MiniportCount, 0);
    EXPECT_EQ(RecordOf(adapter)->RefCount, 1) << "only the binding's reference";

    auto unbind = std::async(std::launch::async, [&] { return NdisHostUnbindAdapter(adapter); });
    ASSERT_TRUE(FinishesSoon(unbind));
    EXPECT_EQ(unbind.get(), NDIS_STATUS_SUCCESS);
    EXPECT_TRUE(HoldsNothingBeyond(holdingsAfterLoad_));
}

TEST_F(ProtocolBindTest, UnbindOfARunningBindingHaltsTheMiniportClosesAndFreesEverything) {
    NdisHostAdapter* adapter = AddRunningAdapter();
    NdisHostPendOperationForTest(adapter, NdisHostClose, true);
    auto unbind = std::async(std::launch::async, [&] { return NdisHostUnbindAdapter(adapter); });
    ASSERT_TRUE(NdisHostWaitForPendingForTest(adapter, NdisHostClose));
    ASSERT_TRUE(NdisHostCompletePendingForTest(adapter, NdisHostClose));
    ASSERT_TRUE(FinishesSoon(unbind));
    EXPECT_EQ(unbind.get(), NDIS_STATUS_SUCCESS);
    EXPECT_TRUE(NdisHostMiniportStateForTest(adapter).Halted);
    EXPECT_FALSE(NdisHostAdapterStateForTest(adapter).Open);
    EXPECT_TRUE(HoldsNothingBeyond(holdingsAfterLoad_));
}

TEST_F(ProtocolBindTest, FailedDeInitializationReportsFailureAndLeavesTheRecordToTheHalt) {
    NdisHostAdapter* adapter = AddRunningAdapter();
    NdisHostFailNextCallForTest(NdisHostCallDeInitializeDeviceInstance, NDIS_STATUS_RESOURCES);
    EXPECT_EQ(NdisHostUnbindAdapter(adapter), NDIS_STATUS_FAILURE);
    EXPECT_TRUE(NdisHostMiniportStateForTest(adapter).Initialized);
    ASSERT_TRUE(NdisHostHaltMiniport(adapter));
    EXPECT_TRUE(HoldsNothingBeyond(holdingsAfterLoad_));
}

TEST_F(ProtocolBindTest, UnbindDuringAPendingInitializationCancelsItWhenItCan) {
    NdisHostDeferInitializationForTest(true);
    NdisHostAdapter* adapter = AddAdapter();
    ASSERT_EQ(NdisHostBindAdapter(adapter), NDIS_STATUS_SUCCESS);
    EXPECT_TRUE(RecordOf(adapter)->InitPending);

    EXPECT_EQ(NdisHostUnbindAdapter(adapter), NDIS_STATUS_SUCCESS);
    const NdisHostMiniportState miniport = NdisHostMiniportStateForTest(adapter);
    EXPECT_TRUE(miniport.Cancelled);
    EXPECT_FALSE(miniport.Initialized);
    EXPECT_EQ(NdisHostRunInitialization(adapter), NDIS_STATUS_FAILURE) << "nothing is left to initialize";
    EXPECT_TRUE(HoldsNothingBeyond(holdingsAfterLoad_));
}

TEST_F(ProtocolBindTest, UnbindDuringAStartedInitializationWaitsForItThenDeInitializes) {
    NdisHostDeferInitializationForTest(true);
    NdisHostAdapter* adapter = AddAdapter();
    ASSERT_EQ(NdisHostBindAdapter(adapter), NDIS_STATUS_SUCCESS);
    ASSERT_TRUE(NdisHostClaimInitializationForTest(adapter)); // too late to cancel

    const uint32_t waitersBefore = NdisHostEventWaitersForTest();
    auto unbind = std::async(std::launch::async, [&] { return NdisHostUnbindAdapter(adapter); });
    ASSERT_TRUE(BecomesTrue([&] { return NdisHostEventWaitersForTest() > waitersBefore; }))
        << "the unbind waits for InitEvent";
    auto init = std::async(std::launch::async, [&] { return NdisHostRunInitialization(adapter); });
    ASSERT_TRUE(FinishesSoon(init));
    EXPECT_EQ(init.get(), NDIS_STATUS_SUCCESS);
    ASSERT_TRUE(FinishesSoon(unbind));
    EXPECT_EQ(unbind.get(), NDIS_STATUS_SUCCESS);

    const NdisHostMiniportState miniport = NdisHostMiniportStateForTest(adapter);
    EXPECT_TRUE(miniport.Halted);
    EXPECT_FALSE(NdisHostDeviceExistsForTest("\\\\.\\ZELKARP"));
    EXPECT_TRUE(HoldsNothingBeyond(holdingsAfterLoad_));
}

TEST_F(ProtocolBindTest, ReconfigureWithoutAdapterOffersTheUnboundAdaptersAgain) {
    NdisHostAdapter* adapter = AddAdapter();
    NdisHostSetUpperBindingsForTest(adapter, false, "");
    ASSERT_EQ(NdisHostBindAdapter(adapter), NDIS_STATUS_FAILURE);
    NdisHostSetUpperBindingsForTest(adapter, true, "\\Device\\ZELKARP_{LATE}");

    EXPECT_EQ(NdisHostLowerPnPEvent(nullptr, NetEventReconfigure), NDIS_STATUS_SUCCESS);
    EXPECT_EQ(NdisHostReEnumerationsForTest(), 1u);
    EXPECT_TRUE(NdisHostAdapterStateForTest(adapter).Open);
    EXPECT_TRUE(NdisHostMiniportStateForTest(adapter).Initialized);
}

} // namespace
} // namespace zelk::test
