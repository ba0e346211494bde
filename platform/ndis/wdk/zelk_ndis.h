// Everything the driver's framework takes from NDIS and the kernel, in a Windows kernel build: the
// platform's own headers, a layered miniport of version 5.1 and a protocol of version 5.0.
#pragma once

#define NDIS51_MINIPORT 1
#define NDIS50 1
#include <ndis.h>

// A UTF-16 string literal in the platform's wide characters.
#define ZELK_WIDE(text) L##text
