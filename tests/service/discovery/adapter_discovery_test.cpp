// Both list builders over the simulated host's adapters: what an adapter must have to count, and one
// entry per gateway address, the later adapter's.
#include "service/discovery/adapter_discovery.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/service/support/simulated_service_fixture.h"

namespace zelk {
namespace {

struct ArpAnswerRow {
    const char* Ip;
    const char* Mac;
    uint32_t Length;
};

struct ExpectedEntry {
    const char* GatewayIp;
    const char* GatewayMac;
    const char* Adapter; // whose adapter-gateway entry it is
};

struct DiscoveryCase {
    const char* Name;
    std::vector<SimulatedAdapter> Adapters;
    std::vector<ArpAnswerRow> Answers;
    uint32_t BindingCount;                        // adapters that contributed a binding, duplicates counted
    uint32_t GatewayCount;                        // adapters that contributed an adapter-gateway entry
    std::vector<ExpectedEntry> Entries;           // both lists, in order (bindings ignore Adapter)
    std::vector<ExpectedEntry> OnlyBindings = {}; // bindings beyond the adapter-gateway entries
};

void PrintTo(const DiscoveryCase& row, std::ostream* out) {
    *out << row.Name;
}

class AdapterDiscoveryTest : public SimulatedServiceFixture,
                             public ::testing::WithParamInterface<DiscoveryCase> {};

TEST_P(AdapterDiscoveryTest, BuildsOneEntryPerResolvedGateway) {
    const DiscoveryCase& row = GetParam();
    for (const SimulatedAdapter& adapter : row.Adapters) {
        host->AddAdapter(adapter);
    }
    for (const ArpAnswerRow& answer : row.Answers) {
        host->SetArpAnswer(Ip(answer.Ip), Mac(answer.Mac), answer.Length);
    }

    std::vector<ArpBinding> bindings;
    EXPECT_EQ(BuildBindingList(*host, &bindings), row.BindingCount);
    std::vector<ExpectedEntry> expectedBindings = row.Entries;
    expectedBindings.insert(expectedBindings.end(), row.OnlyBindings.begin(), row.OnlyBindings.end());
    ASSERT_EQ(bindings.size(), expectedBindings.size());
    for (size_t i = 0; i < bindings.size(); ++i) {
        EXPECT_EQ(FormatIpv4(bindings[i].Ip), expectedBindings[i].GatewayIp);
        EXPECT_EQ(FormatMac(bindings[i].Mac), expectedBindings[i].GatewayMac);
    }

    std::vector<AdapterGateway> gateways;
    EXPECT_EQ(BuildAdapterGatewayList(*host, &gateways), row.GatewayCount);
    ASSERT_EQ(gateways.size(), row.Entries.size());
    for (size_t i = 0; i < gateways.size(); ++i) {
        EXPECT_EQ(FormatIpv4(gateways[i].GatewayIp), row.Entries[i].GatewayIp);
        EXPECT_EQ(FormatMac(gateways[i].GatewayMac), row.Entries[i].GatewayMac);
        EXPECT_STREQ(gateways[i].AdapterName, row.Entries[i].Adapter);
    }
}

const std::string kLongest(ADAPTER_NAME_MAX_CHARS, 'L');
const std::string kTooLong(ADAPTER_NAME_MAX_CHARS + 1, 'T');

const std::vector<DiscoveryCase> kDiscoveryCases = {
    {"OneAdapter",
     {{"{A}", Mac("00-11-22-33-44-55"), "192.168.1.5", "192.168.1.1"}},
     {{"192.168.1.1", "66-77-88-99-AA-BB", 6}},
     1,
     1,
     {{"192.168.1.1", "66-77-88-99-AA-BB", "{A}"}}},
    {"NoIpv4Address",
     {{"{A}", Mac("00-11-22-33-44-55"), "", "192.168.1.1"}},
     {{"192.168.1.1", "66-77-88-99-AA-BB", 6}},
     0,
     0,
     {}},
    {"NoGateway", {{"{A}", Mac("00-11-22-33-44-55"), "192.168.1.5", ""}}, {}, 0, 0, {}},
    {"AddressZero",
     {{"{A}", Mac("00-11-22-33-44-55"), "0.0.0.0", "192.168.1.1"}},
     {{"192.168.1.1", "66-77-88-99-AA-BB", 6}},
     0,
     0,
     {}},
    {"GatewayZero", {{"{A}", Mac("00-11-22-33-44-55"), "192.168.1.5", "0.0.0.0"}}, {}, 0, 0, {}},
    {"GatewayDoesNotAnswer", {{"{A}", Mac("00-11-22-33-44-55"), "192.168.1.5", "192.168.1.1"}}, {}, 0, 0, {}},
    {"AnswerOfLengthZero",
     {{"{A}", Mac("00-11-22-33-44-55"), "192.168.1.5", "192.168.1.1"}},
     {{"192.168.1.1", "66-77-88-99-AA-BB", 0}},
     0,
     0,
     {}},
    {"TwoAdaptersOneGatewayKeepTheLater",
     {{"{A}", Mac("00-11-22-33-44-55"), "192.168.1.5", "192.168.1.1"},
      {"{B}", Mac("00-11-22-33-44-66"), "192.168.1.6", "192.168.1.1"}},
     {{"192.168.1.1", "66-77-88-99-AA-BB", 6}},
     2,
     2,
     {{"192.168.1.1", "66-77-88-99-AA-BB", "{B}"}}},
    {"TwoGatewaysInListOrder",
     {{"{A}", Mac("00-11-22-33-44-55"), "192.168.1.5", "192.168.1.1"},
      {"{X}", Mac("00-11-22-33-44-77"), "", ""},
      {"{B}", Mac("00-11-22-33-44-66"), "10.0.0.5", "10.0.0.1"}},
     {{"192.168.1.1", "66-77-88-99-AA-BB", 6}, {"10.0.0.1", "66-77-88-99-AA-CC", 6}},
     2,
     2,
     {{"192.168.1.1", "66-77-88-99-AA-BB", "{A}"}, {"10.0.0.1", "66-77-88-99-AA-CC", "{B}"}}},
    {"LongestAdapterName",
     {{kLongest, Mac("00-11-22-33-44-55"), "192.168.1.5", "192.168.1.1"}},
     {{"192.168.1.1", "66-77-88-99-AA-BB", 6}},
     1,
     1,
     {{"192.168.1.1", "66-77-88-99-AA-BB", kLongest.c_str()}}},
    // Its device name would not fit: it is trusted, but no correction frame can reach it.
    {"AdapterNameTooLongForItsDeviceName",
     {{kTooLong, Mac("00-11-22-33-44-55"), "192.168.1.5", "192.168.1.1"}},
     {{"192.168.1.1", "66-77-88-99-AA-BB", 6}},
     1,
     0,
     {},
     {{"192.168.1.1", "66-77-88-99-AA-BB", ""}}},
};

INSTANTIATE_TEST_SUITE_P(Adapters, AdapterDiscoveryTest, ::testing::ValuesIn(kDiscoveryCases),
                         [](const ::testing::TestParamInfo<DiscoveryCase>& row) { return row.param.Name; });

using AdapterListTest = SimulatedServiceFixture;

TEST_F(AdapterListTest, AnUnreadableListGivesNothing) {
    AddLan();
    SimulatedFailures failures;
    failures.AdapterList = true;
    host->SetFailures(failures);
    std::vector<ArpBinding> bindings;
    std::vector<AdapterGateway> gateways;
    EXPECT_EQ(BuildBindingList(*host, &bindings), 0u);
    EXPECT_EQ(BuildAdapterGatewayList(*host, &gateways), 0u);
    EXPECT_TRUE(bindings.empty());
    EXPECT_TRUE(gateways.empty());
}

TEST(AddOrReplaceTest, ReplacesTheWholeEntryInPlace) {
    std::vector<ArpBinding> list;
    AddOrReplaceBinding(&list, ArpBinding{Ip("10.0.0.1"), Mac("00-00-00-00-00-01")});
    AddOrReplaceBinding(&list, ArpBinding{Ip("10.0.0.2"), Mac("00-00-00-00-00-02")});
    AddOrReplaceBinding(&list, ArpBinding{Ip("10.0.0.1"), Mac("00-00-00-00-00-03")});
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(FormatIpv4(list[0].Ip), "10.0.0.1");
    EXPECT_EQ(FormatMac(list[0].Mac), "00-00-00-00-00-03");
    EXPECT_EQ(FormatIpv4(list[1].Ip), "10.0.0.2");
}

} // namespace
} // namespace zelk
