// The simulated host's packets: pool limits, the per-packet stack answer, the packet macros, frames.
#include <gtest/gtest.h>

#include <vector>

#include "ndis_host.h"

namespace zelk::test {
namespace {

class NdisHostPacketTest : public ::testing::Test {
protected:
    void SetUp() override { NdisHostResetForTest(); }

    NDIS_HANDLE Pool(UINT descriptors, UINT overflow, UINT reserved) {
        NDIS_STATUS status = NDIS_STATUS_FAILURE;
        NDIS_HANDLE pool = nullptr;
        NdisAllocatePacketPoolEx(&status, &pool, descriptors, overflow, reserved);
        EXPECT_EQ(status, NDIS_STATUS_SUCCESS);
        return pool;
    }
};

TEST_F(NdisHostPacketTest, PoolGivesDescriptorsPlusOverflowThenRefusesUntilOneIsFreed) {
    NDIS_HANDLE pool = Pool(2, 1, 8);
    std::vector<PNDIS_PACKET> taken;
    NDIS_STATUS status = NDIS_STATUS_FAILURE;
    for (int i = 0; i < 3; ++i) {
        PNDIS_PACKET packet = nullptr;
        NdisAllocatePacket(&status, &packet, pool);
        ASSERT_EQ(status, NDIS_STATUS_SUCCESS);
        EXPECT_EQ(NdisGetPoolFromPacket(packet), pool);
        taken.push_back(packet);
    }
    PNDIS_PACKET refused = nullptr;
    NdisDprAllocatePacket(&status, &refused, pool);
    EXPECT_EQ(status, NDIS_STATUS_RESOURCES);
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(NdisHostHoldingsForTest().Packets, 3);

    NdisDprFreePacket(taken.back());
    taken.pop_back();
    NdisAllocatePacket(&status, &refused, pool);
    EXPECT_EQ(status, NDIS_STATUS_SUCCESS);
    taken.push_back(refused);
    for (PNDIS_PACKET packet : taken) {
        NdisFreePacket(packet);
    }
    NdisFreePacketPool(pool);
    EXPECT_EQ(NdisHostHoldingsForTest().PacketPools, 0);
    EXPECT_TRUE(NdisHostViolationsForTest().empty());
}

TEST_F(NdisHostPacketTest, DescriptorCarriesItsReservedAreaOutOfBandDataAndPerPacketInformation) {
    NDIS_HANDLE pool = Pool(1, 0, 32);
    NDIS_STATUS status = NDIS_STATUS_FAILURE;
    PNDIS_PACKET packet = nullptr;
    NdisAllocatePacket(&status, &packet, pool);
    ASSERT_EQ(status, NDIS_STATUS_SUCCESS);
    memset(packet->ProtocolReserved, 0x5A, 32); // the whole reserved area is the caller's

    BOOLEAN slotLeft = FALSE;
    EXPECT_NE(NdisIMGetCurrentPacketStack(packet, &slotLeft), nullptr);
    EXPECT_TRUE(slotLeft);
    NdisHostSetPacketStackSlotLeftForTest(packet, false);
    NdisIMGetCurrentPacketStack(packet, &slotLeft);
    EXPECT_FALSE(slotLeft);

    NDIS_SET_PACKET_STATUS(packet, NDIS_STATUS_RESOURCES);
    NDIS_SET_PACKET_HEADER_SIZE(packet, 14);
    NDIS_SET_ORIGINAL_PACKET(packet, packet);
    int info = 0;
    NDIS_SET_PACKET_MEDIA_SPECIFIC_INFO(packet, &info, 4);
    NdisSetPacketFlags(packet, 0x10);
    EXPECT_EQ(NDIS_GET_PACKET_STATUS(packet), NDIS_STATUS_RESOURCES);
    EXPECT_EQ(NDIS_GET_PACKET_HEADER_SIZE(packet), 14u);
    EXPECT_EQ(NDIS_GET_ORIGINAL_PACKET(packet), packet);
    PVOID mediaInfo = nullptr;
    UINT mediaInfoSize = 0;
    NDIS_GET_PACKET_MEDIA_SPECIFIC_INFO(packet, &mediaInfo, &mediaInfoSize);
    EXPECT_EQ(mediaInfo, &info);
    EXPECT_EQ(mediaInfoSize, 4u);
    EXPECT_EQ(NdisGetPacketFlags(packet), 0x10u);

    PNDIS_PACKET copy = NdisHostMakeFramePacket("x", 1);
    NdisIMCopySendPerPacketInfo(copy, packet);
    EXPECT_EQ(NDIS_GET_ORIGINAL_PACKET(copy), packet);
    NdisHostFreeFramePacket(copy);
    NdisFreePacket(packet);
    NdisFreePacketPool(pool);
}

TEST_F(NdisHostPacketTest, FramePacketSplitsTheFrameOverItsBufferChain) {
    const UCHAR frame[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    PNDIS_PACKET packet = NdisHostMakeFramePacket(frame, sizeof(frame), 3);
    UINT buffers = 0;
    UINT total = 0;
    PNDIS_BUFFER first = nullptr;
    NdisQueryPacket(packet, nullptr, &buffers, &first, &total);
    EXPECT_EQ(buffers, 3u);
    EXPECT_EQ(total, 10u);
    PVOID address = nullptr;
    UINT length = 0;
    NdisQueryBufferSafe(first, &address, &length, 0);
    EXPECT_EQ(length, 3u);
    PNDIS_BUFFER second = nullptr;
    NdisGetNextBuffer(first, &second);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(NDIS_PACKET_LAST_NDIS_BUFFER(packet)->Length, 4u);
    EXPECT_EQ(NdisHostPacketBytes(packet), std::vector<UCHAR>(frame, frame + sizeof(frame)));
    EXPECT_EQ(NdisHostHoldingsForTest().Packets, 0) << "the host's own packets are not the driver's";
    NdisHostFreeFramePacket(packet);
}

} // namespace
} // namespace zelk::test
