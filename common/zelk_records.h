/* The records and control codes that cross between the driver, the service and the agent.
 *
 * Every record is packed and little-endian; IPv4 and MAC addresses are kept byte for byte as they
 * stand in an ARP frame (first octet at the lowest offset) and compared as whole values. This header
 * is plain C so that the kernel driver, the user-mode programs and the tests share one definition. */
#ifndef ZELK_COMMON_ZELK_RECORDS_H
#define ZELK_COMMON_ZELK_RECORDS_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

#pragma pack(push, 1)

/* A MAC address in wire order. */
typedef struct MacAddress {
    uint8_t Bytes[6];
} MacAddress;

/* An IPv4 address in wire order: 192.168.1.1 is the bytes C0 A8 01 01. */
typedef struct Ipv4Address {
    uint8_t Bytes[4];
} Ipv4Address;

/* One finding of the guard: built by the driver, stored unchanged in the event file, shown by the agent. */
typedef struct GuardEvent {
    uint8_t Kind;             /* an EventKind */
    uint64_t Time;            /* 100 ns units since 1601-01-01 UTC; the latest merged finding's time */
    MacAddress Mac;           /* who: sender (kinds 2, 3, forged 1) or misled host (claimed-address 1) */
    Ipv4Address Ip;           /* the address that goes with Mac */
    uint64_t ProcessId;       /* local sending process, 0 for received frames */
    uint16_t ProcessName[32]; /* upper-cased image name, UTF-16LE, zero-terminated, zero-filled */
} GuardEvent;

/* One trusted binding: the MAC address that a trusted IPv4 address must have. */
typedef struct ArpBinding {
    Ipv4Address Ip;
    MacAddress Mac;
} ArpBinding;

#pragma pack(pop)

#define GUARD_EVENT_SIZE 91u
#define ARP_BINDING_SIZE 10u
#define GUARD_PROCESS_NAME_UNITS 32u

/* The values of GuardEvent.Kind; no other value is ever produced. */
typedef enum EventKind {
    GUARD_EVENT_LOCAL_SPOOF = 1,   /* a local program sent a forged frame or claimed a trusted address */
    GUARD_EVENT_INBOUND_SPOOF = 2, /* a received frame was spoofing */
    GUARD_EVENT_ARP_SCAN = 3       /* the sender of an ARP frame was found scanning */
} EventKind;

/* The driver never keeps more pending events than this, so a read buffer of
 * GUARD_MAX_EVENTS * GUARD_EVENT_SIZE bytes (745,472) always suffices. */
#define GUARD_MAX_EVENTS 8192u
#define GUARD_READ_BUFFER_SIZE (GUARD_MAX_EVENTS * GUARD_EVENT_SIZE)

/* The control device: device type 0xF001, buffered transfer, any access. */
#define ZELKARP_DEVICE_TYPE 0xF001u
#define ZELKARP_CTL_CODE(function) ((ZELKARP_DEVICE_TYPE << 16) | (0u << 14) | ((function) << 2) | 0u)
#define IOCTL_ZELKARP_SET_BINDINGS ZELKARP_CTL_CODE(0xF01u) /* in: n ArpBinding records; out: none */
#define IOCTL_ZELKARP_READ_EVENTS ZELKARP_CTL_CODE(0xF02u)  /* in: none; out: k GuardEvent records */

#define ZELKARP_KERNEL_DEVICE_NAME L"\\Device\\ZELKARP"
#define ZELKARP_KERNEL_LINK_NAME L"\\DosDevices\\ZELKARP"
#define ZELKARP_USER_DEVICE_PATH "\\\\.\\ZELKARP"

/* A MAC address as one 48-bit value, so that two addresses compare in one instruction. */
static inline uint64_t MacToValue(const MacAddress* mac) {
    uint64_t value = 0;
    memcpy(&value, mac->Bytes, sizeof(mac->Bytes));
    return value;
}

static inline MacAddress MacFromValue(uint64_t value) {
    MacAddress mac;
    memcpy(mac.Bytes, &value, sizeof(mac.Bytes));
    return mac;
}

static inline uint32_t Ipv4ToValue(const Ipv4Address* ip) {
    uint32_t value;
    memcpy(&value, ip->Bytes, sizeof(value));
    return value;
}

static inline int MacEqual(const MacAddress* a, const MacAddress* b) {
    return MacToValue(a) == MacToValue(b);
}
static inline int MacIsZero(const MacAddress* mac) {
    return MacToValue(mac) == 0;
}
static inline int Ipv4Equal(const Ipv4Address* a, const Ipv4Address* b) {
    return Ipv4ToValue(a) == Ipv4ToValue(b);
}

#ifdef __cplusplus
} /* extern "C" */
#define ZELK_STATIC_ASSERT static_assert
#else
#define ZELK_STATIC_ASSERT _Static_assert
#endif

ZELK_STATIC_ASSERT(sizeof(MacAddress) == 6, "MacAddress is six bytes");
ZELK_STATIC_ASSERT(sizeof(Ipv4Address) == 4, "Ipv4Address is four bytes");
ZELK_STATIC_ASSERT(sizeof(GuardEvent) == GUARD_EVENT_SIZE, "GuardEvent is 91 bytes");
ZELK_STATIC_ASSERT(offsetof(GuardEvent, Kind) == 0, "GuardEvent.Kind at 0");
ZELK_STATIC_ASSERT(offsetof(GuardEvent, Time) == 1, "GuardEvent.Time at 1");
ZELK_STATIC_ASSERT(offsetof(GuardEvent, Mac) == 9, "GuardEvent.Mac at 9");
ZELK_STATIC_ASSERT(offsetof(GuardEvent, Ip) == 15, "GuardEvent.Ip at 15");
ZELK_STATIC_ASSERT(offsetof(GuardEvent, ProcessId) == 19, "GuardEvent.ProcessId at 19");
ZELK_STATIC_ASSERT(offsetof(GuardEvent, ProcessName) == 27, "GuardEvent.ProcessName at 27");
ZELK_STATIC_ASSERT(sizeof(ArpBinding) == ARP_BINDING_SIZE, "ArpBinding is 10 bytes");
ZELK_STATIC_ASSERT(offsetof(ArpBinding, Ip) == 0, "ArpBinding.Ip at 0");
ZELK_STATIC_ASSERT(offsetof(ArpBinding, Mac) == 4, "ArpBinding.Mac at 4");
ZELK_STATIC_ASSERT(IOCTL_ZELKARP_SET_BINDINGS == 0xF0013C04u, "set-bindings control code");
ZELK_STATIC_ASSERT(IOCTL_ZELKARP_READ_EVENTS == 0xF0013C08u, "read-events control code");
ZELK_STATIC_ASSERT(GUARD_READ_BUFFER_SIZE == 0xB6000u, "read buffer holds every pending event");

#endif /* ZELK_COMMON_ZELK_RECORDS_H */
