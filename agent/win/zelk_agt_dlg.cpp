#include "agent/win/zelk_agt_dlg.h"

#include <cwchar>

#include "agent/win/agent_files_win32.h"
#include "agent/win/resource.h"
#include "agent/win/zelk_agt_app.h"
#include "platform/windir/windows_directory.h"

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(NOTIFYICONDATAW) == 956, "the tray icon record in its full layout");
#endif
static_assert(TRAY_MOUSE_LEFT_DOUBLE_CLICK == WM_LBUTTONDBLCLK, "the tray's double click");
static_assert(EVENT_LIST_EXTENDED_STYLE == (LVS_EX_FULLROWSELECT | LVS_EX_SUBITEMIMAGES), "list styles");

namespace {

// Texts are UTF-16 on both sides; Windows spells the unit wchar_t.
const wchar_t* Wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}
const wchar_t* Wide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}

HICON LoadAgentIcon() {
    return ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_AGENT));
}

} // namespace

CZelkAgtDlg::CZelkAgtDlg()
    : CDialog(IDD_AGENT_DIALOG), m_hIcon(LoadAgentIcon()), m_nid{},
      m_uTaskbarCreatedMsg(RegisterAllowedMessage("TaskbarCreated")),
      m_uShowAgentMsg(RegisterAllowedMessage(AGENT_SHOW_MESSAGE_NAME)), m_controller(*this) {}

const MessageMap* CZelkAgtDlg::GetMessageMap() const {
    static const MessageMapEntry entries[] = {
        {WM_AGENT_TO_TRAY, 0, MapHandler(&CZelkAgtDlg::OnAgentToTray)},
        {WM_AGENT_TRAYICON, 0, MapHandler(&CZelkAgtDlg::OnTrayIcon)},
        {WM_TIMER, 0, MapHandler(&CZelkAgtDlg::OnTimer)},
        {WM_COMMAND, IDC_RELOAD, MapHandler(&CZelkAgtDlg::OnReload)},
        {WM_COMMAND, IDC_LOGS, MapHandler(&CZelkAgtDlg::OnLogs)},
        {WM_COMMAND, IDC_CLEAR, MapHandler(&CZelkAgtDlg::OnClear)},
        {WM_COMMAND, IDC_CLOSE_TO_TRAY, MapHandler(&CZelkAgtDlg::OnCloseToTray)},
        {WM_CLOSE, 0, MapHandler(&CZelkAgtDlg::OnCloseToTray)},
        {WM_SHOWWINDOW, 0, MapHandler(&CZelkAgtDlg::OnShowWindow)},
        {WM_WINDOWPOSCHANGING, 0, MapHandler(&CZelkAgtDlg::OnWindowPosChanging)},
        {WM_PAINT, 0, MapHandler(&CZelkAgtDlg::OnPaint)},
        {WM_QUERYDRAGICON, 0, MapHandler(&CZelkAgtDlg::OnQueryDragIcon)},
        {0, 0, nullptr},
    };
    static const MessageMap map = {CDialog::GetMessageMap(), entries};
    return &map;
}

void CZelkAgtDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_EVENT_LIST, m_list);
}

BOOL CZelkAgtDlg::PreTranslateMessage(MSG* msg) {
    if (msg->message == WM_KEYDOWN && (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE)) {
        return TRUE;
    }
    return CDialog::PreTranslateMessage(msg);
}

LRESULT CZelkAgtDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != 0 && message == m_uTaskbarCreatedMsg) {
        m_controller.OnTaskbarCreated();
    } else if (message != 0 && message == m_uShowAgentMsg) {
        m_controller.OnShowAgentMessage();
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

BOOL CZelkAgtDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetIcon(m_hIcon, true);
    SetIcon(m_hIcon, false);
    m_controller.OnInitDialog();
    return TRUE;
}

LRESULT CZelkAgtDlg::OnAgentToTray(WPARAM, LPARAM) {
    m_controller.OnAgentToTray();
    return 0;
}

LRESULT CZelkAgtDlg::OnTrayIcon(WPARAM, LPARAM lParam) {
    m_controller.OnTrayIcon(static_cast<uint32_t>(lParam));
    return 0;
}

LRESULT CZelkAgtDlg::OnTimer(WPARAM wParam, LPARAM) {
    if (wParam == IDT_POLL_EVENTS) {
        m_controller.OnPollTimer();
    }
    return Default();
}

LRESULT CZelkAgtDlg::OnReload(WPARAM, LPARAM) {
    m_controller.OnReload();
    return 0;
}

LRESULT CZelkAgtDlg::OnLogs(WPARAM, LPARAM) {
    m_controller.OnLogs();
    return 0;
}

LRESULT CZelkAgtDlg::OnClear(WPARAM, LPARAM) {
    m_controller.OnClear();
    return 0;
}

LRESULT CZelkAgtDlg::OnCloseToTray(WPARAM, LPARAM) {
    m_controller.OnClose();
    return 0;
}

