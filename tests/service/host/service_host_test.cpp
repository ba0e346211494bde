// The program entry, Create and Install, and the service's start on the simulated host.
#include "service/host/service_host.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/wow64/wow64_redirection_host_control.h"
#include "tests/service/support/simulated_service_fixture.h"

namespace zelk {
namespace {

struct CommandLineCase {
    const char* Text;
    ProgramMode Mode;
};

class CommandLineTest : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLineTest, RecognisesWholeWordsInAnyCase) {
    EXPECT_EQ(ParseCommandLine(GetParam().Text), GetParam().Mode);
}

INSTANTIATE_TEST_SUITE_P(
    Words, CommandLineTest,
    ::testing::Values(
        CommandLineCase{"create", PROGRAM_MODE_CREATE}, CommandLineCase{"CREATE", PROGRAM_MODE_CREATE},
        CommandLineCase{"cReAtE", PROGRAM_MODE_CREATE}, CommandLineCase{"start", PROGRAM_MODE_START},
        CommandLineCase{"Start", PROGRAM_MODE_START}, CommandLineCase{"", PROGRAM_MODE_SERVICE},
        CommandLineCase{nullptr, PROGRAM_MODE_SERVICE}, CommandLineCase{"create ", PROGRAM_MODE_SERVICE},
        CommandLineCase{" create", PROGRAM_MODE_SERVICE}, CommandLineCase{"CREATE now", PROGRAM_MODE_SERVICE},
        CommandLineCase{"creat", PROGRAM_MODE_SERVICE}, CommandLineCase{"stop", PROGRAM_MODE_SERVICE}));

const wchar_t kProgramPath[] = L"C:\\windows\\ZELKSrv.exe";

struct InstallCase {
    const char* Name;
    SimulatedFailures Failures;
    bool RegisteredBefore; // with another program path, marked for deletion
    bool RunningBefore;
    const wchar_t* Path;
    InstallResult Result;
    bool Registered;
    bool StartIsAutomatic;
    bool Started; // a start request reached the service control manager
};

void PrintTo(const InstallCase& row, std::ostream* out) {
    *out << row.Name;
}

SimulatedFailures Failing(bool SimulatedFailures::*which) {
    SimulatedFailures failures;
    failures.*which = true;
    return failures;
}

class InstallTest : public SimulatedServiceFixture, public ::testing::WithParamInterface<InstallCase> {};

TEST_P(InstallTest, RegistersConfiguresAndStarts) {
    const InstallCase& row = GetParam();
    if (row.RegisteredBefore) {
        host->RegisterService(
            SimulatedService{ZELK_SERVICE_NAME, L"old", L"D:\\old\\ZELKSrv.exe", row.RunningBefore});
        host->SetRegistryDword(ZELK_SERVICE_REGISTRY_KEY, L"DeleteFlag", 1);
    }
    host->SetFailures(row.Failures);

    EXPECT_EQ(ServiceInstall(*host, row.Path), row.Result);

    SimulatedService service;
    ASSERT_EQ(host->FindService(ZELK_SERVICE_NAME, &service), row.Registered);
    uint32_t value = 0;
    if (row.Registered) {
        EXPECT_EQ(service.ProgramPath, row.RegisteredBefore ? L"D:\\old\\ZELKSrv.exe" : row.Path);
        EXPECT_EQ(service.DisplayName, row.RegisteredBefore ? L"old" : ZELK_SERVICE_DISPLAY_NAME);
        EXPECT_EQ(host->RegistryDword(ZELK_SERVICE_REGISTRY_KEY, L"Start", &value) && value == 2,
                  row.StartIsAutomatic);
    }
    if (row.StartIsAutomatic) {
        EXPECT_FALSE(host->RegistryDword(ZELK_SERVICE_REGISTRY_KEY, L"DeleteFlag", &value));
    }
    const std::vector<ServiceStartRecord> starts = host->ServiceStarts();
    EXPECT_EQ(starts.size(), row.Started ? 1u : 0u);
    EXPECT_EQ(host->OpenHandleCount(), 0u);
}

const std::vector<InstallCase> kInstallCases = {
    {"Fresh", {}, false, false, kProgramPath, INSTALL_RUNNING, true, true, true},
    {"EmptyPath", {}, false, false, L"", INSTALL_NOT_INSTALLED, false, false, false},
    {"NoServiceManager", Failing(&SimulatedFailures::ServiceManager), false, false, kProgramPath,
     INSTALL_NOT_INSTALLED, false, false, false},
    {"CreationRefused", Failing(&SimulatedFailures::CreateService), false, false, kProgramPath,
     INSTALL_NOT_INSTALLED, false, false, false},
    {"StartValueNotWritten", Failing(&SimulatedFailures::SetRegistry), false, false, kProgramPath,
     INSTALL_NOT_INSTALLED, true, false, false},
    {"StartRefused", Failing(&SimulatedFailures::StartService), false, false, kProgramPath,
     INSTALL_NOT_STARTED, true, true, true},
    {"RegisteredBeforeKeepsItsRegistration",
     {},
     true,
     false,
     kProgramPath,
     INSTALL_RUNNING,
     true,
     true,
     true},
    {"RunningAlready", {}, true, true, kProgramPath, INSTALL_RUNNING, true, true, true},
};

INSTANTIATE_TEST_SUITE_P(Cases, InstallTest, ::testing::ValuesIn(kInstallCases),
                         [](const ::testing::TestParamInfo<InstallCase>& row) { return row.param.Name; });

class ServiceHostTest : public SimulatedServiceFixture {
protected:
    void SetUp() override {
        SimulatedServiceFixture::SetUp();
        process = std::make_unique<ServiceProcess>(host.get());
        std::filesystem::create_directories(Root() + "/bin");
        ownProgram = Root() + "/bin/ZELKSrv.exe";
        WriteFile(ownProgram, "new program");
        host->SetOwnProgram(ownProgram);
    }

