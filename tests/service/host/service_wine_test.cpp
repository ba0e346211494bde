// ZELKSrv.exe under Wine: "create" installs, configures, copies and starts the service; the running
// service empties the event file and keeps running without the guard's device; other words end at once.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/wine/wine_harness.h"

namespace {

const char kServiceKey[] = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\ZelkSrv";

class ServiceWineTest : public WineTest {
protected:
    // The program as shipped, in a folder of its own.
    std::string CopyProgramIn() const {
        return Prefix->CopyIn(WineWin64BuildPath("service/host/ZELKSrv.exe"), "C:\\zelk");
    }

    WineResult RunProgram(const std::string& program, const std::vector<std::string>& arguments) const {
        return Prefix->Run({program, arguments, {}}, std::chrono::seconds(60));
    }

    // The text reg.exe prints for one value; empty when the value is missing.
    std::string RegistryValue(const std::string& name) const {
        const WineResult result = Prefix->Run({"reg", {"query", kServiceKey, "/v", name}, {}});
        return result.Finished && result.ExitCode == 0 ? result.Stdout : std::string();
    }

    bool WaitForFileToGo(const std::string& windowsPath, std::chrono::seconds limit) const {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::filesystem::exists(Prefix->HostPath(windowsPath))) {
            if (std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return true;
    }
};

TEST_F(ServiceWineTest, CreateInstallsAndStartsTheServiceWhichKeepsRunningWithoutTheGuard) {
    ASSERT_TRUE(Prefix->Error().empty()) << Prefix->Error();
    Prefix->WriteFile("C:\\windows\\ZELKSrv.evt", std::string(91, 'x')); // left from before
    const std::string program = CopyProgramIn();

    const WineResult created = RunProgram(program, {"create"});
    ASSERT_TRUE(created.Finished) << created.Stderr;
    EXPECT_EQ(created.ExitCode, 0);
    EXPECT_EQ(std::filesystem::file_size(Prefix->HostPath("C:\\windows\\ZELKSrv.exe")),
              std::filesystem::file_size(Prefix->HostPath(program)));
    EXPECT_NE(RegistryValue("DisplayName").find("Zelk ARP Protector Application Service"), std::string::npos);
    EXPECT_NE(RegistryValue("Start").find("0x2"), std::string::npos);

    // The running service empties the event file, then polls on although \\.\ZELKARP cannot be opened.
    ASSERT_TRUE(WaitForFileToGo("C:\\windows\\ZELKSrv.evt", std::chrono::seconds(30)));
    std::this_thread::sleep_for(std::chrono::seconds(3));

    // While it runs, its program file is in use: a second "create" can neither delete nor replace it.
    const WineFileFacts before = Prefix->WindowsDirFiles()["ZELKSrv.exe"];
    const WineResult again = RunProgram(program, {"create"});
    ASSERT_TRUE(again.Finished) << again.Stderr;
    EXPECT_EQ(again.ExitCode, 0);
    EXPECT_EQ(Prefix->WindowsDirFiles()["ZELKSrv.exe"], before);
}

TEST_F(ServiceWineTest, CreateKeepsARegistrationMarkedForDeletion) {
    ASSERT_TRUE(Prefix->Error().empty()) << Prefix->Error();
    const WineResult registered =
        Prefix->Run({"sc", {"create", "ZelkSrv", "binpath=", "C:\\windows\\ZELKSrv.exe"}, {}});
    ASSERT_TRUE(registered.Finished && registered.ExitCode == 0) << registered.Stdout << registered.Stderr;
    const WineResult marked = Prefix->Run(
        {"reg", {"add", kServiceKey, "/v", "DeleteFlag", "/t", "REG_DWORD", "/d", "1", "/f"}, {}});
    ASSERT_TRUE(marked.Finished && marked.ExitCode == 0) << marked.Stderr;

    const WineResult created = RunProgram(CopyProgramIn(), {"CREATE"});
    ASSERT_TRUE(created.Finished) << created.Stderr;
    EXPECT_EQ(created.ExitCode, 0);
    EXPECT_EQ(RegistryValue("DeleteFlag"), "");
    EXPECT_NE(RegistryValue("Start").find("0x2"), std::string::npos);
}

TEST_F(ServiceWineTest, AnyOtherWordTriesToActAsTheServiceAndExitsWithZero) {
    ASSERT_TRUE(Prefix->Error().empty()) << Prefix->Error();
    const WineResult result = RunProgram(CopyProgramIn(), {"CREATE", "now"});
    ASSERT_TRUE(result.Finished) << result.Stderr;
    EXPECT_EQ(result.ExitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(Prefix->HostPath("C:\\windows\\ZELKSrv.exe")));
    EXPECT_EQ(RegistryValue("Start"), "");
}

} // namespace
