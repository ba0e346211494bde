// Request completion rules, media status, power events from below and other Plug and Play events.
#include "framework_fixture.h"

#include <atomic>
#include <thread>

#include "driver/guard/guard_platform.h"

namespace zelk::test {
namespace {

using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::IsEmpty;

const UCHAR kMacA[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
const UCHAR kMacB[6] = {0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB};

uint64_t AsValue(const UCHAR* mac) {
    GuardLocalMac published{};
    GuardPublishLocalMac(&published, mac);
    return published.Value;
}

class ProtocolEventsTest : public FrameworkTest {
protected:
    void SetUp() override {
        FrameworkTest::SetUp();
        Load();
    }

    void Start(ULONG ndisVersion = 0x00050001) {
        NdisHostAdapterConfig config;
        config.Name = "\\Device\\{LOWER}";
        config.UpperBindings = "\\Device\\ZELKARP_{LOWER}";
        config.NdisVersion = ndisVersion;
        memcpy(config.Mac, kMacA, sizeof(kMacA));
        adapter_ = NdisHostAddAdapter(config);
        adapters_.push_back(adapter_);
        ASSERT_EQ(NdisHostBindAdapter(adapter_), NDIS_STATUS_SUCCESS);
        record_ = RecordOf(adapter_);
    }

    void SetPendingSends(ULONG count) {
        NdisAcquireSpinLock(&record_->Lock);
        record_->PendingSends = count;
        NdisReleaseSpinLock(&record_->Lock);
    }

    NdisHostAdapter* adapter_ = nullptr;
    Adapter* record_ = nullptr;
};

TEST_F(ProtocolEventsTest, SuccessfulCurrentAddressQuerySetsLocalMacAndAFailedOneKeepsIt) {
    Start();
    EXPECT_EQ(NdisHostUpperQuery(adapter_, OID_802_3_CURRENT_ADDRESS, 6).Status, NDIS_STATUS_SUCCESS);
    EXPECT_EQ(GuardAtomicLoad64(&record_->LocalMac.Value), AsValue(kMacA));

    NdisHostSetOidStatusForTest(adapter_, OID_802_3_CURRENT_ADDRESS, NDIS_STATUS_FAILURE);
    EXPECT_EQ(NdisHostUpperQuery(adapter_, OID_802_3_CURRENT_ADDRESS, 6).Status, NDIS_STATUS_FAILURE);
    EXPECT_EQ(GuardAtomicLoad64(&record_->LocalMac.Value), AsValue(kMacA));

    NdisHostSetOidAnswerForTest(adapter_, OID_802_3_CURRENT_ADDRESS, kMacB, sizeof(kMacB));
    EXPECT_EQ(NdisHostUpperQuery(adapter_, OID_802_3_CURRENT_ADDRESS, 6).Status, NDIS_STATUS_SUCCESS);
    EXPECT_EQ(GuardAtomicLoad64(&record_->LocalMac.Value), AsValue(kMacB)) << "every success overwrites it";
}

TEST_F(ProtocolEventsTest, GuardNeverReadsATornLocalMacWhileItChanges) {
    Start();
    std::atomic<bool> done{false};
    std::atomic<uint32_t> torn{0};
    std::thread reader([&] {
        const uint64_t allowed[] = {0, AsValue(kMacA), AsValue(kMacB)};
        while (!done.load()) {
            const uint64_t seen = GuardAtomicLoad64(&record_->LocalMac.Value);
            if (seen != allowed[0] && seen != allowed[1] && seen != allowed[2]) {
                torn.fetch_add(1);
            }
        }
    });
    for (int i = 0; i < 500; ++i) {
        const UCHAR* mac = i % 2 == 0 ? kMacA : kMacB;
        NdisHostSetOidAnswerForTest(adapter_, OID_802_3_CURRENT_ADDRESS, mac, 6);
        NdisHostUpperQuery(adapter_, OID_802_3_CURRENT_ADDRESS, 6);
    }
    done.store(true);
    reader.join();
    EXPECT_EQ(torn.load(), 0u);
}

struct MacOptionsCase {
    ULONG NdisVersion;
    ULONG Answered;
    ULONG Expected;
};

class MacOptionsTest : public ProtocolEventsTest, public ::testing::WithParamInterface<MacOptionsCase> {};

TEST_P(MacOptionsTest, NoLoopbackIsClearedFromNdis51On) {
    Start(GetParam().NdisVersion);
    NdisHostSetOidAnswerForTest(adapter_, OID_GEN_MAC_OPTIONS, &GetParam().Answered, sizeof(ULONG));
    const NdisHostUpperRequest query = NdisHostUpperQuery(adapter_, OID_GEN_MAC_OPTIONS, sizeof(ULONG));
    ASSERT_EQ(query.Status, NDIS_STATUS_SUCCESS);
    ULONG options = 0;
    memcpy(&options, query.Buffer.data(), sizeof(options));
    EXPECT_EQ(options, GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Versions, MacOptionsTest,
                         ::testing::Values(MacOptionsCase{0x00050001, 0x0F, 0x07},
                                           MacOptionsCase{0x00060000, 0x08, 0x00},
                                           MacOptionsCase{0x00050000, 0x0F, 0x0F}));

TEST_F(ProtocolEventsTest, PnpCapabilitiesReachTheProtocolsAboveWithoutWakeUpAndBothSidesInD0) {
    Start();
    NDIS_PNP_CAPABILITIES offered{};
    offered.Flags = 1;
    offered.WakeUpCapabilities = {NdisDeviceStateD3, NdisDeviceStateD2, NdisDeviceStateD1};
    NdisHostSetOidAnswerForTest(adapter_, OID_PNP_CAPABILITIES, &offered, sizeof(offered));
    const NdisHostUpperRequest answered = NdisHostUpperQuery(adapter_, OID_PNP_CAPABILITIES, sizeof(offered));
    ASSERT_EQ(answered.Status, NDIS_STATUS_SUCCESS);
    NDIS_PNP_CAPABILITIES seen;
    memcpy(&seen, answered.Buffer.data(), sizeof(seen));
    EXPECT_EQ(seen.Flags, 1u);
    EXPECT_EQ(seen.WakeUpCapabilities.MinMagicPacketWakeUp, NdisDeviceStateUnspecified);
    EXPECT_EQ(seen.WakeUpCapabilities.MinPatternWakeUp, NdisDeviceStateUnspecified);
    EXPECT_EQ(seen.WakeUpCapabilities.MinLinkChangeWakeUp, NdisDeviceStateUnspecified);
    EXPECT_EQ(record_->MiniportPowerState, NdisDeviceStateD0);
    EXPECT_EQ(record_->ProtocolPowerState, NdisDeviceStateD0);
}

TEST_F(ProtocolEventsTest, StatusPassesUpInD0AndOnlyMediaStatusIsKeptOtherwise) {
    Start();
    const NDIS_STATUS otherStatus = static_cast<NDIS_STATUS>(0x40010012);
    NdisHostLowerIndicateStatus(adapter_, NDIS_STATUS_MEDIA_DISCONNECT);
    NdisHostLowerIndicateStatus(adapter_, otherStatus);
    EXPECT_EQ(record_->LastIndicatedStatus, NDIS_STATUS_MEDIA_DISCONNECT);
    EXPECT_THAT(NdisHostIndicationsForTest(adapter_),
                ElementsAre(Field(&NdisHostIndication::Status, NDIS_STATUS_MEDIA_DISCONNECT),
                            Field(&NdisHostIndication::Kind, NdisHostIndicatedStatusComplete),
                            Field(&NdisHostIndication::Status, otherStatus),
                            Field(&NdisHostIndication::Kind, NdisHostIndicatedStatusComplete)));

    ASSERT_EQ(NdisHostLowerSetPower(adapter_, NdisDeviceStateD3), NDIS_STATUS_SUCCESS);
    NdisHostClearIndicationsForTest(adapter_);
    NdisHostLowerIndicateStatus(adapter_, NDIS_STATUS_MEDIA_CONNECT);
    NdisHostLowerIndicateStatus(adapter_, otherStatus);
    EXPECT_THAT(NdisHostIndicationsForTest(adapter_), IsEmpty());
    EXPECT_EQ(record_->SuppressedStatus, NDIS_STATUS_MEDIA_CONNECT);
    EXPECT_EQ(record_->LastIndicatedStatus, NDIS_STATUS_MEDIA_DISCONNECT);
}

TEST_F(ProtocolEventsTest, SetPowerToD3ReturnsOnlyAfterTheOutstandingSendsComplete) {
    Start();
    SetPendingSends(3);
    auto sleep =
        std::async(std::launch::async, [&] { return NdisHostLowerSetPower(adapter_, NdisDeviceStateD3); });
    for (ULONG remaining = 3; remaining > 0; --remaining) {
        EXPECT_EQ(sleep.wait_for(std::chrono::milliseconds(5)), std::future_status::timeout)
            << remaining << " sends still outstanding";
        SetPendingSends(remaining - 1);
    }
    ASSERT_TRUE(FinishesSoon(sleep));
    EXPECT_EQ(sleep.get(), NDIS_STATUS_SUCCESS);
    // The protocols above heard of it before the driver drained its sends.
    EXPECT_THAT(NdisHostIndicationsForTest(adapter_),
                ElementsAre(Field(&NdisHostIndication::Kind, NdisHostIndicatedPnPEvent)));
    EXPECT_TRUE(record_->StandingBy);
    EXPECT_EQ(record_->ProtocolPowerState, NdisDeviceStateD3);
}

TEST_F(ProtocolEventsTest, SetPowerToD3WaitsForTheOutstandingRequest) {
    Start();
    NdisHostPendOperationForTest(adapter_, NdisHostRequest, true);
    ASSERT_EQ(NdisHostUpperQuery(adapter_, OID_802_3_CURRENT_ADDRESS, 6).Returned, NDIS_STATUS_PENDING);
    auto sleep =
        std::async(std::launch::async, [&] { return NdisHostLowerSetPower(adapter_, NdisDeviceStateD3); });
    EXPECT_EQ(sleep.wait_for(std::chrono::milliseconds(20)), std::future_status::timeout);
    ASSERT_TRUE(NdisHostCompletePendingForTest(adapter_, NdisHostRequest));
    ASSERT_TRUE(FinishesSoon(sleep));
    EXPECT_EQ(sleep.get(), NDIS_STATUS_SUCCESS);
}

TEST_F(ProtocolEventsTest, OtherEventsGoToTheProtocolsAboveOrAreAnsweredWithSuccess) {
    Start();
    EXPECT_EQ(NdisHostLowerPnPEvent(adapter_, NetEventQueryRemoveDevice), NDIS_STATUS_SUCCESS);
    EXPECT_THAT(NdisHostIndicationsForTest(adapter_),
                ElementsAre(Field(&NdisHostIndication::Event, NetEventQueryRemoveDevice)));
    EXPECT_EQ(NdisHostLowerPnPEvent(nullptr, NetEventBindsComplete), NDIS_STATUS_SUCCESS);
    EXPECT_EQ(NdisHostLowerSetPower(nullptr, NdisDeviceStateD3), NDIS_STATUS_SUCCESS);
    EXPECT_EQ(NdisHostReEnumerationsForTest(), 0u);
}

} // namespace
} // namespace zelk::test
