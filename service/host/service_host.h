// ZELKSrv.exe's entry and its life as a Windows service: the command words "create" (install and start
// the service) and "start" (poll in the foreground), otherwise the service itself, which reports running
// at once and hands all work to one worker thread that empties the event file and polls.
#pragma once

#include <stdint.h>

#include <mutex>

#include "platform/service/service_platform.h"
#include "service/poller/service_state.h"

#define ZELK_SERVICE_NAME L"ZelkSrv"
#define ZELK_SERVICE_DISPLAY_NAME L"Zelk ARP Protector Application Service"
// The name in the dispatcher table and at handler registration; an own-process service need not match
// its installed name.
#define ZELK_SERVICE_DISPATCH_NAME L"Zelk ARP Protector Service 1.1"
#define ZELK_SERVICE_REGISTRY_KEY L"SYSTEM\\CurrentControlSet\\Services\\ZelkSrv"
#define ZELK_SERVICE_AUTOMATIC_START 2u

enum ProgramMode : uint32_t { PROGRAM_MODE_SERVICE = 0, PROGRAM_MODE_CREATE = 1, PROGRAM_MODE_START = 2 };

enum InstallResult : uint32_t {
    INSTALL_RUNNING = 0,       // registered, configured and running (or running already)
    INSTALL_NOT_INSTALLED = 1, // not registered or not configured, or the program file was not copied
    INSTALL_NOT_STARTED = 2,   // configured, but the start was refused
};

// Everything one service process holds; it lives as long as the process.
struct ServiceProcess {
    explicit ServiceProcess(ServicePlatform* platform) : Platform(platform), State(platform) {}
    ServicePlatform* Platform;
    ServiceState State;
    std::mutex StatusLock; // the service entry and the control handler run on different threads
    PlatformHandle StatusHandle = 0;
    ServiceStatusReport Status{};
};

// "create" and "start" are recognised whole, in any case; anything else, the empty text included, is the
// service.
ProgramMode ParseCommandLine(const char* commandLine);

// Copies this program to the Windows directory as ZELKSrv.exe and installs that copy.
InstallResult ServiceCreate(ServicePlatform& platform);
// Registers `programPath` as ZelkSrv unless registered already, sets automatic start, clears a pending
// deletion and starts the service.
InstallResult ServiceInstall(ServicePlatform& platform, const wchar_t* programPath);

// The program entry over the command-line text that follows the program name; always 0.
int ProgramEntry(ServiceProcess* process, const char* commandLine);

// What the service dispatcher calls; exposed for tests of the service's start.
void ServiceEntry(void* process);
