/* The companion protocol driver's device, through which the service puts correction frames on the wire.
 * The driver is not part of this system: only these requests and what their results mean are fixed.
 * Opened from user mode as \\.\ZELKPROT with read and write access. */
#ifndef ZELK_COMMON_ZELKPROT_DEVICE_H
#define ZELK_COMMON_ZELKPROT_DEVICE_H

#define ZELKPROT_USER_DEVICE_PATH "\\\\.\\ZELKPROT"
#define ZELKPROT_SERVICE_NAME L"ZELKProt"

/* Device type 0x12, buffered transfer, read and write access. */
#define ZELKPROT_DEVICE_TYPE 0x12u
#define ZELKPROT_CTL_CODE(function) ((ZELKPROT_DEVICE_TYPE << 16) | (3u << 14) | ((function) << 2) | 0u)
/* in: the adapter's device name "\DEVICE\{...}", UTF-16 without terminator; out: none */
#define IOCTL_ZELKPROT_OPEN_ADAPTER ZELKPROT_CTL_CODE(0x200u)
/* in: none; out: none; succeeds once the driver can be used */
#define IOCTL_ZELKPROT_READY ZELKPROT_CTL_CODE(0x204u)

/* A write on a handle attached to an adapter puts the bytes on that adapter's wire as one frame. */
#define CORRECTION_FRAME_SIZE 42u

#ifdef __cplusplus
static_assert(IOCTL_ZELKPROT_OPEN_ADAPTER == 0x0012C800u, "open-adapter control code");
static_assert(IOCTL_ZELKPROT_READY == 0x0012C810u, "ready control code");
#endif

#endif /* ZELK_COMMON_ZELKPROT_DEVICE_H */
