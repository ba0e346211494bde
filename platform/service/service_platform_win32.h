// The service's platform over the Win32 calls, for ZELKSrv.exe.
#pragma once

#include "platform/service/service_platform.h"

// The one instance for the process.
ServicePlatform& Win32ServicePlatform();
