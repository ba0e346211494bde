// The suppression table's rules at the edges of its 300-second window and of its 1024 slots.
#include "service/poller/suppression_table.h"

#include <gtest/gtest.h>

#include <memory>

#include "tools/frames/arp_frame.h"

namespace zelk {
namespace {

const int64_t kNow = 1301085337;

class SuppressionTableTest : public ::testing::Test {
protected:
    SuppressionTableTest() : table(new SuppressionTable{}) {}

    static void Name(const char* text, uint16_t (&name)[GUARD_PROCESS_NAME_UNITS]) {
        for (size_t i = 0; i < GUARD_PROCESS_NAME_UNITS; ++i) {
            name[i] = 0;
        }
        for (size_t i = 0; text[i] != '\0'; ++i) {
            name[i] = static_cast<unsigned char>(text[i]);
        }
    }

    // Fills every slot with a fresh inbound-source entry 10.0.x.y.
    void FillWithFreshEntries(int64_t now) {
        for (uint32_t i = 0; i < SUPPRESSION_SLOTS; ++i) {
            const Ipv4Address ip{{10, 0, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)}};
            ASSERT_TRUE(NoteInboundSource(table.get(), ip, now));
        }
    }

    size_t EntriesWithMark(uint8_t mark) {
        size_t count = 0;
        for (const SuppressionEntry& entry : table->Slots) {
            count += entry.Mark == mark ? 1 : 0;
        }
        return count;
    }

    std::unique_ptr<SuppressionTable> table;
};

struct AgeCase {
    int64_t Age;
    bool Fresh;
};

class FreshnessTest : public ::testing::TestWithParam<AgeCase> {};

TEST_P(FreshnessTest, FreshUpTo300SecondsAndWhenTheClockWentBack) {
    const uint32_t stored = static_cast<uint32_t>(kNow);
    EXPECT_EQ(IsFresh(stored, kNow + GetParam().Age), GetParam().Fresh);
}

INSTANTIATE_TEST_SUITE_P(Ages, FreshnessTest,
                         ::testing::Values(AgeCase{0, true}, AgeCase{300, true}, AgeCase{301, false},
                                           AgeCase{-5000, true}, AgeCase{100000, false}));

TEST_F(SuppressionTableTest, AnInboundSourceIsSuppressedHoweverOldItsEntry) {
    const Ipv4Address source = Ip("192.168.1.10");
    EXPECT_TRUE(NoteInboundSource(table.get(), source, kNow));
    EXPECT_FALSE(NoteInboundSource(table.get(), source, kNow + 10000));
    ClearInboundSources(table.get());
    EXPECT_TRUE(NoteInboundSource(table.get(), source, kNow + 10001));
}

TEST_F(SuppressionTableTest, ALocalProgramIsRefreshedWhileFreshAndClearedOnceExpired) {
    uint16_t name[GUARD_PROCESS_NAME_UNITS];
    Name("ARPSPOOF.EXE", name);
    uint16_t otherCase[GUARD_PROCESS_NAME_UNITS];
    Name("arpspoof.exe", otherCase);
    const Ipv4Address ip = Ip("192.168.1.1");
    EXPECT_TRUE(NoteLocalProgram(table.get(), name, ip, kNow));
    EXPECT_FALSE(NoteLocalProgram(table.get(), otherCase, ip, kNow + 300));
    EXPECT_FALSE(NoteLocalProgram(table.get(), name, ip, kNow + 600)) << "refreshed at +300";
    EXPECT_TRUE(NoteLocalProgram(table.get(), name, ip, kNow + 901));
    EXPECT_EQ(EntriesWithMark(SUPPRESSION_LOCAL_PROGRAM), 1u) << "the expired entry was cleared on the way";
    EXPECT_EQ(table->AttackCount, 2u);
}

TEST_F(SuppressionTableTest, ANewEntryTakesTheFirstFreeOrExpiredSlot) {
    FillWithFreshEntries(kNow);
    table->Slots[700].Time = static_cast<uint32_t>(kNow - 301);
    table->Slots[900].Time = static_cast<uint32_t>(kNow - 400);
    EXPECT_TRUE(NoteInboundSource(table.get(), Ip("192.168.1.10"), kNow));
    EXPECT_EQ(table->Slots[700].Ip.Bytes[0], 192);
    EXPECT_EQ(table->Slots[900].Ip.Bytes[0], 10);
}

TEST_F(SuppressionTableTest, AFullTableOfFreshEntriesOverwritesSlotAttackCountModulo1024) {
    FillWithFreshEntries(kNow);
    table->AttackCount = 5000; // 5000 % 1024 == 904
    uint16_t name[GUARD_PROCESS_NAME_UNITS];
    Name("A.EXE", name);
    EXPECT_TRUE(NoteLocalProgram(table.get(), name, Ip("192.168.1.1"), kNow + 300));
    const SuppressionEntry& overwritten = table->Slots[904];
    EXPECT_EQ(overwritten.Mark, SUPPRESSION_LOCAL_PROGRAM);
    EXPECT_EQ(overwritten.Time, static_cast<uint32_t>(kNow + 300));
    EXPECT_EQ(overwritten.ProcessName[0], 'A');
    EXPECT_EQ(EntriesWithMark(SUPPRESSION_INBOUND_SOURCE), SUPPRESSION_SLOTS - 1);
    EXPECT_EQ(table->AttackCount, 5001u);
}

} // namespace
} // namespace zelk
