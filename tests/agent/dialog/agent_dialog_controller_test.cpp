#include "agent/dialog/agent_dialog_controller.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/agent/dialog/fake_agent_ui.h"
#include "tests/agent/event_records.h"

namespace {

const std::u16string kEventFile = u"C:\\windows\\ZELKSrv.evt";
const std::u16string kLogFile = u"C:\\windows\\ZELKSrv.log";
const std::u16string kStartBalloon = u"Zelk ARP Protector running! You can click this icon to browse events.";
const std::u16string kInboundText =
    u"In ARP attack, ARP Spoofing from IP=192.168.1.1, MAC=00-1A-2B-3C-4D-5E.";
const std::u16string kNetworkScanText =
    u"Find ARP scan this network from IP=192.168.1.1, MAC=00-1A-2B-3C-4D-5E.";
const std::u16string kNewEventSuffix = u" Please click this icon to browse new event.";

class AgentDialogControllerTest : public ::testing::Test {
protected:
    // The service appends a record to the event file.
    void Append(const GuardEvent& event) {
        events.push_back(event);
        ui.files[kEventFile] = EventFileBytes(events);
    }

    // Construction, initialisation and the queued move into the tray, as at start-up.
    void StartUp() {
        controller.OnInitDialog();
        ASSERT_EQ(ui.postedToTray, 1);
        controller.OnAgentToTray();
    }

    FakeAgentUi ui;
    AgentDialogController controller{ui};
    std::vector<GuardEvent> events;
};

TEST_F(AgentDialogControllerTest, StartUpEndsHiddenWithTheStartBalloonAndTheFileListedNewestFirst) {
    Append(MakeEvent(3, EventTimeAt(1)));
    Append(MakeEvent(2, EventTimeAt(2)));

    controller.OnInitDialog();
    EXPECT_TRUE(ui.visible) << "the first pass found an attack";
    EXPECT_EQ(ui.listExtendedStyle, 0x22u);
    const std::vector<std::pair<std::u16string, int>> columns{{u"Time", 160}, {u"Events", 650}};
    EXPECT_EQ(ui.columns, columns);
    EXPECT_EQ(ui.timerMilliseconds, 1500u);
    EXPECT_TRUE(ui.balloons.empty());

    controller.OnAgentToTray();
    EXPECT_FALSE(ui.visible);
    EXPECT_FALSE(controller.WantsVisible());
    ASSERT_EQ(ui.balloons.size(), 1u);
    EXPECT_EQ(ui.balloons[0].text, kStartBalloon);
    EXPECT_FALSE(ui.balloons[0].modify);
    ASSERT_EQ(ui.rows.size(), 2u);
    EXPECT_EQ(ui.rows[0].eventText, kInboundText);
    EXPECT_EQ(ui.rows[1].eventText, kNetworkScanText);
    EXPECT_EQ(ui.selectedRow, 0);
}

TEST_F(AgentDialogControllerTest, NoEventFileLeavesTheListAsItWas) {
    StartUp();
    EXPECT_TRUE(ui.rows.empty());
    EXPECT_FALSE(controller.ReadNewEvents());
    ui.files[kEventFile] = EventFileBytes({}, 50);
    EXPECT_FALSE(controller.ReadNewEvents());
    EXPECT_TRUE(ui.rows.empty());
}

struct PollCase {
    const char* name;
    GuardEvent event;
    std::u16string balloon;
    bool comesUp;
};

class AgentDialogPollTest : public AgentDialogControllerTest,
                            public ::testing::WithParamInterface<PollCase> {};

TEST_P(AgentDialogPollTest, NewRecordWhileHidden) {
    Append(MakeEvent(3, EventTimeAt(1)));
    StartUp();

    Append(GetParam().event);
    controller.OnPollTimer();

    ASSERT_EQ(ui.balloons.size(), 2u);
    EXPECT_EQ(ui.balloons[1].text, GetParam().balloon);
    EXPECT_TRUE(ui.balloons[1].modify);
    EXPECT_EQ(ui.visible, GetParam().comesUp);
    EXPECT_EQ(ui.inFront, GetParam().comesUp);
    ASSERT_EQ(ui.rows.size(), 2u);
    EXPECT_EQ(ui.selectedRow, 0);
    EXPECT_EQ(std::u16string(controller.LastEvent()), ui.rows[0].eventText);

    controller.OnPollTimer();
    EXPECT_EQ(ui.balloons.size(), 2u) << "an unchanged file brings no balloon";
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, AgentDialogPollTest,
    ::testing::Values(
        PollCase{"ScanStaysHidden", MakeEvent(3, EventTimeAt(2)), kNetworkScanText + kNewEventSuffix, false},
        PollCase{"InboundSpoofComesUp", MakeEvent(2, EventTimeAt(2)), kInboundText + kNewEventSuffix, true},
        PollCase{"LocalSpoofComesUp", MakeEvent(1, EventTimeAt(2), "00-1A-2B-3C-4D-5E", "192.168.1.1", 9),
                 u"Program System (PID=9) send ARP spoofing packet, Dest IP=192.168.1.1, "
                 u"MAC=00-1A-2B-3C-4D-5E." +
                     kNewEventSuffix,
                 true},
        PollCase{"UnknownKindBalloonStartsWithASpace", MakeEvent(0, EventTimeAt(2)), kNewEventSuffix, false}),
    [](const ::testing::TestParamInfo<PollCase>& param) { return param.param.name; });

TEST_F(AgentDialogControllerTest, OnlyADoubleClickOnTheTrayIconShowsTheWindow) {
    StartUp();
    for (uint32_t mouse : {0x0200u /* move */, 0x0201u /* left down */, 0x0202u /* left up */,
                           0x0204u /* right down */, 0x0205u /* right up */, 0x0206u /* right double */}) {
        controller.OnTrayIcon(mouse);
        EXPECT_FALSE(ui.visible) << std::hex << mouse;
    }
    controller.OnTrayIcon(TRAY_MOUSE_LEFT_DOUBLE_CLICK);
    EXPECT_TRUE(ui.visible);
    EXPECT_TRUE(ui.inFront);
    EXPECT_TRUE(controller.WantsVisible());
}

TEST_F(AgentDialogControllerTest, ReloadSaysWhetherRowsWereAddedAndShowsNoBalloon) {
    StartUp();
    controller.OnReload();
    Append(MakeEvent(3, EventTimeAt(5)));
    controller.OnReload();

    ASSERT_EQ(ui.messageBoxes.size(), 2u);
    EXPECT_EQ(ui.messageBoxes[0].text, u"No new event.");
    EXPECT_EQ(ui.messageBoxes[1].text, u"New event!");
    for (const auto& box : ui.messageBoxes) {
        EXPECT_EQ(box.caption, u"Reload");
        EXPECT_EQ(box.style, MessageBoxStyle::InformationOk);
    }
    ASSERT_EQ(ui.rows.size(), 1u);
    EXPECT_EQ(ui.selectedRow, 0);
    EXPECT_EQ(ui.balloons.size(), 1u) << "only the start balloon";
    EXPECT_EQ(ui.listFocused, 2);
}

TEST_F(AgentDialogControllerTest, ClearAnEmptyListOnlySaysSo) {
    StartUp();
    controller.OnClear();
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].text, u"The events list is empty.");
    EXPECT_EQ(ui.messageBoxes[0].caption, u"Clear");
    EXPECT_EQ(ui.messageBoxes[0].style, MessageBoxStyle::InformationOk);
}

