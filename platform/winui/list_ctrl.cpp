#include "platform/winui/list_ctrl.h"

DWORD CListCtrl::SetExtendedStyle(DWORD style, DWORD mask) {
    return static_cast<DWORD>(
        ::SendMessageW(m_hWnd, LVM_SETEXTENDEDLISTVIEWSTYLE, mask, static_cast<LPARAM>(style)));
}

int CListCtrl::GetColumnCount() const {
    return Header_GetItemCount(ListView_GetHeader(m_hWnd));
}

int CListCtrl::InsertColumn(int column, const wchar_t* caption, int format, int width) {
    LVCOLUMNW item{};
    item.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    item.fmt = format;
    item.cx = width;
    item.pszText = const_cast<wchar_t*>(caption);
    item.iSubItem = column;
    return static_cast<int>(::SendMessageW(m_hWnd, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column),
                                           reinterpret_cast<LPARAM>(&item)));
}

BOOL CListCtrl::DeleteAllItems() {
    return static_cast<BOOL>(::SendMessageW(m_hWnd, LVM_DELETEALLITEMS, 0, 0));
}

int CListCtrl::InsertItem(int row, const wchar_t* text) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = const_cast<wchar_t*>(text);
    return static_cast<int>(::SendMessageW(m_hWnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

BOOL CListCtrl::SetItemText(int row, int subItem, const wchar_t* text) {
    LVITEMW item{};
    item.iSubItem = subItem;
    item.pszText = const_cast<wchar_t*>(text);
    return static_cast<BOOL>(
        ::SendMessageW(m_hWnd, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)));
}

int CListCtrl::GetItemCount() const {
    return static_cast<int>(::SendMessageW(m_hWnd, LVM_GETITEMCOUNT, 0, 0));
}

BOOL CListCtrl::SetItemState(int row, UINT state, UINT mask) {
    LVITEMW item{};
    item.state = state;
    item.stateMask = mask;
    return static_cast<BOOL>(
        ::SendMessageW(m_hWnd, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)));
}
