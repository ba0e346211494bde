// ZelkSetup64.exe under Wine, over the recording installer library (tests/wine/programs).
#include <gtest/gtest.h>

#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "tests/wine/wine_harness.h"

namespace {

const char* const SETUP_FOLDER = "C:\\zelk";
const char* const SETUP_PROGRAM = "C:\\zelk\\ZelkSetup64.exe";
const char* const CALLS_FILE = "C:\\zelk\\ZelkSetup64.calls.txt";

enum FakeLibrary { LIBRARY_COMPLETE, LIBRARY_WITHOUT_FIND_SERVICE, LIBRARY_NONE };

struct RecordedCall {
    std::string ProcessId;
    std::string Call;
};

class SetupWineTest : public WineTest {
protected:
    void Install(FakeLibrary library) {
        Prefix->CopyIn(WineWin64BuildPath("setup/ZelkSetup64.exe"), SETUP_FOLDER);
        if (library != LIBRARY_NONE) {
            const char* variant = library == LIBRARY_COMPLETE ? "complete" : "without_find_service";
            Prefix->CopyIn(WineWin64BuildPath(std::string("tests/wine/programs/fake_installer/") + variant +
                                              "/ZelkSetup64.dll"),
                           SETUP_FOLDER);
        }
    }

    // Every line the library recorded, split into the calling process and the call.
    std::vector<RecordedCall> RecordedCalls() const {
        std::vector<RecordedCall> calls;
        std::ifstream in(Prefix->HostPath(CALLS_FILE));
        std::string line;
        while (std::getline(in, line)) {
            const size_t blank = line.find(' ');
            calls.push_back({line.substr(0, blank), line.substr(blank + 1)});
        }
        return calls;
    }