    void TearDown() override {
        host->Shutdown();
        process.reset();
        SimulatedServiceFixture::TearDown();
    }

    static void WriteFile(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    static std::string ReadFile(const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    }
    std::string InstalledProgram() const { return host->WindowsDirectory() + "/ZELKSrv.exe"; }

    std::unique_ptr<ServiceProcess> process;
    std::string ownProgram;
};

TEST_F(ServiceHostTest, CreateCopiesTheProgramToTheWindowsDirectoryAndInstallsThatCopy) {
    EXPECT_EQ(ServiceCreate(*host), INSTALL_RUNNING);
    EXPECT_EQ(ReadFile(InstalledProgram()), "new program");
    SimulatedService service;
    ASSERT_TRUE(host->FindService(ZELK_SERVICE_NAME, &service));
    std::wstring expected;
    for (char c : host->WindowsDirectory() + "\\ZELKSrv.exe") {
        expected.push_back(static_cast<wchar_t>(c));
    }
    EXPECT_EQ(service.ProgramPath, expected);
    EXPECT_EQ(Wow64HostOffCountForTest(), 0) << "redirection is restored";
    EXPECT_GT(Wow64HostActivationsForTest(), 0u);
}

TEST_F(ServiceHostTest, CreateChangesNothingWhenTheInstalledCopyIsInUse) {
    WriteFile(InstalledProgram(), "running program");
    host->SetFileInUse(InstalledProgram(), true);
    EXPECT_EQ(ServiceCreate(*host), INSTALL_NOT_INSTALLED);
    EXPECT_EQ(ReadFile(InstalledProgram()), "running program");
    SimulatedService service;
    EXPECT_FALSE(host->FindService(ZELK_SERVICE_NAME, &service));
    EXPECT_TRUE(host->ServiceStarts().empty());
}

TEST_F(ServiceHostTest, CreateWithoutItsOwnPathInstallsNothing) {
    host->SetOwnProgram("");
    EXPECT_EQ(ServiceCreate(*host), INSTALL_NOT_INSTALLED);
    SimulatedService service;
    EXPECT_FALSE(host->FindService(ZELK_SERVICE_NAME, &service));
}

TEST_F(ServiceHostTest, TheCreateWordInstallsAndExitsWithZero) {
    EXPECT_EQ(ProgramEntry(process.get(), "Create"), 0);
    SimulatedService service;
    EXPECT_TRUE(host->FindService(ZELK_SERVICE_NAME, &service));
}

// Outside the service control manager the dispatcher fails and the program simply ends.
TEST_F(ServiceHostTest, AnyOtherWordTriesToActAsTheServiceAndExitsWithZero) {
    EXPECT_EQ(ProgramEntry(process.get(), "CREATE now"), 0);
    RunUntilSecond(3);
    EXPECT_TRUE(host->StatusReports().empty());
    EXPECT_TRUE(host->GuardRequests().empty());
    SimulatedService service;
    EXPECT_FALSE(host->FindService(ZELK_SERVICE_NAME, &service));
}

TEST_F(ServiceHostTest, TheServiceReportsRunningAtOnceDeletesTheEventFileAndPolls) {
    WriteFile(EventPath(), std::string(GUARD_EVENT_SIZE, 'x'));
    WriteFile(LogPath(), "[2][earlier line]\r\n");
    host->SetStartedByServiceManager(true);
    EXPECT_EQ(ProgramEntry(process.get(), ""), 0);

    const std::vector<ServiceStatusReport> reports = host->StatusReports();
    ASSERT_EQ(reports.size(), 1u) << "start pending is never reported";
    const ServiceStatusReport expected{ZELK_SERVICE_OWN_PROCESS, ZELK_SERVICE_RUNNING, 0, 0, 0, 0, 0};
    EXPECT_EQ(memcmp(&reports[0], &expected, sizeof(expected)), 0);

    RunUntilSecond(2);
    EXPECT_FALSE(std::filesystem::exists(EventPath()));
    EXPECT_EQ(ReadFile(LogPath()), "[2][earlier line]\r\n") << "the log keeps growing across starts";
    EXPECT_EQ(host->GuardRequests().size(), 3u);

    host->SendServiceControl(ZELK_SERVICE_CONTROL_INTERROGATE);
    const std::vector<ServiceStatusReport> after = host->StatusReports();
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(memcmp(&after[1], &expected, sizeof(expected)), 0);
}

struct StartFailureCase {
    const char* Name;
    bool SimulatedFailures::*Failure;
};

class ServiceStartFailureTest : public ServiceHostTest,
                                public ::testing::WithParamInterface<StartFailureCase> {};

TEST_P(ServiceStartFailureTest, StartsNoWorker) {
    WriteFile(EventPath(), std::string(GUARD_EVENT_SIZE, 'x'));
    host->SetStartedByServiceManager(true);
    host->SetFailures(Failing(GetParam().Failure));
    EXPECT_EQ(ProgramEntry(process.get(), ""), 0);
    RunUntilSecond(3);
    EXPECT_TRUE(std::filesystem::exists(EventPath()));
    EXPECT_TRUE(host->GuardRequests().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ServiceStartFailureTest,
    ::testing::Values(StartFailureCase{"ControlHandler", &SimulatedFailures::ControlHandler},
                      StartFailureCase{"StatusReport", &SimulatedFailures::StatusReport},
                      StartFailureCase{"StartThread", &SimulatedFailures::StartThread}),
    [](const ::testing::TestParamInfo<StartFailureCase>& row) { return row.param.Name; });

TEST_F(ServiceHostTest, TheStartWordPollsInTheForegroundAndKeepsTheEventFile) {
    WriteFile(EventPath(), std::string(GUARD_EVENT_SIZE, 'x'));
    ASSERT_TRUE(host->StartThread(
        [](void* context) { ProgramEntry(static_cast<ServiceProcess*>(context), "START"); }, process.get()));
    RunUntilSecond(2);
    EXPECT_TRUE(std::filesystem::exists(EventPath()));
    EXPECT_EQ(host->GuardRequests().size(), 3u);
    EXPECT_TRUE(host->StatusReports().empty());
}

} // namespace
} // namespace zelk