LRESULT CZelkAgtDlg::OnShowWindow(WPARAM wParam, LPARAM) {
    const LRESULT result = Default();
    if (wParam != FALSE && !m_controller.WantsVisible()) {
        CWnd::ShowWindow(SW_HIDE);
    }
    return result;
}

LRESULT CZelkAgtDlg::OnWindowPosChanging(WPARAM, LPARAM lParam) {
    WINDOWPOS* position = reinterpret_cast<WINDOWPOS*>(lParam);
    if (!m_controller.WantsVisible() && (position->flags & SWP_SHOWWINDOW) != 0) {
        position->flags &= ~static_cast<UINT>(SWP_SHOWWINDOW);
    }
    return Default();
}

LRESULT CZelkAgtDlg::OnPaint(WPARAM, LPARAM) {
    if (!IsIconic()) {
        return Default();
    }
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(m_hWnd, &paint);
    ::SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, m_hIcon);
    ::EndPaint(m_hWnd, &paint);
    return 0;
}

LRESULT CZelkAgtDlg::OnQueryDragIcon(WPARAM, LPARAM) {
    return reinterpret_cast<LRESULT>(m_hIcon);
}

void CZelkAgtDlg::ShowOnScreen() {
    CWnd::ShowWindow(SW_SHOW);
}

void CZelkAgtDlg::HideFromScreen() {
    CWnd::ShowWindow(SW_HIDE);
}

void CZelkAgtDlg::BringToFront() {
    SetForegroundWindow();
}

void CZelkAgtDlg::PostToTray() {
    ::PostMessageW(m_hWnd, WM_AGENT_TO_TRAY, 0, 0);
}

void CZelkAgtDlg::StartPollTimer(uint32_t milliseconds) {
    SetTimer(IDT_POLL_EVENTS, milliseconds);
}

void CZelkAgtDlg::ListSetExtendedStyle(uint32_t style) {
    m_list.SetExtendedStyle(style, 0);
}

void CZelkAgtDlg::ListAddColumn(const std::u16string& caption, int width) {
    m_list.InsertColumn(m_list.GetColumnCount(), Wide(caption), LVCFMT_LEFT, width);
}

void CZelkAgtDlg::ListDeleteAllRows() {
    m_list.DeleteAllItems();
}

void CZelkAgtDlg::ListInsertTopRow(const char16_t* timeText, const char16_t* eventText) {
    const int row = m_list.InsertItem(0, Wide(timeText));
    if (row >= 0) {
        m_list.SetItemText(row, 1, Wide(eventText));
    }
}

int CZelkAgtDlg::ListRowCount() {
    return m_list.GetItemCount();
}

void CZelkAgtDlg::ListSelectRow(int row) {
    m_list.SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

void CZelkAgtDlg::ListTakeFocus() {
    m_list.SetFocus();
}

MessageBoxAnswer CZelkAgtDlg::ShowMessageBox(const std::u16string& text, const std::u16string& caption,
                                             MessageBoxStyle style) {
    const UINT type =
        style == MessageBoxStyle::QuestionYesNo ? MB_ICONQUESTION | MB_YESNO : MB_ICONINFORMATION | MB_OK;
    switch (::MessageBoxW(m_hWnd, Wide(text), Wide(caption), type)) {
    case IDYES:
        return MessageBoxAnswer::Yes;
    case IDNO:
        return MessageBoxAnswer::No;
    default:
        return MessageBoxAnswer::Ok;
    }
}

void CZelkAgtDlg::UpdateTrayIcon(const std::u16string& balloonText, bool modify) {
    m_nid = NOTIFYICONDATAW{};
    m_nid.cbSize = sizeof(m_nid);
    m_nid.hWnd = m_hWnd;
    m_nid.uID = IDI_AGENT;
    m_nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO;
    m_nid.uCallbackMessage = WM_AGENT_TRAYICON;
    m_nid.hIcon = LoadAgentIcon();
    wcsncpy(m_nid.szTip, L"Zelk ARP Protector", ARRAYSIZE(m_nid.szTip) - 1);
    // The dialog's texts stay under 190 units; a longer one would be cut to the field's 255.
    wcsncpy(m_nid.szInfo, Wide(balloonText), ARRAYSIZE(m_nid.szInfo) - 1);
    m_nid.dwInfoFlags = NIIF_INFO;
    m_nid.uTimeout = 0;
    ::Shell_NotifyIconW(modify ? NIM_MODIFY : NIM_ADD, &m_nid);
}

std::u16string CZelkAgtDlg::WindowsDirectory() {
    wchar_t directory[WINDOWS_PATH_UNITS];
    if (!FindWindowsDirectory(directory)) {
        return std::u16string();
    }
    return reinterpret_cast<const char16_t*>(directory);
}

bool CZelkAgtDlg::ReadRecordFile(const std::u16string& path, size_t recordSize, FileBytes& bytes) {
    return ReadWholeRecords(Wide(path), recordSize, bytes);
}

bool CZelkAgtDlg::FileAttributesReadable(const std::u16string& path) {
    return ::FileAttributesReadable(Wide(path));
}

void CZelkAgtDlg::ShellOpen(const std::u16string& path) {
    ShellOpenFile(Wide(path));
}