    // The calls alone, each load shortened to "load".
    std::vector<std::string> Calls() const {
        std::vector<std::string> calls;
        for (const RecordedCall& call : RecordedCalls()) {
            calls.push_back(call.Call.rfind("load ", 0) == 0 ? "load" : call.Call);
        }
        return calls;
    }
};

const std::string UNINSTALL_PROTECTOR = "UninstallComponent \"ZELK_ARP\" \"ZELKARP.sys\" null";
const std::string UNINSTALL_PROTOCOL = "UninstallComponent \"ZELK_PROT\" \"ZELKProt.sys\" null";
const std::string INSTALL_PROTECTOR =
    "InstallComponent 0 null null \"ZELKARP.inf\" \"ZELKARP_m.inf\" \"ZELKARP.sys\" \"ZELKARP\" code=0";
const std::string INSTALL_PROTOCOL =
    "InstallComponent 1 null null \"ZELKProt.inf\" null \"ZELKProt.sys\" \"ZELKProt\" code=0";
const std::string DETECT_PROTECTOR = "DetectDriver \"ZELKARP\"";
const std::string DETECT_PROTOCOL = "DetectDriver \"ZELKPROT\"";

const std::vector<std::string> INSTALL_CALLS = {"load", UNINSTALL_PROTECTOR, UNINSTALL_PROTOCOL,
                                                INSTALL_PROTECTOR, INSTALL_PROTOCOL};
const std::vector<std::string> INSTALL_LINES = {
    "Zelk: Install the Zelk drivers.", "Zelk: The Zelk protector driver install successful.\n",
    "Zelk: The Zelk protocol driver install successful.\n", "Zelk: Install finish."};
const std::vector<std::string> UNINSTALL_LINES = {
    "Zelk: Uninstall the Zelk drivers.", "Zelk: The protector driver uninstall successful.\n",
    "Zelk: The protocol driver uninstall successful.\n", "Zelk: Uninstall finish."};
const std::vector<std::string> DETECT_LINES = {"Zelk: The protector driver: found.\n",
                                               "Zelk: The protocol driver: not found.\n"};

struct SetupCase {
    const char* Name;
    FakeLibrary Library;
    std::vector<std::string> Arguments;
    std::vector<std::string> Environment;
    std::vector<std::string> Calls;
    std::vector<std::string> DebugLines;
};

// Test names show the row, not its bytes.
void PrintTo(const SetupCase& row, std::ostream* out) {
    *out << row.Name;
}

class SetupWineCommandTest : public SetupWineTest, public ::testing::WithParamInterface<SetupCase> {};

TEST_P(SetupWineCommandTest, CallsTheLibraryReportsAndExitsWithZero) {
    const SetupCase& row = GetParam();
    Install(row.Library);
    const WineResult result = Prefix->Run({SETUP_PROGRAM, row.Arguments, row.Environment});
    ASSERT_TRUE(result.Finished) << result.Stderr;
    EXPECT_EQ(result.ExitCode, 0);
    EXPECT_EQ(Calls(), row.Calls);
    EXPECT_EQ(result.DebugLines, row.DebugLines) << result.Stderr;
}

// Drivers present: the detection answers; drivers absent: every removal fails.
const std::string DETECT_ANSWERS = "ZELK_FAKE_DETECT=ZELKARP=1;ZELKPROT=0";
const std::string NOTHING_INSTALLED = "ZELK_FAKE_UNINSTALL=ZELK_ARP=1;ZELK_PROT=1";

INSTANTIATE_TEST_SUITE_P(
    Commands, SetupWineCommandTest,
    ::testing::Values(
        SetupCase{"InstallCapitals", LIBRARY_COMPLETE, {"INSTALL"}, {}, INSTALL_CALLS, INSTALL_LINES},
        SetupCase{"UninstallMixedCase",
                  LIBRARY_COMPLETE,
                  {"UnInStAlL"},
                  {},
                  {"load", UNINSTALL_PROTECTOR, UNINSTALL_PROTOCOL},
                  UNINSTALL_LINES},
        SetupCase{"DetectCapitals",
                  LIBRARY_COMPLETE,
                  {"DETECT"},
                  {DETECT_ANSWERS},
                  {"load", DETECT_PROTECTOR, DETECT_PROTOCOL},
                  DETECT_LINES},
        SetupCase{"Detector",
                  LIBRARY_COMPLETE,
                  {"detector"},
                  {DETECT_ANSWERS},
                  {"load", DETECT_PROTECTOR, DETECT_PROTOCOL},
                  DETECT_LINES},
        SetupCase{"DeteAlone",
                  LIBRARY_COMPLETE,
                  {"dete"},
                  {DETECT_ANSWERS},
                  {"load", DETECT_PROTECTOR, DETECT_PROTOCOL},
                  DETECT_LINES},
        SetupCase{"DetRunsNothing", LIBRARY_COMPLETE, {"det"}, {}, {"load"}, {}},
        SetupCase{"EmptyCommandLineOnlyLoads", LIBRARY_COMPLETE, {}, {}, {"load"}, {}},
        SetupCase{"WithoutFindServiceComponentIsInvalid",
                  LIBRARY_WITHOUT_FIND_SERVICE,
                  {"install"},
                  {},
                  {"load"},
                  {"Zelk: The library invalid."}},
        SetupCase{
            "MissingLibraryCannotLoad", LIBRARY_NONE, {"install"}, {}, {}, {"Zelk: The library can't load."}},
        SetupCase{"InstallRemovesBothFirstWhenNeitherIsInstalled",
                  LIBRARY_COMPLETE,
                  {"install"},
                  {NOTHING_INSTALLED},
                  INSTALL_CALLS,
                  INSTALL_LINES},
        SetupCase{"RebootCodeAfterSuccess",
                  LIBRARY_COMPLETE,
                  {"install"},
                  {"ZELK_FAKE_INSTALL=ZELKARP=0/11"},
                  INSTALL_CALLS,
                  {"Zelk: Install the Zelk drivers.",
                   "Zelk: The Zelk protector driver install successful, but reboot required.\n",
                   "Zelk: The Zelk protocol driver install successful.\n", "Zelk: Install finish."}},
        SetupCase{"FailedProtectorStillInstallsProtocol",
                  LIBRARY_COMPLETE,
                  {"install"},
                  {"ZELK_FAKE_INSTALL=ZELKARP=1/1058"},
                  INSTALL_CALLS,
                  {"Zelk: Install the Zelk drivers.",
                   "Zelk: The Zelk protector driver install failed, error code = 1058.\n",
                   "Zelk: The Zelk protocol driver install successful.\n", "Zelk: Install finish."}}),
    [](const ::testing::TestParamInfo<SetupCase>& testInfo) { return testInfo.param.Name; });

TEST_F(SetupWineTest, InstallQuietRunsTheInstallInAChildOnItsOwnDesktop) {
    Install(LIBRARY_COMPLETE);
    const WineResult result = Prefix->Run({SETUP_PROGRAM, {"install-quiet"}, {}});
    ASSERT_TRUE(result.Finished) << result.Stderr;
    EXPECT_EQ(result.ExitCode, 0);

    const std::vector<RecordedCall> calls = RecordedCalls();
    ASSERT_EQ(calls.size(), 6u);
    const std::string parent = calls[0].ProcessId;
    EXPECT_EQ(calls[0].Call.rfind("load ", 0), 0u);
    const std::string child = calls[1].ProcessId;
    EXPECT_NE(child, parent);
    EXPECT_EQ(calls[1].Call, "load desktop=ZelkInstaller command=\"C:\\zelk\\ZelkSetup64.exe\" install");
    const std::vector<std::string> childCalls = {UNINSTALL_PROTECTOR, UNINSTALL_PROTOCOL, INSTALL_PROTECTOR,
                                                 INSTALL_PROTOCOL};
    for (size_t i = 0; i < childCalls.size(); ++i) {
        EXPECT_EQ(calls[2 + i].ProcessId, child);
        EXPECT_EQ(calls[2 + i].Call, childCalls[i]);
    }
    // The child writes the install's lines; the parent adds none of its own.
    EXPECT_EQ(result.DebugLines, INSTALL_LINES);
}

} // namespace
