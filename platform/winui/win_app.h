// The application object (see win_wnd.h): one global instance, constructed before the entry code runs;
// the entry code of this layer calls its InitInstance and ends the process with ExitInstance's result.
#pragma once

#include "platform/winui/win_wnd.h"

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Start-up. TRUE runs the application's message loop until WM_QUIT; FALSE ends the process at once.
    virtual BOOL InitInstance();
    // The process's exit code.
    virtual int ExitInstance();

    CWnd* m_pMainWnd = nullptr;
};

// The one application object.
CWinApp* AfxGetApp();
