// Controls of the host stand-in for exclusive files, for tests.
#pragma once

#include <stdint.h>

#include "platform/exclusive_file/exclusive_file.h"

// The next `count` opens fail with `status` (a sharing violation or another failure) without touching
// the file system; 0 lets every open through again.
void ExclusiveFileHostFailOpensForTest(uint32_t count, ExclusiveFileOpenStatus status);
// Opens tried since the last reset, failed ones included.
uint32_t ExclusiveFileHostOpenAttemptsForTest();
// Pauses asked for since the last reset, and their milliseconds in all; the stand-in never sleeps.
uint32_t ExclusiveFileHostPausesForTest();
uint64_t ExclusiveFileHostPausedMillisecondsForTest();
// Back to no failures and zero counts.
void ExclusiveFileHostResetForTest();
