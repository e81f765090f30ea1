// What the tests of the platform units share, their main, and the program
// as its own helper process.
#include "platformtest.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <sys/wait.h>
#endif

using namespace kalp::platform;

namespace platformtest {

fs::path native(const std::string& utf8) { return fs::path(reinterpret_cast<const char8_t*>(utf8.c_str())); }

std::string utf8(const fs::path& p) {
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

void spit(const std::string& path, const std::string& bytes) {
    std::ofstream(native(path), std::ios::binary) << bytes;
}

std::string slurp(const std::string& path) {
    std::ifstream in(native(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Bytes that a text mode would change: line ends, a Ctrl-Z, a zero byte

const std::string awkward("a\nb\r\nc\x1a" "d\0e\xff\n", 12);

int child(const std::string& args, std::string& out, bool both) {
#ifdef _WIN32
    // cmd.exe /c drops the outermost quotes.
    const std::string command = "\"\"" + programpath() + "\" " + args + (both ? " 2>&1\"" : "\"");
    std::FILE* p = _popen(command.c_str(), "rb");
#else
    const std::string command = "'" + programpath() + "' " + args + (both ? " 2>&1" : "");
    std::FILE* p = popen(command.c_str(), "r");
#endif
    if (!p) return -1;
    out.clear();
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
        out.append(buf, n);
#ifdef _WIN32
    return _pclose(p);
#else
    const int status = pclose(p);
    // A shell that did not hand over to the program reports a killed
    // program as 128 + its signal.
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
#endif
}

int helper(int argc, char** argv) {
    const std::string what = argv[1];
    if (what == "--hold-lock" && argc == 4) {
        Locked result{};
        int error = 0;
        const auto lock = lockfolder(argv[2], std::string(argv[2]) + "/.lock", result, error);
        const std::string signals = argv[3];
        spit(signals + "/ready.tmp", result == Locked::taken  ? "taken"
                                     : result == Locked::held ? "held"
                                                              : "failed");
        fs::rename(native(signals + "/ready.tmp"), native(signals + "/ready"));
        for (int i = 0; i < 3000 && kindof(signals + "/release") == Kind::missing; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::_Exit(0);  // without letting go of the lock
    }
    if (what == "--hold-file" && argc == 4) {
        // As a spreadsheet holds the file it shows: others may read it, but
        // not write, replace or remove it (on Windows; POSIX knows no such
        // hold).
#ifdef _WIN32
        const HANDLE h = CreateFileW(native(argv[2]).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        const bool holding = h != INVALID_HANDLE_VALUE;
#else
        std::FILE* f = std::fopen(argv[2], "rb");
        const bool holding = f != nullptr;
#endif
        const std::string signals = argv[3];
        spit(signals + "/ready.tmp", holding ? "holding" : "failed");
        fs::rename(native(signals + "/ready.tmp"), native(signals + "/ready"));
        for (int i = 0; i < 3000 && kindof(signals + "/release") == Kind::missing; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
#ifdef _WIN32
        if (holding) CloseHandle(h);
#else
        if (holding) std::fclose(f);
#endif
        return 0;
    }
    if (what == "--interrupt" && argc == 3) {
        handlesignals();
        int error = 0;
        enlist(argv[2]);
        const auto w = createfile(argv[2], "", error);
        if (!w || !w->write("x", 1) || !w->flush()) return 2;
#ifdef _WIN32
        // A console of its own, so that the event reaches no one else; the
        // standard handles stay the pipe to the test.
        const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
        // The console's host, which outlives this process by seconds, must
        // not hold the pipe open.
        SetHandleInformation(err, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(GetStdHandle(STD_OUTPUT_HANDLE), HANDLE_FLAG_INHERIT, 0);
        FreeConsole();
        const bool console = AllocConsole();
        SetStdHandle(STD_ERROR_HANDLE, err);
        if (!console || !SetConsoleCtrlHandler(nullptr, FALSE) || !GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) {
            std::fputs("no console for a Ctrl-C event", stderr);
            return 0;
        }
        Sleep(10000);
#else
        // The test's own process may hold the signal for a server.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        std::raise(SIGINT);
#endif
        return 3;
    }
    if (what == "--print-bytes") {
        binarystreams();
        std::fwrite(awkward.data(), 1, awkward.size(), stdout);
        return 0;
    }
    return 2;
}

} // namespace platformtest

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]).rfind("--", 0) == 0 && std::string(argv[1]).rfind("--gtest", 0) != 0)
        return platformtest::helper(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

