// Everything the driver's framework takes from NDIS and the kernel, on the simulated host. A Windows
// build finds wdk/zelk_ndis.h first instead, which takes the same names from the platform's headers.
#pragma once

#include "kernel_io.h"
#include "ndis_miniport.h"
#include "ndis_packet.h"
#include "ndis_protocol.h"
#include "ndis_request.h"
#include "ndis_sync.h"
#include "ndis_types.h"

// A UTF-16 string literal in the platform's wide characters.
#define ZELK_WIDE(text) u##text
