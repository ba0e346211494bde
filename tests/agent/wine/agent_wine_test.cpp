// ZelkAgt.exe of the win64 build under Wine, on a virtual desktop of its own Xvfb display: the single
// instance, an attack bringing the window up, the keys and the close command, and the resources of both
// builds. A probe program (tests/wine/programs/agent) looks at the window from another process.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/agent/event_records.h"
#include "tests/wine/wine_harness.h"
#include "tools/event_view/event_view.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const char kEventFile[] = "C:\\windows\\ZELKSrv.evt";
const char kClose[] = "1002";
const char kVkReturn[] = "13";
const char kVkEscape[] = "27";

std::string AsText(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// A console program's output, line by line, without the carriage returns of its text mode.
std::vector<std::string> Lines(const std::string& output) {
    std::istringstream text(output);
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

class AgentWineTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!WineIsAvailable()) {
            GTEST_SKIP() << "wine64 is not installed: Wine tests skipped; ./zelk test installs it";
        }
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        WinePrefixOptions options;
        options.StartDisplay = true;
        m_prefix = std::make_unique<WinePrefix>(std::string("agent.") + test->name(), options);
        ASSERT_EQ(m_prefix->Error(), "");
        m_agentPath = m_prefix->CopyIn(WineWin64BuildPath("agent/win/ZelkAgt.exe"), "C:\\zelk");
        m_probePath = m_prefix->CopyIn(WineWin64BuildPath("tests/wine/programs/agent/zelk_agent_probe.exe"),
                                       "C:\\zelk");
        UseVirtualDesktop();
    }

    // One desktop window that Wine draws itself, title bars, taskbar and tray included, so that every
    // program of the prefix shares it and a screenshot shows the dialog as a user sees it.
    void UseVirtualDesktop() {
        for (const std::vector<std::string>& values :
             {std::vector<std::string>{"HKCU\\Software\\Wine\\Explorer", "/v", "Desktop", "/d", "Default"},
              std::vector<std::string>{"HKCU\\Software\\Wine\\Explorer\\Desktops", "/v", "Default", "/d",
                                       "800x600"}}) {
            std::vector<std::string> arguments{"add"};
            arguments.insert(arguments.end(), values.begin(), values.end());
            arguments.push_back("/f");
            ASSERT_EQ(m_prefix->Run({"reg", arguments, {}}).ExitCode, 0);
        }
        // The desktop takes its shape when it is first made: start the prefix's server afresh.
        const std::string root = fs::path(m_prefix->HostPath("C:\\")).parent_path().parent_path().string();
        ASSERT_EQ(
            std::system(("WINEPREFIX='" + root + "' /usr/lib/wine/wineserver64 -k -w 2>/dev/null").c_str()),
            0);
    }

    WineResult Probe(const std::vector<std::string>& arguments) {
        return m_prefix->Run({m_probePath, arguments, {}});
    }

    // "windows=N visible=V foreground=F" of the agent's window.
    std::string State() {
        const std::vector<std::string> lines = Lines(Probe({"state"}).Stdout);
        return lines.empty() ? std::string() : lines[0];
    }

    bool WaitUntil(const char* visibleOrHidden) {
        return Probe({"wait", visibleOrHidden, "15"}).ExitCode == 0;
    }

    // Starts the running agent and waits until its window exists.
    void StartAgent() {
        m_agent.emplace(m_prefix->Start({m_agentPath, {}, {}}));
        for (int i = 0; i < 60 && State().rfind("windows=1 ", 0) != 0; ++i) {
            std::this_thread::sleep_for(500ms);
        }
        ASSERT_EQ(State().substr(0, 10), "windows=1 ");
    }

    // The service appends records to the event file.
    void Append(const GuardEvent& event) {
        m_events.push_back(event);
        m_prefix->WriteFile(kEventFile, AsText(EventFileBytes(m_events)));
    }

    // The list as the probe reads it from the agent's process, "selected|-<TAB>time<TAB>event" each.
    std::vector<std::string> ListRows() { return Lines(Probe({"rows"}).Stdout); }

    // The rows as the agent shows them, computed on the host from the same bytes.
    std::vector<std::string> ExpectedRows() {
        std::vector<std::string> rows;
        for (const EventViewRow& row : EventViewRows(EventFileBytes(m_events))) {
            rows.push_back(std::string(rows.empty() ? "selected" : "-") + "\t" + row.timeText + "\t" +
                           row.eventText);
        }
        return rows;
    }

    std::unique_ptr<WinePrefix> m_prefix;
    std::optional<WineProcess> m_agent; // after the prefix: ends first
    std::string m_agentPath;
    std::string m_probePath;
    std::vector<GuardEvent> m_events;
};

