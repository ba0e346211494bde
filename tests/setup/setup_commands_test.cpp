#include "setup/setup_commands.h"

#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace {

struct ParseCase {
    const char* Name;
    const char16_t* CommandLine;
    SetupCommand Expected;
};

// Test names show the row, not its bytes.
void PrintTo(const ParseCase& row, std::ostream* out) {
    *out << row.Name;
}

class SetupParseCommandTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(SetupParseCommandTest, SelectsByLeadingCharactersWithoutCase) {
    EXPECT_EQ(SetupParseCommand(GetParam().CommandLine), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, SetupParseCommandTest,
    ::testing::Values(ParseCase{"InstallQuiet", u"install-quiet", SETUP_COMMAND_INSTALL_QUIET},
                      ParseCase{"InstallQuietMixedCase", u"InStAlL-QuIeT", SETUP_COMMAND_INSTALL_QUIET},
                      ParseCase{"InstallQuietLonger", u"install-quieter now", SETUP_COMMAND_INSTALL_QUIET},
                      ParseCase{"Install", u"install", SETUP_COMMAND_INSTALL},
                      ParseCase{"InstallCapitals", u"INSTALL", SETUP_COMMAND_INSTALL},
                      ParseCase{"InstallerSelectsInstall", u"installer", SETUP_COMMAND_INSTALL},
                      ParseCase{"CutQuietSelectsInstall", u"install-quie", SETUP_COMMAND_INSTALL},
                      ParseCase{"Uninstall", u"Uninstall", SETUP_COMMAND_UNINSTALL},
                      ParseCase{"UninstallLonger", u"UNINSTALLALL", SETUP_COMMAND_UNINSTALL},
                      ParseCase{"Detect", u"detect", SETUP_COMMAND_DETECT},
                      ParseCase{"Detector", u"detector", SETUP_COMMAND_DETECT},
                      ParseCase{"DeteAlone", u"DeTe", SETUP_COMMAND_DETECT},
                      ParseCase{"DetTooShort", u"det", SETUP_COMMAND_NONE},
                      ParseCase{"InstalTooShort", u"instal", SETUP_COMMAND_NONE},
                      ParseCase{"LeadingBlank", u" install", SETUP_COMMAND_NONE},
                      ParseCase{"Empty", u"", SETUP_COMMAND_NONE},
                      ParseCase{"Null", nullptr, SETUP_COMMAND_NONE},
                      ParseCase{"Other", u"remove", SETUP_COMMAND_NONE}),
    [](const ::testing::TestParamInfo<ParseCase>& testInfo) { return testInfo.param.Name; });

// The library and the debugger output as a test sees them: every call and every line, in order.
std::vector<std::string> g_Calls;
std::vector<std::u16string> g_Lines;
std::map<std::u16string, std::pair<uint32_t, uint32_t>> g_InstallAnswers; // result, code
std::map<std::u16string, uint32_t> g_UninstallAnswers;
std::map<std::u16string, uint32_t> g_DetectAnswers;

std::string Narrow(const char16_t* text) {
    if (text == nullptr) {
        return "null";
    }
    std::string narrow;
    for (; *text != 0; ++text) {
        narrow += static_cast<char>(*text);
    }
    return narrow;
}

uint32_t FakeInstall(uint32_t kind, void* reserved1, void* reserved2, const char16_t* firstInf,
                     const char16_t* secondInf, const char16_t* driverFile, const char16_t* name,
                     uint32_t* code) {
    g_Calls.push_back("Install " + std::to_string(kind) + (reserved1 == nullptr ? " null" : " set") +
                      (reserved2 == nullptr ? " null " : " set ") + Narrow(firstInf) + " " +
                      Narrow(secondInf) + " " + Narrow(driverFile) + " " + Narrow(name) +
                      " code=" + std::to_string(*code));
    const auto answer = g_InstallAnswers[name];
    *code = answer.second;
    return answer.first;
}

uint32_t FakeUninstall(const char16_t* identifier, const char16_t* driverFile, void* reserved) {
    g_Calls.push_back("Uninstall " + Narrow(identifier) + " " + Narrow(driverFile) +
                      (reserved == nullptr ? " null" : " set"));
    return g_UninstallAnswers[identifier];
}

uint32_t FakeDetect(const char16_t* name) {
    g_Calls.push_back("Detect " + Narrow(name));
    return g_DetectAnswers[name];
}

void CollectLine(void*, const char16_t* line) {
    g_Lines.push_back(line);
}

struct SequenceCase {
    const char* Name;
    SetupCommand Command;
    std::map<std::u16string, std::pair<uint32_t, uint32_t>> InstallAnswers;
    std::map<std::u16string, uint32_t> UninstallAnswers;
    std::map<std::u16string, uint32_t> DetectAnswers;
    std::vector<std::string> Calls;
    std::vector<std::u16string> Lines;
};

// Test names show the row, not its bytes.
void PrintTo(const SequenceCase& row, std::ostream* out) {
    *out << row.Name;
}

class SetupRunCommandTest : public ::testing::TestWithParam<SequenceCase> {};

TEST_P(SetupRunCommandTest, CallsTheLibraryAndReports) {
    const SequenceCase& row = GetParam();
    g_Calls.clear();
    g_Lines.clear();
    g_InstallAnswers = row.InstallAnswers;
    g_UninstallAnswers = row.UninstallAnswers;
    g_DetectAnswers = row.DetectAnswers;
    SetupRunCommand(row.Command, SetupLibrary{FakeInstall, FakeUninstall, FakeDetect},
                    SetupOutput{CollectLine, nullptr});
    EXPECT_EQ(g_Calls, row.Calls);
    EXPECT_EQ(g_Lines, row.Lines);
}

const std::vector<std::string> INSTALL_CALLS = {
    "Uninstall ZELK_ARP ZELKARP.sys null",
    "Uninstall ZELK_PROT ZELKProt.sys null",
    "Install 0 null null ZELKARP.inf ZELKARP_m.inf ZELKARP.sys ZELKARP code=0",
    "Install 1 null null ZELKProt.inf null ZELKProt.sys ZELKProt code=0",
};

INSTANTIATE_TEST_SUITE_P(
    Commands, SetupRunCommandTest,
    ::testing::Values(
        SequenceCase{"InstallBothSucceed",
                     SETUP_COMMAND_INSTALL,
                     {},
                     {{u"ZELK_ARP", 1}, {u"ZELK_PROT", 1}},
                     {},
                     INSTALL_CALLS,
                     {u"Zelk: Install the Zelk drivers.",
                      u"Zelk: The Zelk protector driver install successful.\n",
                      u"Zelk: The Zelk protocol driver install successful.\n", u"Zelk: Install finish."}},
        SequenceCase{"InstallProtectorFailsProtocolNeedsReboot",
                     SETUP_COMMAND_INSTALL,
                     {{u"ZELKARP", {1, 1058}}, {u"ZELKProt", {0, 11}}},
                     {},
                     {},
                     INSTALL_CALLS,
                     {u"Zelk: Install the Zelk drivers.",
                      u"Zelk: The Zelk protector driver install failed, error code = 1058.\n",
                      u"Zelk: The Zelk protocol driver install successful, but reboot required.\n",
                      u"Zelk: Install finish."}},
        SequenceCase{"InstallFailureCodePrintsSigned",
                     SETUP_COMMAND_INSTALL,
                     {{u"ZELKARP", {0, 11}}, {u"ZELKProt", {0xFFFFFFFF, 0xFFFFFFFF}}},
                     {},
                     {},
                     INSTALL_CALLS,
                     {u"Zelk: Install the Zelk drivers.",
                      u"Zelk: The Zelk protector driver install successful, but reboot required.\n",
                      u"Zelk: The Zelk protocol driver install failed, error code = -1.\n",
                      u"Zelk: Install finish."}},
        SequenceCase{"UninstallReportsEachAndGoesOn",
                     SETUP_COMMAND_UNINSTALL,
                     {},
                     {{u"ZELK_ARP", 5}},
                     {},
                     {"Uninstall ZELK_ARP ZELKARP.sys null", "Uninstall ZELK_PROT ZELKProt.sys null"},
                     {u"Zelk: Uninstall the Zelk drivers.", u"Zelk: The protector driver uninstall failed.\n",
                      u"Zelk: The protocol driver uninstall successful.\n", u"Zelk: Uninstall finish."}},
        SequenceCase{"DetectLooksAtTheLowByteOnly",
                     SETUP_COMMAND_DETECT,
                     {},
                     {},
                     {{u"ZELKARP", 0x101}, {u"ZELKPROT", 0x100}},
                     {"Detect ZELKARP", "Detect ZELKPROT"},
                     {u"Zelk: The protector driver: found.\n", u"Zelk: The protocol driver: not found.\n"}},
        SequenceCase{"DetectTrueOtherThanOneIsAbsent",
                     SETUP_COMMAND_DETECT,
                     {},
                     {},
                     {{u"ZELKARP", 2}, {u"ZELKPROT", 1}},
                     {"Detect ZELKARP", "Detect ZELKPROT"},
                     {u"Zelk: The protector driver: not found.\n", u"Zelk: The protocol driver: found.\n"}},
        SequenceCase{"NothingForNoCommand", SETUP_COMMAND_NONE, {}, {}, {}, {}, {}},
        SequenceCase{"InstallQuietIsNotRunHere", SETUP_COMMAND_INSTALL_QUIET, {}, {}, {}, {}, {}}),
    [](const ::testing::TestParamInfo<SequenceCase>& testInfo) { return testInfo.param.Name; });

} // namespace
