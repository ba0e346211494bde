/* The ARP frame inspection: every frame the driver carries, in either direction, is offered here
 * before it is passed on, and the verdict says whether to drop it. Plain C, so that a kernel driver
 * shell written in C can call it too. */
#ifndef ZELK_DRIVER_GUARD_ARP_GUARD_H
#define ZELK_DRIVER_GUARD_ARP_GUARD_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#define GUARD_ALIGN8 alignas(8)
#else
#define GUARD_ALIGN8 _Alignas(8)
#endif

typedef enum GuardVerdict { GUARD_PASS = 0, GUARD_DROP = 1 } GuardVerdict;
typedef enum GuardDirection { GUARD_DIR_OUTBOUND = 0, GUARD_DIR_INBOUND = 1 } GuardDirection;

#define ETHERNET_HEADER_SIZE 14u
#define ARP_FRAME_MIN_SIZE 42u

// The adapter's own MAC address as the framework publishes it: one aligned 64-bit value holding the
// six bytes in wire order, so that a reader never sees half of an old and half of a new address.
// All zero while unknown.
typedef struct GuardLocalMac {
    GUARD_ALIGN8 volatile uint64_t Value;
} GuardLocalMac;
void GuardPublishLocalMac(GuardLocalMac* localMac, const uint8_t* macBytes);

// The one entry the framework calls for a flat frame. `localMac` may be null when no adapter is known.
GuardVerdict ArpGuardInspect(const GuardLocalMac* localMac, const uint8_t* frame, uint32_t length,
                             GuardDirection direction);

// The decision procedure over one frame; `ownMac` is the adapter's address as a 48-bit value, 0 if unknown.
GuardVerdict ArpGuardAnalyze(uint64_t ownMac, const uint8_t* frame, uint32_t length,
                             GuardDirection direction);

// True for an Ethernet II ARP frame of at least 42 bytes: the only frames the guard looks at.
static inline bool GuardIsArpFrame(const uint8_t* frame, uint32_t length) {
    return frame != NULL && length >= ARP_FRAME_MIN_SIZE && frame[12] == 0x08 && frame[13] == 0x06;
}

// The sender hardware address of the last received frame found spoofing, as a 48-bit value.
uint64_t GuardLastSpooferMac();
// Sets the last spoofer as if that sender had just been caught; 0 is the state at load.
void GuardSetLastSpooferForTest(uint64_t mac);

#ifdef __cplusplus
}
#endif

#endif /* ZELK_DRIVER_GUARD_ARP_GUARD_H */
