#include "platform/winui/win_dialog.h"

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
    control.m_hWnd = ::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, id);
}

const MessageMap* CDialog::GetMessageMap() const {
    static const MessageMapEntry entries[] = {
        {WM_COMMAND, IDOK, MapHandler(&CDialog::HandleOk)},
        {WM_COMMAND, IDCANCEL, MapHandler(&CDialog::HandleCancel)},
        {0, 0, nullptr},
    };
    static const MessageMap map = {CWnd::GetMessageMap(), entries};
    return &map;
}

INT_PTR CDialog::DoModal() {
    const HWND owner = m_parent != nullptr ? m_parent->m_hWnd : nullptr;
    const HWND window = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId),
                                             owner, &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    if (window == nullptr) {
        return -1;
    }
    m_ended = false;
    MSG msg;
    while (!m_ended) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            ::PostQuitMessage(static_cast<int>(msg.wParam)); // the outer loop ends too
            break;
        }
        if (got == -1) {
            break;
        }
        if (!PreTranslateMessage(&msg) && !::IsDialogMessageW(window, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    ::DestroyWindow(window);
    return m_result;
}

void CDialog::EndDialog(int result) {
    m_result = result;
    m_ended = true;
    ::PostMessageW(m_hWnd, WM_NULL, 0, 0); // wakes the modal loop so that it sees the end
}

BOOL CDialog::OnInitDialog() {
    CDataExchange exchange{this};
    DoDataExchange(&exchange);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

BOOL CDialog::PreTranslateMessage(MSG*) {
    return FALSE;
}

LRESULT CDialog::HandleOk(WPARAM, LPARAM) {
    OnOK();
    return 0;
}

LRESULT CDialog::HandleCancel(WPARAM, LPARAM) {
    OnCancel();
    return 0;
}

// The dialog manager's procedure sees only WM_INITDIALOG: there the window is subclassed, and every later
// message reaches the message map first, with the dialog manager's own handling as the default.
INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_INITDIALOG) {
        return FALSE;
    }
    CDialog* dialog = reinterpret_cast<CDialog*>(lParam);
    dialog->SubclassWindow(window);
    return dialog->OnInitDialog();
}
