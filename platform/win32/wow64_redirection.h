// The WOW64 redirection guard: a 32-bit program that touches the Windows directory turns off the file-system
// redirection of its thread around that work. The functions are looked up at run time in "kernel32.dll";
// where they are missing, or turning redirection off fails (as in a 64-bit process), the guard stays inactive
// and the file work runs with redirection unchanged.
#pragma once

struct Wow64RedirectionGuard {
    void* SavedValue; // what Wow64DisableWow64FsRedirection handed back
    bool Active;      // redirection was turned off and must be restored
};

// Turns redirection off for the calling thread and records whether that happened.
void Wow64RedirectionTurnOff(Wow64RedirectionGuard* guard);

// Restores redirection on the same thread, and only when the guard is active.
void Wow64RedirectionRestore(Wow64RedirectionGuard* guard);
