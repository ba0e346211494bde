// Until the packet paths through the guard exist, every frame is refused on both edges and every
// packet goes back to its owner: nothing passes unguarded and nothing is held.
#include "framework_fixture.h"

namespace zelk::test {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::IsEmpty;

class PacketPathsTest : public FrameworkTest {
protected:
    void SetUp() override {
        FrameworkTest::SetUp();
        Load();
        adapter_ = AddRunningAdapter();
    }

    NdisHostAdapter* adapter_ = nullptr;
    const UCHAR frame_[60] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00,
                              0x11, 0x22, 0x33, 0x44, 0x55, 0x08, 0x06};
};

TEST_F(PacketPathsTest, SentPacketsAreEachCompletedWithFailureAndNothingGoesDown) {
    PNDIS_PACKET packets[2] = {NdisHostMakeFramePacket(frame_, sizeof(frame_)),
                               NdisHostMakeFramePacket(frame_, sizeof(frame_), 2)};
    NdisHostUpperSendPackets(adapter_, packets, 2);
    EXPECT_THAT(NdisHostIndicationsForTest(adapter_),
                ElementsAre(Field(&NdisHostIndication::Packet, packets[0]),
                            Field(&NdisHostIndication::Packet, packets[1])));
    EXPECT_THAT(NdisHostIndicationsForTest(adapter_),
                Each(Field(&NdisHostIndication::Status, NDIS_STATUS_FAILURE)));
    EXPECT_THAT(NdisHostLowerSentPacketsForTest(adapter_), IsEmpty());
    NdisHostFreeFramePacket(packets[0]);
    NdisHostFreeFramePacket(packets[1]);
}

TEST_F(PacketPathsTest, ReceivedFramesAreNotIndicatedAndTheLowerAdapterKeepsItsPacket) {
    PNDIS_PACKET packet = NdisHostMakeFramePacket(frame_, sizeof(frame_));
    EXPECT_EQ(NdisHostLowerIndicateReceivePacket(adapter_, packet), 0);
    EXPECT_EQ(NdisHostLowerIndicateReceive(adapter_, frame_, sizeof(frame_), 14, 46, nullptr),
              NDIS_STATUS_FAILURE);
    NdisHostLowerIndicateReceiveComplete(adapter_);
    UINT transferred = 99;
    EXPECT_EQ(NdisHostUpperTransferData(adapter_, 0, 46, packet, &transferred), NDIS_STATUS_FAILURE);
    EXPECT_EQ(transferred, 0u);
    EXPECT_THAT(NdisHostIndicationsForTest(adapter_), IsEmpty());
    NdisHostFreeFramePacket(packet);
}

} // namespace
} // namespace zelk::test
