/* The control device's one dispatch routine: it turns the two control codes into operations on the
 * guard tables and completes every request before it returns. */
#ifndef ZELK_DRIVER_GUARD_GUARD_DISPATCH_H
#define ZELK_DRIVER_GUARD_GUARD_DISPATCH_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define GUARD_IRP_MJ_CREATE 0x00u
#define GUARD_IRP_MJ_CLOSE 0x02u
#define GUARD_IRP_MJ_DEVICE_CONTROL 0x0Eu
#define GUARD_IRP_MJ_CLEANUP 0x12u

#define GUARD_STATUS_SUCCESS 0x00000000u
#define GUARD_STATUS_UNSUCCESSFUL 0xC0000001u

/* One request to the control device, as the kernel's request packet carries it for buffered transfer. */
typedef struct GuardRequest {
    uint8_t MajorFunction;       /* GUARD_IRP_MJ_* */
    uint32_t IoControlCode;      /* device control only */
    void* SystemBuffer;          /* input bytes in, output bytes out; may be null */
    uint32_t InputBufferLength;  /* bytes of input in SystemBuffer */
    uint32_t OutputBufferLength; /* room for output in SystemBuffer */
    uint32_t Status;             /* set by the dispatch routine */
    uint64_t Information;        /* bytes returned */
    uint32_t Completions;        /* how many times the request was completed; must end as 1 */
    void* PlatformRequest;       /* the kernel's request packet, completed by the kernel seam */
} GuardRequest;

/* Completes the request without a priority boost. Provided by the platform seam. */
void GuardCompleteRequest(GuardRequest* request);

/* Serves create, close, cleanup and device control; returns the status stored in the request. */
uint32_t GuardDeviceDispatch(void* device, GuardRequest* request);

#ifdef __cplusplus
}
#endif

#endif /* ZELK_DRIVER_GUARD_GUARD_DISPATCH_H */
