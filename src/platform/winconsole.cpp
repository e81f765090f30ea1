// The console on Windows: its events (Ctrl-C, Ctrl-Break, a closed window)
// and the standard streams.
#include "platform/platform.h"
#include "platform/enlisted.h"
#include "platform/wide.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

namespace kalp::platform {

namespace {

void say(const char* text) {
    DWORD done = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(std::strlen(text)), &done, nullptr);
}

// Held (shared) while a set of files is put in place, and taken for good
// by the console handler: an event waits until the set stands whole.
SRWLOCK setguard = SRWLOCK_INIT;
std::atomic<bool> setplaced{false};

// Console events arrive on a thread of their own while the program goes
// on. The handler takes the guard of file creation for good, removes the
// enlisted files and ends the process at once: no destructor or exit
// handler runs under the feet of the other threads.
BOOL WINAPI onconsole(DWORD event) {
    const char* what = nullptr;
    int sig = 0;
    switch (event) {
    case CTRL_C_EVENT:
        what = "kalp: interrupted (Ctrl-C)";
        sig = SIGINT;
        break;
    case CTRL_BREAK_EVENT:
        what = "kalp: interrupted (Ctrl-Break)";
        sig = SIGBREAK;
        break;
    case CTRL_CLOSE_EVENT:
        what = "kalp: the console was closed";
        sig = SIGTERM;
        break;
    default: return FALSE;  // logging off and shutting down reach services only
    }
    AcquireSRWLockExclusive(&setguard);
    AcquireSRWLockExclusive(&filesguard);
    removeenlisted();
    say(what);
    say(setplaced.load() ? "; the files of this run are in place\n"
                         : "; the files of this run were not written, earlier ones are unchanged\n");
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(signalstatus(sig)));
    return TRUE;
}

std::atomic<int> endsignal{0};

HANDLE endevent() {
    static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}

BOOL WINAPI onend(DWORD event) {
    const int sig = event == CTRL_C_EVENT       ? SIGINT
                    : event == CTRL_BREAK_EVENT ? SIGBREAK
                    : event == CTRL_CLOSE_EVENT ? SIGTERM
                                                : 0;
    if (sig == 0) return FALSE;
    endsignal = sig;
    SetEvent(endevent());
    // Windows ends the process as soon as the handler of a closed console
    // returns: waiting here leaves the server its few seconds to stop.
    if (event == CTRL_CLOSE_EVENT) Sleep(INFINITE);
    return TRUE;
}

} // namespace

void removequietly(const char* path) {
    // No allocation: the handler may run while another thread holds the
    // heap.
    wchar_t wide[4096];
    if (MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, 4096) > 0) DeleteFileW(wide);
}

void handlesignals() { SetConsoleCtrlHandler(onconsole, TRUE); }

void beginset() { AcquireSRWLockShared(&setguard); }

void endset(bool placed) {
    if (placed) setplaced = true;
    ReleaseSRWLockShared(&setguard);
}

void holdendsignals() {
    endevent();
    SetConsoleCtrlHandler(onend, TRUE);
}

int waitforend() {
    WaitForSingleObject(endevent(), INFINITE);
    return endsignal.load();
}

void wakeend() { SetEvent(endevent()); }

// As a POSIX shell shows it: 130 for Ctrl-C.
int signalstatus(int signal) { return 128 + signal; }

void endbysignal(int sig, const char* aftermath) {
    AcquireSRWLockExclusive(&setguard);
    AcquireSRWLockExclusive(&filesguard);
    removeenlisted();
    say(sig == SIGINT     ? "kalp: interrupted (Ctrl-C); "
        : sig == SIGBREAK ? "kalp: interrupted (Ctrl-Break); "
        : sig == SIGTERM  ? "kalp: the console was closed; "
                          : "kalp: ended; ");
    say(aftermath);
    say("\n");
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(sig > 0 ? signalstatus(sig) : 1));
    for (;;) Sleep(INFINITE);
}

bool isterminal(std::FILE* stream) {
    // Only a console: _isatty is true for the NUL device as well.
    const int fd = _fileno(stream);
    if (fd < 0) return false;
    // The C library hands the handle over as an integer.
    const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));  // NOLINT(performance-no-int-to-ptr)
    DWORD mode = 0;
    return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode);
}

void binarystreams() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

namespace {

// The bytes of an unfinished UTF-8 sequence at the end of the last text
// written on the console through standard output [0] or error [1].
struct Pending {
    char bytes[4];
    int count = 0;
};
Pending pending[2];

// Whether `text` ends within a UTF-8 sequence: the number of its last bytes
// that begin one and need more.
int unfinished(std::string_view text) {
    const int most = static_cast<int>(std::min<std::size_t>(text.size(), 3));
    for (int back = 1; back <= most; ++back) {
        const auto c = static_cast<unsigned char>(text[text.size() - static_cast<std::size_t>(back)]);
        if ((c & 0xC0) == 0x80) continue; // a continuation byte
        const int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return length > back ? back : 0;
    }
    return 0;
}

// A console window shows the text by its letters: UTF-16 through
// WriteConsoleW, whatever the console's code page (a byte that is no UTF-8
// shows as a replacement character).
bool toconsole(HANDLE h, Pending& p, std::string_view text) {
    std::vector<char> whole(p.bytes, p.bytes + p.count);
    whole.insert(whole.end(), text.begin(), text.end());
    const int keep = unfinished(std::string_view(whole.data(), whole.size()));
    p.count = keep;
    std::copy(whole.end() - keep, whole.end(), p.bytes);
    whole.resize(whole.size() - static_cast<std::size_t>(keep));
    if (whole.empty()) return true;
    const int size = static_cast<int>(std::min<std::size_t>(whole.size(), 0x3fffffff));
    const int n = MultiByteToWideChar(CP_UTF8, 0, whole.data(), size, nullptr, 0);
    if (n <= 0) return false;
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, whole.data(), size, wide.data(), n);
    for (std::size_t at = 0; at < wide.size();) {
        DWORD done = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - at, 8192));
        if (!WriteConsoleW(h, wide.data() + at, chunk, &done, nullptr) || done == 0) return false;
        at += done;
    }
    return true;
}

} // namespace

bool writestream(std::FILE* stream, std::string_view text) {
    const int slot = stream == stdout ? 0 : stream == stderr ? 1 : -1;
    if (slot >= 0 && isterminal(stream)) {
        std::fflush(stream);
        const HANDLE h = GetStdHandle(slot == 0 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
        return toconsole(h, pending[slot], text);
    }
    bool ok = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
    // The C library of Windows buffers a line-buffered stream fully: each
    // line reaches a pipe or a file as it ends, as on POSIX.
    if (text.find('\n') != std::string_view::npos) ok = std::fflush(stream) == 0 && ok;
    return ok;
}

bool consoleofitsown() {
    DWORD mode = 0;
    if (!GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode)) return false;
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

void waitforenter(std::string_view text) {
    writestream(stdout, text);
    std::fflush(stdout);
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    FlushConsoleInputBuffer(in);
    wchar_t keys[256];
    DWORD got = 0;
    while (ReadConsoleW(in, keys, 256, &got, nullptr) && got > 0)
        if (std::find(keys, keys + got, L'\r') != keys + got || std::find(keys, keys + got, L'\n') != keys + got)
            return;
}

} // namespace kalp::platform
