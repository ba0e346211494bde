// Basic NDIS and kernel types of the simulated NDIS 5 host: integers, handles, status values, counted
// UTF-16 strings, non-paged memory and debugger output. Declared by us from what the framework calls;
// the Windows build takes the same names from the platform's own headers instead.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

typedef void VOID;
typedef void* PVOID;
typedef uint8_t UCHAR;
typedef uint8_t* PUCHAR;
typedef uint8_t BOOLEAN;
typedef uint8_t* PBOOLEAN;
typedef uint8_t KIRQL;
typedef uint16_t USHORT;
typedef int32_t INT;
typedef int32_t LONG;
typedef uint32_t UINT;
typedef uint32_t* PUINT;
typedef uint32_t ULONG;
typedef uint32_t* PULONG;
typedef uint64_t ULONGLONG;
typedef uintptr_t ULONG_PTR;
typedef int32_t NTSTATUS;
typedef const char* PCSTR;
// The platform's wide characters are 16-bit UTF-16 units.
typedef char16_t WCHAR;
typedef WCHAR* PWSTR;
typedef const WCHAR* PCWSTR;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

typedef int NDIS_STATUS;
typedef NDIS_STATUS* PNDIS_STATUS;
typedef PVOID NDIS_HANDLE;
typedef NDIS_HANDLE* PNDIS_HANDLE;

#define STATUS_SUCCESS ((NTSTATUS)0x00000000)

#define NDIS_STATUS_SUCCESS ((NDIS_STATUS)0x00000000)
#define NDIS_STATUS_PENDING ((NDIS_STATUS)0x00000103)
#define NDIS_STATUS_MEDIA_CONNECT ((NDIS_STATUS)0x4001000B)
#define NDIS_STATUS_MEDIA_DISCONNECT ((NDIS_STATUS)0x4001000C)
#define NDIS_STATUS_FAILURE ((NDIS_STATUS)0xC0000001)
#define NDIS_STATUS_RESOURCES ((NDIS_STATUS)0xC000009A)
#define NDIS_STATUS_NOT_SUPPORTED ((NDIS_STATUS)0xC00000BB)
#define NDIS_STATUS_INVALID_LENGTH ((NDIS_STATUS)0xC0010014)
#define NDIS_STATUS_UNSUPPORTED_MEDIA ((NDIS_STATUS)0xC0010019)

// A counted UTF-16 string; Length and MaximumLength are in bytes, no terminator is implied.
struct UNICODE_STRING {
    USHORT Length;
    USHORT MaximumLength;
    PWSTR Buffer;
};
typedef UNICODE_STRING* PUNICODE_STRING;
typedef UNICODE_STRING NDIS_STRING;
typedef NDIS_STRING* PNDIS_STRING;

// Points `destination` at the terminated `source` (not copied); lengths exclude the terminator.
VOID NdisInitUnicodeString(PNDIS_STRING destination, PCWSTR source);

// A physical address limit; the framework always passes "no limit".
struct NDIS_PHYSICAL_ADDRESS {
    int64_t QuadPart;
};
#define NDIS_PHYSICAL_ADDRESS_CONST(low, high)                                                               \
    { (int64_t)(((uint64_t)(uint32_t)(high) << 32) | (uint32_t)(low)) }

// Non-paged memory. Both allocations fail with NDIS_STATUS_FAILURE when the pool is exhausted.
NDIS_STATUS NdisAllocateMemoryWithTag(PVOID* virtualAddress, UINT length, ULONG tag);
NDIS_STATUS NdisAllocateMemory(PVOID* virtualAddress, UINT length, UINT memoryFlags,
                               NDIS_PHYSICAL_ADDRESS highestAcceptableAddress);
VOID NdisFreeMemory(PVOID virtualAddress, UINT length, UINT memoryFlags);

#define NdisZeroMemory(destination, length) memset((destination), 0, (length))
#define NdisMoveMemory(destination, source, length) memcpy((destination), (source), (length))

// Kernel debugger output; the simulated host keeps every line.
ULONG DbgPrint(PCSTR format, ...);
