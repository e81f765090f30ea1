// Inside the Windows units of the platform: what they share. UTF-8 text
// and the UTF-16 of the wide calls, Win32 errors as errno numbers, and the
// guard of file creation that the console handler takes.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <string>

namespace kalp::platform {

// The UTF-16 form of a UTF-8 path; false when the text is no UTF-8 or
// holds a zero byte.
bool widen(const std::string& text, std::wstring& wide);
std::string narrow(const wchar_t* wide, int length);

// The errno number for a Win32 error, as the C library of Windows maps
// them, with the cases it lumps together kept apart.
int errnoof(DWORD code);
int lasterror();

// Held while a file is created or put in its place, and taken for good by
// the console handler: a run ended by Ctrl-C creates no file after its
// enlisted ones are removed (the handler runs on a thread of its own while
// the program goes on).
extern SRWLOCK filesguard;

class Guard {
public:
    Guard() { AcquireSRWLockExclusive(&filesguard); }
    ~Guard() { ReleaseSRWLockExclusive(&filesguard); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
};

constexpr DWORD shareall = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

} // namespace kalp::platform
