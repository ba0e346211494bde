// Load and unload: the order of registrations, their failure paths, the banner lines.
#include "framework_fixture.h"

#include "driver/guard/guard_tables.h"

namespace zelk::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class DriverEntryTest : public FrameworkTest {};

TEST_F(DriverEntryTest, LoadRegistersBothEdgesAssociatedAndPrintsTheBanner) {
    Load();
    const NdisHostRegistrations registered = NdisHostRegistrationsForTest();
    EXPECT_TRUE(registered.WrapperOpen);
    EXPECT_TRUE(registered.MiniportRegistered);
    EXPECT_TRUE(registered.ProtocolRegistered);
    EXPECT_TRUE(registered.Associated);
    EXPECT_TRUE(registered.UnloadHandlerSet);
    EXPECT_THAT(NdisHostDbgPrintLinesForTest(), ElementsAre(kLoadedLine));
}

TEST_F(DriverEntryTest, EdgesRegisterAsLayeredMiniport51AndProtocol50NamedZelkarp) {
    Load();
    const NdisHostRegistrations registered = NdisHostRegistrationsForTest();
    EXPECT_EQ(registered.MiniportMajorVersion, 5);
    EXPECT_EQ(registered.MiniportMinorVersion, 1);
    EXPECT_EQ(registered.MiniportCharacteristicsLength, sizeof(NDIS_MINIPORT_CHARACTERISTICS));
    EXPECT_EQ(registered.ProtocolMajorVersion, 5);
    EXPECT_EQ(registered.ProtocolMinorVersion, 0);
    EXPECT_EQ(registered.ProtocolCharacteristicsLength, sizeof(NDIS_PROTOCOL_CHARACTERISTICS));
    EXPECT_EQ(registered.ProtocolName, "ZELKARP");
    // The slots a layered miniport leaves to NDIS stay empty.
    EXPECT_EQ(registered.Miniport.CheckForHangHandler, nullptr);
    EXPECT_EQ(registered.Miniport.ResetHandler, nullptr);
    EXPECT_EQ(registered.Miniport.SendHandler, nullptr);
    EXPECT_NE(registered.Miniport.CancelSendPacketsHandler, nullptr);
    EXPECT_NE(registered.Miniport.PnPEventNotifyHandler, nullptr);
    EXPECT_NE(registered.Miniport.AdapterShutdownHandler, nullptr);
    EXPECT_NE(registered.Protocol.ResetCompleteHandler, nullptr);
    EXPECT_NE(registered.Protocol.UnloadHandler, nullptr);
    EXPECT_EQ(registered.Protocol.CoSendCompleteHandler, nullptr);
}

TEST_F(DriverEntryTest, ProtocolRegistrationFailureLeavesNothingRegisteredAndPrintsNothing) {
    NdisHostFailNextCallForTest(NdisHostCallRegisterProtocol, NDIS_STATUS_RESOURCES);
    EXPECT_EQ(LoadDriver(), NDIS_STATUS_RESOURCES);
    const NdisHostRegistrations registered = NdisHostRegistrationsForTest();
    EXPECT_FALSE(registered.MiniportRegistered);
    EXPECT_FALSE(registered.ProtocolRegistered);
    EXPECT_FALSE(registered.WrapperOpen);
    EXPECT_TRUE(registered.WrapperTerminated);
    EXPECT_THAT(NdisHostDbgPrintLinesForTest(), IsEmpty());
}

TEST_F(DriverEntryTest, MiniportRegistrationFailureTerminatesTheWrapperBeforeTheProtocolIsTried) {
    NdisHostFailNextCallForTest(NdisHostCallRegisterLayeredMiniport, NDIS_STATUS_FAILURE);
    EXPECT_EQ(LoadDriver(), NDIS_STATUS_FAILURE);
    const NdisHostRegistrations registered = NdisHostRegistrationsForTest();
    EXPECT_TRUE(registered.WrapperTerminated);
    EXPECT_FALSE(registered.ProtocolRegistered);
    EXPECT_FALSE(registered.UnloadHandlerSet);
    EXPECT_THAT(NdisHostDbgPrintLinesForTest(), IsEmpty());
}

TEST_F(DriverEntryTest, UnloadDeregistersBothEdgesFreesTheGuardTablesAndPrintsTheUnloadLine) {
    Load();
    const uint8_t bindings[20] = {192, 168, 1, 1, 0, 0x11, 0x22, 0x33, 0x44, 0x55,
                                  192, 168, 1, 2, 0, 0x11, 0x22, 0x33, 0x44, 0x66};
    ASSERT_TRUE(BindingTableReplace(bindings, sizeof(bindings)));
    ASSERT_EQ(BindingTableCountForTest(), 2u);

    ASSERT_TRUE(NdisHostUnloadDriver());
    loaded_ = false;
    const NdisHostRegistrations registered = NdisHostRegistrationsForTest();
    EXPECT_FALSE(registered.ProtocolRegistered);
    EXPECT_FALSE(registered.MiniportRegistered);
    EXPECT_EQ(BindingTableCountForTest(), 0u);
    EXPECT_THAT(NdisHostDbgPrintLinesForTest(), ElementsAre(kLoadedLine, kUnloadLine));
    EXPECT_EQ(g_Driver.ProtocolHandle, nullptr);
}

TEST_F(DriverEntryTest, ProtocolUnloadDeregistersOnlyOnce) {
    Load();
    NdisHostRegistrationsForTest().Protocol.UnloadHandler();
    EXPECT_FALSE(NdisHostRegistrationsForTest().ProtocolRegistered);
    // The driver's own unload finds the protocol gone and does not deregister it again.
    ASSERT_TRUE(NdisHostUnloadDriver());
    loaded_ = false;
}

} // namespace
} // namespace zelk::test
