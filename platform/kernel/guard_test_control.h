/* The test build of the driver's one extra control code: a frame handed to the guard as a packet path
 * would hand it, and the verdict back. Present only in that build; the shipped driver has no such code. */
#ifndef ZELK_PLATFORM_KERNEL_GUARD_TEST_CONTROL_H
#define ZELK_PLATFORM_KERNEL_GUARD_TEST_CONTROL_H

#include <stdint.h>

#include "common/zelk_records.h"

#define IOCTL_ZELKARP_TEST_INSPECT ZELKARP_CTL_CODE(0xF7Fu) /* in: GuardTestFrame; out: uint32_t verdict */

#define GUARD_TEST_FRAME_MAX 1514u
#define GUARD_TEST_IMAGE_NAME_SIZE 32u

#pragma pack(push, 1)
typedef struct GuardTestFrame {
    uint32_t Direction;                         /* GUARD_DIR_OUTBOUND or GUARD_DIR_INBOUND */
    uint8_t AdapterMac[6];                      /* the adapter's own address, all zero when unknown */
    char ImageName[GUARD_TEST_IMAGE_NAME_SIZE]; /* the sending program's image name, as a kernel keeps it */
    uint32_t Length;                            /* bytes of Frame that follow */
    uint8_t Frame[GUARD_TEST_FRAME_MAX];
} GuardTestFrame;
#pragma pack(pop)

#define GUARD_TEST_FRAME_HEADER_SIZE 46u
ZELK_STATIC_ASSERT(sizeof(GuardTestFrame) == GUARD_TEST_FRAME_HEADER_SIZE + GUARD_TEST_FRAME_MAX,
                   "test frame header is packed");

#endif /* ZELK_PLATFORM_KERNEL_GUARD_TEST_CONTROL_H */
