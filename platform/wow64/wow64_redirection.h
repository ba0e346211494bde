// Turning off WOW64 file-system redirection around work in the Windows directory, so that the 32-bit
// programs see the real directory and not the 32-bit view of it. Redirection is per thread: a guard is
// restored on the thread that made it, as soon as the file work that needed it is done.
//
// The Win32 implementation looks the functions up by name at run time; on a system without them the
// guard is simply inactive. The host stand-in counts what is turned off and can play a system without
// them (wow64_redirection_host_control.h).
#pragma once

struct Wow64RedirectionGuard {
    void* SavedValue; // what the system handed back when redirection was turned off
    bool Active;      // redirection was turned off and must be restored
};

// Turns off redirection for the calling thread; the guard is active only when that succeeded.
void Wow64RedirectionTurnOff(Wow64RedirectionGuard* guard);
// Restores redirection when, and only when, the guard is active; the guard is inactive afterwards.
void Wow64RedirectionRestore(Wow64RedirectionGuard* guard);

// Redirection off for the life of a scope.
class Wow64RedirectionOffScope {
public:
    Wow64RedirectionOffScope() { Wow64RedirectionTurnOff(&m_guard); }
    ~Wow64RedirectionOffScope() { Wow64RedirectionRestore(&m_guard); }
    Wow64RedirectionOffScope(const Wow64RedirectionOffScope&) = delete;
    Wow64RedirectionOffScope& operator=(const Wow64RedirectionOffScope&) = delete;

private:
    Wow64RedirectionGuard m_guard{nullptr, false};
};
