#include "agent/dialog/agent_dialog_controller.h"

#include "common/zelk_records.h"

#define NEW_EVENT_BALLOON_SUFFIX u" Please click this icon to browse new event."

AgentDialogController::AgentDialogController(AgentUi& ui) : m_ui(ui) {}

void AgentDialogController::OnInitDialog() {
    m_ui.PostToTray();
    m_ui.ListSetExtendedStyle(EVENT_LIST_EXTENDED_STYLE);
    m_ui.ListAddColumn(u"Time", 160);
    m_ui.ListAddColumn(u"Events", 650);
    m_ui.ListDeleteAllRows();
    ReadNewEvents();
    m_ui.StartPollTimer(POLL_EVENTS_MILLISECONDS);
}

void AgentDialogController::OnAgentToTray() {
    m_ui.UpdateTrayIcon(AGENT_START_BALLOON, false);
    HideAgentWindow();
}

void AgentDialogController::OnTaskbarCreated() {
    OnAgentToTray();
}

void AgentDialogController::OnTrayIcon(uint32_t mouseMessage) {
    if (mouseMessage == TRAY_MOUSE_LEFT_DOUBLE_CLICK) {
        ShowAgentWindow();
    }
}

void AgentDialogController::OnPollTimer() {
    if (!ReadNewEvents()) {
        return;
    }
    std::u16string balloon = m_szLastEvent;
    balloon += NEW_EVENT_BALLOON_SUFFIX;
    m_ui.UpdateTrayIcon(balloon, true);
}

void AgentDialogController::OnReload() {
    const bool added = ReadNewEvents();
    m_ui.ShowMessageBox(added ? u"New event!" : u"No new event.", u"Reload", MessageBoxStyle::InformationOk);
    m_ui.ListTakeFocus();
}

void AgentDialogController::OnLogs() {
    const std::u16string path = WindowsFilePath(u"ZELKSrv.log");
    if (!m_ui.FileAttributesReadable(path)) {
        m_ui.ShowMessageBox(u"No logs now. The Logs will save in " + path + u" .", u"Logs",
                            MessageBoxStyle::InformationOk);
        return;
    }
    m_ui.ShowMessageBox(u"The logs file " + path + u" will open.", u"Logs", MessageBoxStyle::InformationOk);
    m_ui.ShellOpen(path);
}

void AgentDialogController::OnClear() {
    if (m_ui.ListRowCount() == 0) {
        m_ui.ShowMessageBox(u"The events list is empty.", u"Clear", MessageBoxStyle::InformationOk);
        return;
    }
    if (m_ui.ShowMessageBox(u"Are you sure ?", u"Clear", MessageBoxStyle::QuestionYesNo) ==
        MessageBoxAnswer::Yes) {
        m_ui.ListDeleteAllRows();
    }
}

void AgentDialogController::OnClose() {
    HideAgentWindow();
}

void AgentDialogController::OnShowAgentMessage() {
    ShowAgentWindow();
}

bool AgentDialogController::ReadNewEvents() {
    FileBytes file;
    EventPass pass{false, false};
    if (m_ui.ReadRecordFile(WindowsFilePath(u"ZELKSrv.evt"), GUARD_EVENT_SIZE, file)) {
        pass = ReadNewEventsFromBytes(
            file.Data.get(), file.Length, m_lastEventTime, m_szLastEvent,
            [this](const EventRow& row) { m_ui.ListInsertTopRow(row.timeText, row.eventText); });
    }
    if (pass.added && m_ui.ListRowCount() > 0) {
        m_ui.ListSelectRow(0);
        if (pass.alerted) {
            ShowAgentWindow();
        }
    }
    return pass.added;
}

void AgentDialogController::ShowAgentWindow() {
    m_bWantVisible = true;
    m_ui.ShowOnScreen();
    m_ui.BringToFront();
}

void AgentDialogController::HideAgentWindow() {
    m_bWantVisible = false;
    m_ui.HideFromScreen();
}

// Empty when the Windows directory is unknown: a bare "\\ZELKSrv.evt" would name the root of the current
// drive.
std::u16string AgentDialogController::WindowsFilePath(const char16_t* name) {
    const std::u16string directory = m_ui.WindowsDirectory();
    return directory.empty() ? directory : directory + u"\\" + name;
}
