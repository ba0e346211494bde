// The agent's application object: the single-instance rule and the modal run of the main dialog.
#pragma once

#include "platform/winui/win_app.h"

#define AGENT_MUTEX_NAME "Zelk ARP Protector"
#define AGENT_SHOW_MESSAGE_NAME "Global\\ZELKARPPROTECTOR"

class CZelkAgtApp : public CWinApp {
public:
    ~CZelkAgtApp() override = default;
    // Either asks the agent already running in this session to show itself, or runs the main dialog for
    // the life of the process. FALSE in both cases: there is no application loop after it.
    BOOL InitInstance() override;
};

// Registers a window message by name and lets it through the message filter (Windows Vista and later),
// so that it also arrives from processes of lower integrity. The id, or 0 when registration failed.
UINT RegisterAllowedMessage(const char* name);
