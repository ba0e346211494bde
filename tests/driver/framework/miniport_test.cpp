// The virtual miniport's queries, sets and power: what is answered here, what goes down through the
// single Request block, and what waits for the lower adapter's return to D0.
#include "framework_fixture.h"

namespace zelk::test {
namespace {

using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::IsEmpty;

class MiniportTest : public FrameworkTest {
protected:
    void SetUp() override {
        FrameworkTest::SetUp();
        Load();
        adapter_ = AddRunningAdapter();
        record_ = RecordOf(adapter_);
    }

    uint32_t RequestsDown() const { return NdisHostAdapterStateForTest(adapter_).RequestsReceived; }

    // Lower adapter in D3, then the virtual miniport through D3 back to D0: queries are now queued.
    void SleepLowerAdapterWithMiniportAwake() {
        ASSERT_EQ(NdisHostLowerSetPower(adapter_, NdisDeviceStateD3), NDIS_STATUS_SUCCESS);
        ASSERT_EQ(NdisHostUpperSetPower(adapter_, NdisDeviceStateD3).Status, NDIS_STATUS_SUCCESS);
        ASSERT_EQ(NdisHostUpperSetPower(adapter_, NdisDeviceStateD0).Status, NDIS_STATUS_SUCCESS);
    }

    NdisHostAdapter* adapter_ = nullptr;
    Adapter* record_ = nullptr;
};

TEST_F(MiniportTest, QueryPowerAlwaysSucceedsWithoutGoingDown) {
    EXPECT_EQ(NdisHostUpperQuery(adapter_, OID_PNP_QUERY_POWER, 4).Returned, NDIS_STATUS_SUCCESS);
    ASSERT_EQ(NdisHostUpperSetPower(adapter_, NdisDeviceStateD3).Status, NDIS_STATUS_SUCCESS);
    EXPECT_EQ(NdisHostUpperQuery(adapter_, OID_PNP_QUERY_POWER, 4).Returned, NDIS_STATUS_SUCCESS);
    NdisAcquireSpinLock(&record_->Lock);
    record_->Unbinding = TRUE;
    NdisReleaseSpinLock(&record_->Lock);
    EXPECT_EQ(NdisHostUpperQuery(adapter_, OID_PNP_QUERY_POWER, 4).Returned, NDIS_STATUS_SUCCESS);
    EXPECT_EQ(RequestsDown(), 0u);
    NdisAcquireSpinLock(&record_->Lock);
    record_->Unbinding = FALSE;
    NdisReleaseSpinLock(&record_->Lock);
}

TEST_F(MiniportTest, SupportedGuidsAreNeverForwarded) {
    EXPECT_EQ(NdisHostUpperQuery(adapter_, OID_GEN_SUPPORTED_GUIDS, 64).Returned, NDIS_STATUS_NOT_SUPPORTED);
    EXPECT_EQ(RequestsDown(), 0u);
}

// Situations in which a query or set fails at once and Request stays unsent.
struct Refusal {
    const char* Name;
    void (*Arrange)(NdisHostAdapter* adapter, Adapter* record);
};

const Refusal kRefusals[] = {
    {"Unbinding",
     [](NdisHostAdapter*, Adapter* record) {
         NdisAcquireSpinLock(&record->Lock);
         record->Unbinding = TRUE;
         NdisReleaseSpinLock(&record->Lock);
     }},
    {"MiniportInLowPower",
     [](NdisHostAdapter* adapter, Adapter*) { NdisHostUpperSetPower(adapter, NdisDeviceStateD2); }},
    {"LowerAdapterEnteringStandby",
     [](NdisHostAdapter* adapter, Adapter*) { NdisHostLowerSetPower(adapter, NdisDeviceStateD3); }},
};

class RefusalTest : public MiniportTest, public ::testing::WithParamInterface<Refusal> {
protected:
    void TearDown() override {
        NdisAcquireSpinLock(&record_->Lock);
        record_->Unbinding = FALSE;
        NdisReleaseSpinLock(&record_->Lock);
        MiniportTest::TearDown();
    }
};

TEST_P(RefusalTest, QueriesAndSetsFailWithoutGoingDown) {
    GetParam().Arrange(adapter_, record_);
    const uint32_t before = RequestsDown();
    EXPECT_EQ(NdisHostUpperQuery(adapter_, OID_802_3_CURRENT_ADDRESS, 6).Returned, NDIS_STATUS_FAILURE);
    const ULONG filter = 0x0B;
    EXPECT_EQ(NdisHostUpperSet(adapter_, 0x0001010E, &filter, sizeof(filter)).Returned, NDIS_STATUS_FAILURE);
    EXPECT_EQ(RequestsDown(), before);
    EXPECT_FALSE(record_->RequestQueued);
    EXPECT_FALSE(record_->RequestOutstanding);
}

INSTANTIATE_TEST_SUITE_P(EverySituation, RefusalTest, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<Refusal>& row) { return row.param.Name; });

TEST_F(MiniportTest, QueryAnsweredAtOnceIsStillPendingToNdisWithItsCompletionAlreadyMade) {
    const NdisHostUpperRequest query = NdisHostUpperQuery(adapter_, OID_802_3_CURRENT_ADDRESS, 6);
    EXPECT_EQ(query.Returned, NDIS_STATUS_PENDING);
    EXPECT_TRUE(query.Completed);
    EXPECT_EQ(query.Status, NDIS_STATUS_SUCCESS);
    EXPECT_EQ(query.BytesDone, 6u);
    EXPECT_THAT(NdisHostIndicationsForTest(adapter_),
                ElementsAre(Field(&NdisHostIndication::Kind, NdisHostQueryCompleted)));
    EXPECT_FALSE(record_->RequestOutstanding);
}

TEST_F(MiniportTest, QueryPendedBelowCompletesLaterWithTheByteCounts) {
    NdisHostPendOperationForTest(adapter_, NdisHostRequest, true);
    NdisHostUpperRequest query = NdisHostUpperQuery(adapter_, OID_802_3_CURRENT_ADDRESS, 4);
    EXPECT_EQ(query.Returned, NDIS_STATUS_PENDING);
    EXPECT_FALSE(query.Completed);
    EXPECT_TRUE(record_->RequestOutstanding);
    ASSERT_TRUE(NdisHostCompletePendingForTest(adapter_, NdisHostRequest));
    query = NdisHostLatestUpperRequestForTest(adapter_);
    EXPECT_TRUE(query.Completed);
    EXPECT_EQ(query.Status, NDIS_STATUS_INVALID_LENGTH);
    EXPECT_EQ(query.BytesNeeded, 6u);
    EXPECT_FALSE(record_->RequestOutstanding);
}

TEST_F(MiniportTest, SetCompletingAtOnceReturnsItsOwnStatusWithTheByteCounts) {
    const ULONG filter = 0x0B;
    const NdisHostUpperRequest set = NdisHostUpperSet(adapter_, 0x0001010E, &filter, sizeof(filter));
    EXPECT_EQ(set.Returned, NDIS_STATUS_SUCCESS);
    EXPECT_EQ(set.BytesDone, sizeof(filter));
    EXPECT_EQ(set.BytesNeeded, 0u);
    EXPECT_THAT(NdisHostIndicationsForTest(adapter_), IsEmpty()) << "finished synchronously";
    EXPECT_FALSE(record_->RequestOutstanding);
}

TEST_F(MiniportTest, SetPendedBelowCompletesThroughTheSetCompletion) {
    NdisHostPendOperationForTest(adapter_, NdisHostRequest, true);
    const ULONG filter = 0x0B;
    EXPECT_EQ(NdisHostUpperSet(adapter_, 0x0001010E, &filter, sizeof(filter)).Returned, NDIS_STATUS_PENDING);
    ASSERT_TRUE(NdisHostCompletePendingForTest(adapter_, NdisHostRequest));
    const NdisHostUpperRequest set = NdisHostLatestUpperRequestForTest(adapter_);
    EXPECT_TRUE(set.Completed);
    EXPECT_EQ(set.BytesDone, sizeof(filter));
    EXPECT_THAT(NdisHostIndicationsForTest(adapter_),
                ElementsAre(Field(&NdisHostIndication::Kind, NdisHostSetCompleted)));
}

TEST_F(MiniportTest, QueryWhileTheLowerAdapterSleepsIsQueuedAndSentOnItsReturnToD0) {
    SleepLowerAdapterWithMiniportAwake();
    NdisHostClearIndicationsForTest(adapter_);
    const uint32_t before = RequestsDown();

    NdisHostUpperRequest query = NdisHostUpperQuery(adapter_, OID_802_3_CURRENT_ADDRESS, 6);
    EXPECT_EQ(query.Returned, NDIS_STATUS_PENDING);
    EXPECT_FALSE(query.Completed);
    EXPECT_TRUE(record_->RequestQueued);
    EXPECT_EQ(RequestsDown(), before);

    EXPECT_EQ(NdisHostLowerSetPower(adapter_, NdisDeviceStateD0), NDIS_STATUS_SUCCESS);
    EXPECT_EQ(RequestsDown(), before + 1);
    query = NdisHostLatestUpperRequestForTest(adapter_);
    EXPECT_TRUE(query.Completed);
    EXPECT_EQ(query.Status, NDIS_STATUS_SUCCESS);
    // The request goes down before the protocols above hear of the return to D0.
    EXPECT_THAT(NdisHostIndicationsForTest(adapter_),
                ElementsAre(Field(&NdisHostIndication::Kind, NdisHostQueryCompleted),
                            Field(&NdisHostIndication::Kind, NdisHostIndicatedPnPEvent)));
}

TEST_F(MiniportTest, QueuedQueryFailsWhenTheBindingIsUnbound) {
    SleepLowerAdapterWithMiniportAwake();
    EXPECT_EQ(NdisHostUpperQuery(adapter_, OID_802_3_CURRENT_ADDRESS, 6).Returned, NDIS_STATUS_PENDING);
    const uint32_t before = RequestsDown();
    EXPECT_EQ(NdisHostUnbindAdapter(adapter_), NDIS_STATUS_SUCCESS);
    EXPECT_EQ(RequestsDown(), before);
    // The miniport is gone now; what its protocols heard before the halt is still recorded.
    const std::vector<NdisHostIndication> heard = NdisHostIndicationsForTest(adapter_);
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(heard.back().Kind, NdisHostQueryCompleted);
    EXPECT_EQ(heard.back().Status, NDIS_STATUS_FAILURE);
}

TEST_F(MiniportTest, ShortPowerBufferIsRefusedWithTheLengthNeeded) {
    const NdisHostUpperRequest set = NdisHostUpperSetPower(adapter_, NdisDeviceStateD3, 2);
    EXPECT_EQ(set.Returned, NDIS_STATUS_INVALID_LENGTH);
    EXPECT_EQ(set.BytesDone, 0u);
    EXPECT_EQ(set.BytesNeeded, 4u);
    EXPECT_EQ(record_->MiniportPowerState, NdisDeviceStateD0);
    EXPECT_FALSE(record_->StandingBy);
}

TEST_F(MiniportTest, LowPowerAcceptsOnlyD0) {
    NdisHostUpperRequest set = NdisHostUpperSetPower(adapter_, NdisDeviceStateD3);
    EXPECT_EQ(set.Returned, NDIS_STATUS_SUCCESS);
    EXPECT_EQ(set.BytesDone, 4u);
    EXPECT_TRUE(record_->StandingBy);

    set = NdisHostUpperSetPower(adapter_, NdisDeviceStateD2);
    EXPECT_EQ(set.Returned, NDIS_STATUS_FAILURE);
    EXPECT_EQ(set.BytesNeeded, 4u);
    EXPECT_EQ(record_->MiniportPowerState, NdisDeviceStateD3);

    EXPECT_EQ(NdisHostUpperSetPower(adapter_, NdisDeviceStateD0).Returned, NDIS_STATUS_SUCCESS);
    EXPECT_EQ(record_->MiniportPowerState, NdisDeviceStateD0);
    EXPECT_FALSE(record_->StandingBy);
    EXPECT_THAT(NdisHostIndicationsForTest(adapter_), IsEmpty()) << "no media status changed meanwhile";
}

TEST_F(MiniportTest, MediaStatusHeldBackInLowPowerIsReplayedOnReturnToD0) {
    ASSERT_EQ(NdisHostUpperSetPower(adapter_, NdisDeviceStateD3).Returned, NDIS_STATUS_SUCCESS);
    ASSERT_EQ(NdisHostLowerSetPower(adapter_, NdisDeviceStateD3), NDIS_STATUS_SUCCESS);
    NdisHostLowerIndicateStatus(adapter_, NDIS_STATUS_MEDIA_DISCONNECT);
    ASSERT_EQ(NdisHostLowerSetPower(adapter_, NdisDeviceStateD0), NDIS_STATUS_SUCCESS);
    NdisHostClearIndicationsForTest(adapter_);

    ASSERT_EQ(NdisHostUpperSetPower(adapter_, NdisDeviceStateD0).Returned, NDIS_STATUS_SUCCESS);
    const std::vector<NdisHostIndication> heard = NdisHostIndicationsForTest(adapter_);
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0].Kind, NdisHostIndicatedStatus);
    EXPECT_EQ(heard[0].Status, NDIS_STATUS_MEDIA_DISCONNECT);
    EXPECT_EQ(heard[1].Kind, NdisHostIndicatedStatusComplete);
    EXPECT_EQ(record_->LastIndicatedStatus, NDIS_STATUS_MEDIA_DISCONNECT);
}

TEST_F(MiniportTest, D0WhileAlreadyInD0IndicatesNothing) {
    EXPECT_EQ(NdisHostUpperSetPower(adapter_, NdisDeviceStateD0).Returned, NDIS_STATUS_SUCCESS);
    EXPECT_THAT(NdisHostIndicationsForTest(adapter_), IsEmpty());
}

TEST_F(MiniportTest, CancelSendPacketsIsPassedToTheLowerAdapter) {
    int marker = 0;
    NdisHostRegistrationsForTest().Miniport.CancelSendPacketsHandler(record_, &marker);
    EXPECT_THAT(NdisHostAdapterStateForTest(adapter_).CancelledSendIds, ElementsAre(&marker));
}

} // namespace
} // namespace zelk::test