TEST_F(AgentWineTest, SecondStartBringsTheRunningAgentToTheFrontAndEndsWithoutAWindow) {
    Append(MakeEvent(GUARD_EVENT_ARP_SCAN, EventTimeAt(1)));
    StartAgent();
    ASSERT_TRUE(WaitUntil("hidden"));
    EXPECT_EQ(State().substr(0, 20), "windows=1 visible=0 ");

    const WineResult second = m_prefix->Run({m_agentPath, {}, {}});
    EXPECT_TRUE(second.Finished) << "the second start ends by itself";
    ASSERT_TRUE(WaitUntil("visible"));
    EXPECT_EQ(State(), "windows=1 visible=1 foreground=1");

    // and again while it is already shown
    EXPECT_TRUE(m_prefix->Run({m_agentPath, {}, {}}).Finished);
    EXPECT_EQ(State(), "windows=1 visible=1 foreground=1");
}

TEST_F(AgentWineTest, AttackWrittenWhileRunningBringsTheWindowUpWithTheAttackOnTop) {
    Append(MakeEvent(GUARD_EVENT_ARP_SCAN, EventTimeAt(1), "00-1A-2B-3C-4D-5E", "192.168.1.7"));
    StartAgent();
    ASSERT_TRUE(WaitUntil("hidden"));
    EXPECT_EQ(ListRows(), ExpectedRows());

    Append(MakeEvent(GUARD_EVENT_LOCAL_SPOOF, EventTimeAt(2), "02-00-00-00-00-01", "10.0.0.9", 4321,
                     "ARPTOOL.EXE"));
    Append(MakeEvent(GUARD_EVENT_INBOUND_SPOOF, EventTimeAt(3), "02-5A-00-00-07-42", "10.250.7.1"));
    ASSERT_TRUE(WaitUntil("visible")) << "an attack brings the window up within a poll";
    EXPECT_EQ(State(), "windows=1 visible=1 foreground=1");
    const std::vector<std::string> rows = ListRows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows, ExpectedRows());
    EXPECT_NE(rows[0].find("In ARP attack, ARP Spoofing from IP=10.250.7.1, MAC=02-5A-00-00-07-42."),
              std::string::npos);

    // The dialog with its rows, kept with the build.
    ASSERT_EQ(Probe({"screenshot", "C:\\agent.bmp"}).ExitCode, 0);
    fs::create_directories(ZELK_AGENT_ARTIFACT_DIR);
    const std::string bitmap = std::string(ZELK_AGENT_ARTIFACT_DIR) + "/agent.bmp";
    fs::copy_file(m_prefix->HostPath("C:\\agent.bmp"), bitmap, fs::copy_options::overwrite_existing);
    EXPECT_GT(fs::file_size(bitmap), 800u * 600u * 3u);
    if (std::system("command -v convert >/dev/null") == 0) {
        EXPECT_EQ(
            std::system(("convert '" + bitmap + "' '" + ZELK_AGENT_ARTIFACT_DIR + "/agent.png'").c_str()), 0);
    }
}

