// Which program names count as the same scanner: whole names, ASCII case folded, at most 31 units.
#include "service/poller/process_name.h"

#include <gtest/gtest.h>

namespace zelk {
namespace {

void Name(const char* text, uint16_t (&name)[GUARD_PROCESS_NAME_UNITS]) {
    for (size_t i = 0; i < GUARD_PROCESS_NAME_UNITS; ++i) {
        name[i] = 0;
    }
    for (size_t i = 0; text[i] != '\0' && i < GUARD_PROCESS_NAME_UNITS; ++i) {
        name[i] = static_cast<unsigned char>(text[i]);
    }
}

struct NameCase {
    const char* A;
    const char* B;
    bool Equal;
};

class ProcessNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(ProcessNameTest, ComparesIgnoringAsciiCase) {
    uint16_t a[GUARD_PROCESS_NAME_UNITS];
    uint16_t b[GUARD_PROCESS_NAME_UNITS];
    Name(GetParam().A, a);
    Name(GetParam().B, b);
    EXPECT_EQ(ProcessNamesEqualIgnoringCase(a, b), GetParam().Equal);
    EXPECT_EQ(ProcessNameIs(a, GetParam().B), GetParam().Equal);
}

INSTANTIATE_TEST_SUITE_P(Names, ProcessNameTest,
                         ::testing::Values(NameCase{"ZELKSRV.EXE", "ZelkSrv.exe", true},
                                           NameCase{"SYSTEM", "System", true},
                                           NameCase{"SYSTEM32", "System", false},
                                           NameCase{"SYS", "System", false}, NameCase{"", "", true},
                                           NameCase{"A", "", false},
                                           NameCase{"ABCDEFGHIJKLMNOPQRSTUVWXYZ01234X",
                                                    "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234Y", true}));

TEST(CopyProcessNameTest, KeepsAtMost31UnitsAndZeroFills) {
    uint16_t source[GUARD_PROCESS_NAME_UNITS];
    Name("ABCDEFGHIJKLMNOPQRSTUVWXYZ01234X", source);
    uint16_t target[GUARD_PROCESS_NAME_UNITS];
    for (uint16_t& unit : target) {
        unit = 0xFFFF;
    }
    CopyProcessName(target, source);
    EXPECT_EQ(target[30], '4');
    EXPECT_EQ(target[31], 0);
}

} // namespace
} // namespace zelk
