// A list-view control in report mode, bound to a dialog's control (see win_wnd.h).
#pragma once

#include "platform/winui/win_wnd.h"

#include <commctrl.h>

class CListCtrl : public CWnd {
public:
    // Sets the extended styles; a mask of 0 replaces all of them.
    DWORD SetExtendedStyle(DWORD style, DWORD mask = 0);
    int GetColumnCount() const;
    int InsertColumn(int column, const wchar_t* caption, int format, int width);
    BOOL DeleteAllItems();
    // Inserts a row with the text of its first column; the row's index, or -1.
    int InsertItem(int row, const wchar_t* text);
    BOOL SetItemText(int row, int subItem, const wchar_t* text);
    int GetItemCount() const;
    BOOL SetItemState(int row, UINT state, UINT mask);
};
