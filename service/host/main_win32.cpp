// ZELKSrv.exe: a program without a window or console; the command-line text after the program name
// chooses what it does.
#include <windows.h>

#include "platform/service/service_platform_win32.h"
#include "service/host/service_host.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR commandLine, int /*show*/) {
    // Lives as long as the process: the service's threads use it until the process ends.
    static ServiceProcess* process = new ServiceProcess(&Win32ServicePlatform());
    return ProgramEntry(process, commandLine);
}
