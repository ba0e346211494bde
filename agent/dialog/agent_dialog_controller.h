// The behaviour of the agent's dialog, without the window system: the event list filled by passes over the
// event file, when the window comes up and goes back into the tray, the balloons, and the answers to the
// buttons. The Win32 dialog (CZelkAgtDlg) forwards its messages here; AgentUi carries out the effects.
#pragma once

#include <cstdint>
#include <string>

#include "agent/core/event_reader.h"
#include "agent/dialog/agent_ui.h"

#define IDT_POLL_EVENTS 101u
#define POLL_EVENTS_MILLISECONDS 1500u
// The mouse message of a tray callback that shows the window (WM_LBUTTONDBLCLK).
#define TRAY_MOUSE_LEFT_DOUBLE_CLICK 0x0203u
// Full-row selection and sub-item images.
#define EVENT_LIST_EXTENDED_STYLE 0x22u

#define AGENT_START_BALLOON u"Zelk ARP Protector running! You can click this icon to browse events."

class AgentDialogController {
public:
    explicit AgentDialogController(AgentUi& ui);

    // Dialog initialisation, once the window and its controls exist: queues the move into the tray, sets
    // up the list, runs the first pass and starts the poll timer.
    void OnInitDialog();
    // The queued "into the tray" message, and the shell's "TaskbarCreated": the icon with the start
    // balloon is added, and the window hides.
    void OnAgentToTray();
    void OnTaskbarCreated();
    // A mouse message on the tray icon; only a left double click does anything.
    void OnTrayIcon(uint32_t mouseMessage);
    void OnPollTimer();
    void OnReload();
    void OnLogs();
    void OnClear();
    // The Close button and the window's close command.
    void OnClose();
    // The show message of a second start.
    void OnShowAgentMessage();

    // One pass over the event file; true when it added rows.
    bool ReadNewEvents();
    void ShowAgentWindow();
    void HideAgentWindow();

    // Whether the window may be on screen; any other attempt to show it is cancelled.
    bool WantsVisible() const { return m_bWantVisible; }
    int64_t LastEventTime() const { return m_lastEventTime; }
    const char16_t* LastEvent() const { return m_szLastEvent; }

private:
    std::u16string WindowsFilePath(const char16_t* name);

    AgentUi& m_ui;
    int64_t m_lastEventTime = 0;
    bool m_bWantVisible = false;
    char16_t m_szLastEvent[EVENT_TEXT_UNITS] = {};
};
