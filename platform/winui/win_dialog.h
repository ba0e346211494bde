// Modal dialogs from a dialog template, with data exchange for controls (see win_wnd.h).
#pragma once

#include "platform/winui/win_wnd.h"

// What DoDataExchange binds controls with.
struct CDataExchange {
    CWnd* m_pDlgWnd;
};

// Binds the dialog's control `id` to `control`.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr) : m_templateId(templateId), m_parent(parent) {}

    // Creates the dialog from its template and runs its message loop until EndDialog; the result given
    // to EndDialog, or -1 when the dialog could not be created.
    virtual INT_PTR DoModal();
    // Ends the modal loop once the current message is handled.
    void EndDialog(int result);

protected:
    const MessageMap* GetMessageMap() const override;
    // After the window and its controls exist, before it is first shown: binds the controls. TRUE lets
    // the system give the first control the focus.
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange* pDX);
    // Each message of the modal loop before it is dispatched; TRUE when it was dealt with here.
    virtual BOOL PreTranslateMessage(MSG* msg);
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleOk(WPARAM, LPARAM);
    LRESULT HandleCancel(WPARAM, LPARAM);

    UINT m_templateId;
    CWnd* m_parent;
    bool m_ended = false;
    INT_PTR m_result = -1;
};
