// The service's client of the companion protocol driver: correction frames, each written through a fresh
// handle attached to the adapter that reaches the gateway.
#pragma once

#include <stdint.h>

#include <vector>

#include "common/zelkprot_device.h"
#include "platform/service/service_platform.h"
#include "service/discovery/adapter_discovery.h"

// "\DEVICE\<adapter name>" with its terminator.
constexpr size_t ADAPTER_DEVICE_NAME_CHARS = 255;

// The protocol driver's device, opened and found ready; 0 when it is not available.
PlatformHandle OpenProtocolDriver(ServicePlatform& platform);

// "\DEVICE\<adapterName>" into `deviceName`; false, leaving it empty, when it would not fit.
bool MakeAdapterDeviceName(const char* adapterName, char (&deviceName)[ADAPTER_DEVICE_NAME_CHARS]);

// Attaches `handle` to the adapter named by `deviceName`, sent widened to UTF-16 without its terminator.
bool AttachToAdapter(ServicePlatform& platform, PlatformHandle handle, const char* deviceName);

// The unicast ARP reply that tells the gateway the host's true binding.
void BuildCorrectionFrame(const AdapterGateway& entry, uint8_t (&frame)[CORRECTION_FRAME_SIZE]);

// One frame per entry, in list order; returns how many writes succeeded.
uint32_t SendCorrectionFrames(ServicePlatform& platform, const std::vector<AdapterGateway>& list);
