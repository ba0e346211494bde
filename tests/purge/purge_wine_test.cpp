// ZelkPurge.exe under Wine: what goes from C:\windows and what stays.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "tests/wine/wine_harness.h"

namespace {

using WindowsFiles = std::map<std::string, WineFileFacts>;

const std::vector<std::string> SERVICE_FILES = {"ZELKSrv.exe", "ZELKSrv.evt", "ZELKSrv.log"};

class PurgeWineTest : public WineTest {
protected:
    void Put(const std::vector<std::string>& names) const {
        for (const std::string& name : names) {
            Prefix->WriteFile("C:\\windows\\" + name, "contents of " + name);
        }
    }

    WineResult RunPurge() const { return Prefix->Run({WineWin64BuildPath("purge/ZelkPurge.exe"), {}, {}}); }
};

struct PurgeCase {
    const char* Name;
    std::vector<std::string> Present;
    std::vector<std::string> Deleted;
};

// Test names show the row, not its bytes.
void PrintTo(const PurgeCase& row, std::ostream* out) {
    *out << row.Name;
}

class PurgeWineFilesTest : public PurgeWineTest, public ::testing::WithParamInterface<PurgeCase> {};

TEST_P(PurgeWineFilesTest, DeletesOnlyTheServiceFiles) {
    Put(GetParam().Present);
    WindowsFiles expected = Prefix->WindowsDirFiles();
    for (const std::string& name : GetParam().Deleted) {
        expected.erase(name);
    }
    const WineResult result = RunPurge();
    ASSERT_TRUE(result.Finished) << result.Stderr;
    EXPECT_EQ(result.ExitCode, 0);
    EXPECT_EQ(Prefix->WindowsDirFiles(), expected);
    EXPECT_TRUE(result.DebugLines.empty());
}

INSTANTIATE_TEST_SUITE_P(Files, PurgeWineFilesTest,
                         ::testing::Values(PurgeCase{"AllThree", SERVICE_FILES, SERVICE_FILES},
                                           PurgeCase{"NoneChangesNothing", {}, {}},
                                           PurgeCase{"OnlyTheLog", {"ZELKSrv.log"}, {"ZELKSrv.log"}},
                                           PurgeCase{"NeighboursStay",
                                                     {"ZELKSrv.exe", "ZELKSrv.evt", "ZELKSrv.log",
                                                      "ZELKSrv.ini", "ZELKSrv.log.old"},
                                                     SERVICE_FILES}),
                         [](const ::testing::TestParamInfo<PurgeCase>& testInfo) {
                             return testInfo.param.Name;
                         });

TEST_F(PurgeWineTest, AFileHeldOpenStaysAndTheOthersGo) {
    Put(SERVICE_FILES);
    std::filesystem::create_directories(Prefix->HostPath("C:\\zelk"));
    // The running service holds its program open without delete sharing.
    WineProcess holder = Prefix->Start({WineWin64BuildPath("tests/wine/programs/zelk_hold_file.exe"),
                                        {"C:\\windows\\ZELKSrv.exe", "C:\\zelk\\held", "C:\\zelk\\release"},
                                        {}});
    ASSERT_TRUE(Prefix->WaitForFile("C:\\zelk\\held", std::chrono::seconds(30)));

    const WineResult result = RunPurge();
    Prefix->WriteFile("C:\\zelk\\release", "");
    EXPECT_EQ(holder.Wait(std::chrono::seconds(30)).ExitCode, 0);

    ASSERT_TRUE(result.Finished) << result.Stderr;
    EXPECT_EQ(result.ExitCode, 0);
    const WindowsFiles after = Prefix->WindowsDirFiles();
    EXPECT_EQ(after.count("ZELKSrv.exe"), 1u);
    EXPECT_EQ(after.count("ZELKSrv.evt"), 0u);
    EXPECT_EQ(after.count("ZELKSrv.log"), 0u);
}

} // namespace