TEST_F(AgentDialogControllerTest, ClearAsksAndEmptiesOnlyOnYesAndClearedEventsStayAway) {
    Append(MakeEvent(3, EventTimeAt(1)));
    Append(MakeEvent(3, EventTimeAt(2)));
    StartUp();

    ui.answers = {MessageBoxAnswer::No, MessageBoxAnswer::Yes};
    controller.OnClear();
    EXPECT_EQ(ui.rows.size(), 2u);
    controller.OnClear();
    EXPECT_TRUE(ui.rows.empty());
    ASSERT_EQ(ui.messageBoxes.size(), 2u);
    EXPECT_EQ(ui.messageBoxes[1].text, u"Are you sure ?");
    EXPECT_EQ(ui.messageBoxes[1].caption, u"Clear");
    EXPECT_EQ(ui.messageBoxes[1].style, MessageBoxStyle::QuestionYesNo);

    controller.OnPollTimer();
    EXPECT_TRUE(ui.rows.empty()) << "the unchanged file adds nothing";
    Append(MakeEvent(3, EventTimeAt(3)));
    controller.OnPollTimer();
    EXPECT_EQ(ui.rows.size(), 1u) << "newer events still come";
}

TEST_F(AgentDialogControllerTest, LogsWithoutALogFileNamesItsFullPath) {
    StartUp();
    controller.OnLogs();
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].text, u"No logs now. The Logs will save in C:\\windows\\ZELKSrv.log .");
    EXPECT_EQ(ui.messageBoxes[0].caption, u"Logs");
    EXPECT_TRUE(ui.opened.empty());
}

TEST_F(AgentDialogControllerTest, LogsOpensTheLogOnceTheMessageIsDismissed) {
    ui.files[kLogFile] = {'x'};
    StartUp();
    controller.OnLogs();
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].text, u"The logs file C:\\windows\\ZELKSrv.log will open.");
    EXPECT_EQ(ui.messageBoxes[0].style, MessageBoxStyle::InformationOk);
    ASSERT_EQ(ui.opened.size(), 1u);
    EXPECT_EQ(ui.opened[0], kLogFile);
    EXPECT_EQ(ui.messageBoxesBeforeOpen, 1u);
}

TEST_F(AgentDialogControllerTest, CloseHidesAndTheShowMessageBringsTheWindowToTheFront) {
    StartUp();
    controller.OnShowAgentMessage();
    EXPECT_TRUE(ui.visible);
    EXPECT_TRUE(ui.inFront);
    controller.OnClose();
    EXPECT_FALSE(ui.visible);
    EXPECT_FALSE(controller.WantsVisible());
}

TEST_F(AgentDialogControllerTest, TaskbarCreatedAddsTheIconAgainAndHides) {
    StartUp();
    controller.OnTrayIcon(TRAY_MOUSE_LEFT_DOUBLE_CLICK);
    controller.OnTaskbarCreated();
    ASSERT_EQ(ui.balloons.size(), 2u);
    EXPECT_EQ(ui.balloons[1].text, kStartBalloon);
    EXPECT_FALSE(ui.balloons[1].modify);
    EXPECT_FALSE(ui.visible);
    EXPECT_FALSE(controller.WantsVisible());
}

} // namespace
