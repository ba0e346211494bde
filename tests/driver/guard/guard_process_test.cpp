// Naming the sending process: where the image name is found and how it is converted.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/guard/guard_process.h"
#include "tests/driver/guard/guard_fixture.h"

namespace zelk::test {
namespace {

struct NameCase {
    const char* Name;
    std::string ImageName;       // bytes at the image-name offset
    std::vector<uint16_t> Units; // expected units before the terminator
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.Name;
}

std::vector<uint16_t> Units(const char* text) {
    std::vector<uint16_t> units;
    for (const char* p = text; *p != 0; ++p) {
        units.push_back(static_cast<uint8_t>(*p));
    }
    return units;
}

class ProcessNames : public GuardTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(ProcessNames, UpperCasedWidenedAndZeroFilled) {
    const NameCase& c = GetParam();
    GuardHostProcess process;
    GuardHostMakeProcess(&process, 77, c.ImageName.data(), c.ImageName.size());
    GuardHostSetCurrentProcessForTest(&process);

    uint16_t name[GUARD_PROCESS_NAME_UNITS];
    std::memset(name, 0xCC, sizeof(name));
    ASSERT_TRUE(GuardGetProcessName(name));
    EXPECT_EQ(GuardGetProcessId(), 77u);

    ASSERT_LE(c.Units.size(), 31u);
    for (size_t i = 0; i < GUARD_PROCESS_NAME_UNITS; ++i) {
        const uint16_t expected = i < c.Units.size() ? c.Units[i] : 0;
        EXPECT_EQ(name[i], expected) << "unit " << i;
    }
}

const NameCase kNameCases[] = {
    {"LowerCaseBecomesUpper", "notepad.exe", Units("NOTEPAD.EXE")},
    {"SystemProcess", "System", Units("SYSTEM")},
    {"HighBytesWidenUnchanged", "caf\xE9.exe", {'C', 'A', 'F', 0x00E9, '.', 'E', 'X', 'E'}},
    {"FortyBytesWithoutTerminatorKeepThirtyOne", std::string(40, 'a'), std::vector<uint16_t>(31, 'A')},
    {"OnlyAsciiLettersChange", "a1_-z{~", Units("A1_-Z{~")},
};

INSTANTIATE_TEST_SUITE_P(Rules, ProcessNames, ::testing::ValuesIn(kNameCases), CaseName());

using ProcessIdentificationTest = GuardTest;

TEST_F(ProcessIdentificationTest, OffsetIsFoundInTheSystemProcessAtLoad) {
    EXPECT_EQ(GuardImageNameOffset(), GUARD_HOST_IMAGE_NAME_OFFSET);
}

TEST_F(ProcessIdentificationTest, SearchIgnoresCase) {
    GuardHostProcess system;
    GuardHostMakeProcess(&system, 4, "SYSTEM", 6);
    GuardHostSetCurrentProcessForTest(&system);
    GuardFindImageNameOffset();
    EXPECT_EQ(GuardImageNameOffset(), GUARD_HOST_IMAGE_NAME_OFFSET);
}

TEST_F(ProcessIdentificationTest, WithoutAnOffsetSentFramesCarryAnIdButNoName) {
    GuardHostProcess notSystem;
    GuardHostMakeProcess(&notSystem, 4, "Idle", 4);
    GuardHostSetCurrentProcessForTest(&notSystem);
    GuardFindImageNameOffset();
    ASSERT_EQ(GuardImageNameOffset(), 0u);

    GuardHostProcess tool;
    GuardHostMakeProcess(&tool, 4242, "tool.exe", 8);
    GuardHostSetCurrentProcessForTest(&tool);
    ArpFrameFields forged;
    forged.SenderMac = Mac("00-1A-2B-3C-4D-5E");
    forged.EthernetSource = Mac("00-0C-29-4F-8E-35");
    forged.SenderIp = Ip("192.168.1.10");
    forged.TargetIp = Ip("192.168.1.1");
    EXPECT_EQ(Inspect(forged, GUARD_DIR_OUTBOUND), GUARD_DROP);

    const auto events = Drain();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(uint64_t{events[0].ProcessId}, 4242u);
    const uint8_t zeros[64] = {};
    EXPECT_EQ(std::memcmp(reinterpret_cast<const uint8_t*>(&events[0]) + 27, zeros, 64), 0);
}

TEST_F(ProcessIdentificationTest, NoCurrentProcessGivesNoNameAndNoId) {
    GuardHostSetCurrentProcessForTest(nullptr);
    uint16_t name[GUARD_PROCESS_NAME_UNITS];
    std::memset(name, 0xCC, sizeof(name));
    EXPECT_FALSE(GuardGetProcessName(name));
    for (uint16_t unit : name) {
        EXPECT_EQ(unit, 0u);
    }
    EXPECT_EQ(GuardGetProcessId(), 0u);
    EXPECT_FALSE(GuardGetProcessName(nullptr));

    GuardFindImageNameOffset();
    EXPECT_EQ(GuardImageNameOffset(), 0u) << "no System process to search at load";
}

} // namespace
} // namespace zelk::test
