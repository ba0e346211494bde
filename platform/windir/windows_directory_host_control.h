// Control of the host stand-in for the Windows directory.
#pragma once

// The host directory that stands for the Windows directory from now on (a host program sets it at
// start). Until it is set, or when it does not fit, the Windows directory cannot be found.
void WindowsDirectoryHostUse(const char* directory);
