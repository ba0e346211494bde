#include "platform/winui/win_app.h"

namespace {

CWinApp* theApplication = nullptr;

} // namespace

CWinApp::CWinApp() {
    theApplication = this;
}

CWinApp::~CWinApp() {
    theApplication = nullptr;
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

int CWinApp::ExitInstance() {
    return 0;
}

CWinApp* AfxGetApp() {
    return theApplication;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr) {
        return 1;
    }
    if (app->InitInstance()) {
        MSG msg;
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return app->ExitInstance();
}
