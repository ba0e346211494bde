#include "agent/win/zelk_agt_app.h"

#include "agent/win/zelk_agt_dlg.h"

#include <commctrl.h>

CZelkAgtApp theApp;

namespace {

using ChangeWindowMessageFilterFunction = BOOL(WINAPI*)(UINT, DWORD);

// Creating the mutex first and looking at whether it existed leaves no moment in which two starts at
// the same instant both see no mutex. A mutex we may not open for creation belongs to a running agent
// too; only when it cannot even be opened does this start go on as the running agent.
bool AnotherAgentRuns() {
    HANDLE mutex = ::CreateMutexA(nullptr, FALSE, AGENT_MUTEX_NAME);
    if (mutex != nullptr) {
        return ::GetLastError() == ERROR_ALREADY_EXISTS; // the handle stays open for the life of the process
    }
    HANDLE existing = ::OpenMutexA(SYNCHRONIZE, FALSE, AGENT_MUTEX_NAME);
    if (existing == nullptr) {
        return false;
    }
    ::CloseHandle(existing);
    return true;
}

} // namespace

UINT RegisterAllowedMessage(const char* name) {
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    static_assert(sizeof(OSVERSIONINFOW) == 276, "the basic version record");
    ::GetVersionExW(&version);
    const UINT id = ::RegisterWindowMessageA(name);
    if (version.dwMajorVersion >= 6 && id != 0) {
        HMODULE user32 = ::LoadLibraryA("User32.dll");
        if (user32 != nullptr) {
            auto change = reinterpret_cast<ChangeWindowMessageFilterFunction>(
                reinterpret_cast<void*>(::GetProcAddress(user32, "ChangeWindowMessageFilter")));
            if (change != nullptr) {
                change(id, MSGFLT_ADD);
            }
            ::FreeLibrary(user32);
        }
    }
    return id;
}

BOOL CZelkAgtApp::InitInstance() {
    if (AnotherAgentRuns()) {
        const UINT showMessage = RegisterAllowedMessage(AGENT_SHOW_MESSAGE_NAME);
        if (showMessage != 0) {
            ::SendMessageW(HWND_BROADCAST, showMessage, 0, 0);
        }
        return FALSE;
    }
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    CWinApp::InitInstance();

    CZelkAgtDlg dialog;
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}