TEST_F(AgentWineTest, EnterAndEscapeDoNotCloseTheDialogAndCloseHidesIt) {
    Append(MakeEvent(GUARD_EVENT_INBOUND_SPOOF, EventTimeAt(1)));
    StartAgent();
    ASSERT_TRUE(WaitUntil("hidden")) << "start-up ends in the tray even with an attack in the file";
    ASSERT_TRUE(m_prefix->Run({m_agentPath, {}, {}}).Finished);
    ASSERT_TRUE(WaitUntil("visible"));

    for (const char* key : {kVkReturn, kVkEscape}) {
        ASSERT_EQ(Probe({"key", key}).ExitCode, 0);
    }
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(State(), "windows=1 visible=1 foreground=1") << "neither key closed the dialog";

    ASSERT_EQ(Probe({"click", kClose}).ExitCode, 0);
    EXPECT_TRUE(WaitUntil("hidden"));
    EXPECT_EQ(State().substr(0, 20), "windows=1 visible=0 ");

    // the window's close command (title-bar button, Alt+F4) hides it too
    ASSERT_TRUE(m_prefix->Run({m_agentPath, {}, {}}).Finished);
    ASSERT_TRUE(WaitUntil("visible"));
    ASSERT_EQ(Probe({"close"}).ExitCode, 0);
    EXPECT_TRUE(WaitUntil("hidden"));
    EXPECT_EQ(State().substr(0, 20), "windows=1 visible=0 ") << "the agent still runs";
}

struct ResourceCase {
    const char* name;
    std::string (*path)();
    const char* architecture;
};

// Test names show the row, not its bytes.
void PrintTo(const ResourceCase& row, std::ostream* out) {
    *out << row.name;
}

std::string Win64Agent() {
    return WineWin64BuildPath("agent/win/ZelkAgt.exe");
}
std::string Win32Agent() {
    return ZELK_WIN32_AGENT;
}

class AgentResourcesTest : public AgentWineTest, public ::testing::WithParamInterface<ResourceCase> {};

TEST_P(AgentResourcesTest, CarryTheManifestIconAndDialogTemplate) {
    ASSERT_TRUE(fs::exists(GetParam().path())) << GetParam().path();
    const std::string program = m_prefix->CopyIn(GetParam().path(), std::string("C:\\") + GetParam().name);
    const WineResult result = Probe({"resources", program});
    ASSERT_EQ(result.ExitCode, 0) << result.Stderr;
    const std::vector<std::string> lines = Lines(result.Stdout);
    ASSERT_EQ(lines.size(), 11u) << result.Stdout;
    EXPECT_NE(lines[0].find("level=\"asInvoker\" uiAccess=\"false\""), std::string::npos);
    EXPECT_NE(lines[0].find(
                  "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\" processorArchitecture=\"" +
                  std::string(GetParam().architecture) + "\""),
              std::string::npos)
        << lines[0];
    EXPECT_EQ(lines[1], "icon 128 16x16x32 32x32x32 48x48x32");

    // Positions in dialog units; styles: the pop-up with caption, system menu, modal frame, centred and
    // visible; the list in report view with single selection, border and tab stop; buttons without tab stop.
    const std::vector<std::string> dialog{
        "dialog 102 style=0x90C808C0 0,0,337,237 9 \"MS Shell Dlg\" \"Zelk ARP Protector 1.1\"",
        "control -1 #130 30,10,299,9 style=0x50020000 \"ARP Spoofing &Events:\"",
        "control 1000 SYSLISTVIEW32 8,30,321,146 style=0x50810005 \"\"",
        "control 1001 #128 8,181,53,16 style=0x50000000 \"&Reload\"",
        "control 1003 #128 64,181,53,16 style=0x50000000 \"&Logs\"",
        "control 1005 #128 136,181,53,16 style=0x50000000 \"&Clear\"",
        "control 1002 #128 276,181,53,16 style=0x50000000 \"Clo&se\"",
    };
    for (size_t i = 0; i < dialog.size(); ++i) {
        EXPECT_EQ(lines[2 + i], dialog[i]);
    }
    EXPECT_EQ(lines[9].rfind("control 1004 #130 8,208,321,19 style=0x50020000 \"", 0), 0u) << lines[9];
    EXPECT_EQ(lines[10], "control 1007 STATIC 8,5,20,20 style=0x50000003 \"#128\"");
}

INSTANTIATE_TEST_SUITE_P(Builds, AgentResourcesTest,
                         ::testing::Values(ResourceCase{"Win32", &Win32Agent, "x86"},
                                           ResourceCase{"Win64", &Win64Agent, "amd64"}),
                         [](const ::testing::TestParamInfo<ResourceCase>& param) {
                             return param.param.name;
                         });

} // namespace
