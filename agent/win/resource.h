// Resource ids of ZelkAgt.exe, shared by the resource script and the code.
#pragma once

#define IDD_AGENT_DIALOG 102
#define IDI_AGENT 128

#define IDC_EVENT_LIST 1000
#define IDC_RELOAD 1001
#define IDC_CLOSE_TO_TRAY 1002
#define IDC_LOGS 1003
#define IDC_CREDIT 1004
#define IDC_CLEAR 1005
#define IDC_APP_ICON 1007
