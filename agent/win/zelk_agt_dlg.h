// The agent's only window: the event list, four buttons and the tray icon. Its behaviour lives in
// AgentDialogController; this class turns window messages into the controller's events and carries out
// the controller's effects (it is the Win32 side of AgentUi).
#pragma once

#include "agent/dialog/agent_dialog_controller.h"
#include "agent/dialog/agent_ui.h"
#include "platform/winui/list_ctrl.h"
#include "platform/winui/win_dialog.h"

#include <shellapi.h>

#define WM_AGENT_TO_TRAY (WM_USER + 1)
#define WM_AGENT_TRAYICON (WM_USER + 2)

class CZelkAgtDlg : public CDialog, private AgentUi {
public:
    CZelkAgtDlg();
    ~CZelkAgtDlg() override = default;

protected:
    const MessageMap* GetMessageMap() const override;
    void DoDataExchange(CDataExchange* pDX) override;
    // Enter and Escape neither close the dialog nor press a button.
    BOOL PreTranslateMessage(MSG* msg) override;
    // The registered messages ("TaskbarCreated", the show message) are answered ahead of the map.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnInitDialog() override;

private:
    LRESULT OnAgentToTray(WPARAM, LPARAM);
    LRESULT OnTrayIcon(WPARAM, LPARAM);
    LRESULT OnTimer(WPARAM, LPARAM);
    LRESULT OnReload(WPARAM, LPARAM);
    LRESULT OnLogs(WPARAM, LPARAM);
    LRESULT OnClear(WPARAM, LPARAM);
    LRESULT OnCloseToTray(WPARAM, LPARAM);
    LRESULT OnShowWindow(WPARAM, LPARAM);
    LRESULT OnWindowPosChanging(WPARAM, LPARAM);
    LRESULT OnPaint(WPARAM, LPARAM);
    LRESULT OnQueryDragIcon(WPARAM, LPARAM);

    // AgentUi
    void ShowOnScreen() override;
    void HideFromScreen() override;
    void BringToFront() override;
    void PostToTray() override;
    void StartPollTimer(uint32_t milliseconds) override;
    void ListSetExtendedStyle(uint32_t style) override;
    void ListAddColumn(const std::u16string& caption, int width) override;
    void ListDeleteAllRows() override;
    void ListInsertTopRow(const char16_t* timeText, const char16_t* eventText) override;
    int ListRowCount() override;
    void ListSelectRow(int row) override;
    void ListTakeFocus() override;
    MessageBoxAnswer ShowMessageBox(const std::u16string& text, const std::u16string& caption,
                                    MessageBoxStyle style) override;
    void UpdateTrayIcon(const std::u16string& balloonText, bool modify) override;
    std::u16string WindowsDirectory() override;
    bool ReadRecordFile(const std::u16string& path, size_t recordSize, FileBytes& bytes) override;
    bool FileAttributesReadable(const std::u16string& path) override;
    void ShellOpen(const std::u16string& path) override;

    HICON m_hIcon;
    NOTIFYICONDATAW m_nid;
    UINT m_uTaskbarCreatedMsg;
    UINT m_uShowAgentMsg;
    CListCtrl m_list;
    AgentDialogController m_controller;
};
