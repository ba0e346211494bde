#include "service/discovery/protocol_client.h"

#include <stdio.h>
#include <string.h>

PlatformHandle OpenProtocolDriver(ServicePlatform& platform) {
    const PlatformHandle handle = platform.OpenDevice(ZELKPROT_USER_DEVICE_PATH, DEVICE_ACCESS_READ_WRITE);
    if (handle == 0) {
        return 0;
    }
    uint32_t returned = 0;
    if (!platform.ControlDevice(handle, IOCTL_ZELKPROT_READY, nullptr, 0, nullptr, 0, &returned)) {
        platform.CloseDevice(handle);
        return 0;
    }
    return handle;
}

bool MakeAdapterDeviceName(const char* adapterName, char (&deviceName)[ADAPTER_DEVICE_NAME_CHARS]) {
    const int length = snprintf(deviceName, sizeof(deviceName), "\\DEVICE\\%s", adapterName);
    // A truncated name would attach to some other adapter, or to none.
    if (length < 0 || static_cast<size_t>(length) >= sizeof(deviceName)) {
        deviceName[0] = '\0';
        return false;
    }
    return true;
}

bool AttachToAdapter(ServicePlatform& platform, PlatformHandle handle, const char* deviceName) {
    uint16_t wide[ADAPTER_DEVICE_NAME_CHARS] = {};
    size_t units = 0;
    while (units < ADAPTER_DEVICE_NAME_CHARS - 1 && deviceName[units] != '\0') {
        wide[units] = static_cast<unsigned char>(deviceName[units]);
        ++units;
    }
    uint32_t returned = 0;
    return platform.ControlDevice(handle, IOCTL_ZELKPROT_OPEN_ADAPTER, wide, static_cast<uint32_t>(units * 2),
                                  nullptr, 0, &returned);
}

void BuildCorrectionFrame(const AdapterGateway& entry, uint8_t (&frame)[CORRECTION_FRAME_SIZE]) {
    static const uint8_t kArpReplyHeader[10] = {0x08, 0x06, 0x00, 0x01, 0x08, 0x00, 6, 4, 0x00, 0x02};
    memcpy(&frame[0], entry.GatewayMac.Bytes, 6);
    memcpy(&frame[6], entry.LocalMac.Bytes, 6);
    memcpy(&frame[12], kArpReplyHeader, sizeof(kArpReplyHeader));
    memcpy(&frame[22], entry.LocalMac.Bytes, 6);
    memcpy(&frame[28], entry.LocalIp.Bytes, 4);
    memcpy(&frame[32], entry.GatewayMac.Bytes, 6);
    memcpy(&frame[38], entry.GatewayIp.Bytes, 4);
}

uint32_t SendCorrectionFrames(ServicePlatform& platform, const std::vector<AdapterGateway>& list) {
    uint32_t sent = 0;
    for (const AdapterGateway& entry : list) {
        char deviceName[ADAPTER_DEVICE_NAME_CHARS];
        if (!MakeAdapterDeviceName(entry.AdapterName, deviceName)) {
            continue;
        }
        const PlatformHandle handle = OpenProtocolDriver(platform);
        if (handle == 0) {
            continue;
        }
        if (AttachToAdapter(platform, handle, deviceName)) {
            uint8_t frame[CORRECTION_FRAME_SIZE];
            BuildCorrectionFrame(entry, frame);
            uint32_t written = 0;
            if (platform.WriteDevice(handle, frame, sizeof(frame), &written)) {
                ++sent;
            }
        }
        platform.CloseDevice(handle);
    }
    return sent;
}
