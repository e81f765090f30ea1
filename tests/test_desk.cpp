// kalp.exe as a Windows desk meets it: its manifest and version information
// in Explorer, a double-click that keeps the window open for the report.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <string>
#include <vector>

#include "workdir.h"

using namespace kalp::test;

namespace {

#ifdef _WIN32
// A resource of kalp.exe as text.
std::string resource(HMODULE exe, LPCWSTR type, LPCWSTR name) {
    const HRSRC r = FindResourceW(exe, name, type);
    if (!r) return "";
    const HGLOBAL data = LoadResource(exe, r);
    return std::string(static_cast<const char*>(LockResource(data)), SizeofResource(exe, r));
}

// A text of the version information, as Explorer shows it.
std::wstring version(const std::vector<char>& info, const wchar_t* key) {
    void* value = nullptr;
    UINT size = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + key;
    if (!VerQueryValueW(info.data(), path.c_str(), &value, &size) || size == 0) return L"";
    return std::wstring(static_cast<const wchar_t*>(value), size - 1);
}
#endif

} // namespace

TEST(Desk, ManifestAndVersionOfKalpExe) {
#ifndef _WIN32
    GTEST_SKIP() << "the resources of kalp.exe";
#else
    const std::wstring exe = native(kalpbinary()).wstring();
    const HMODULE m = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_TRUE(m);
    const std::string manifest = resource(m, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));
    FreeLibrary(m);
    for (const char* says : {"<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">true",
                             "<activeCodePage xmlns=\"http://schemas.microsoft.com/SMI/2019/WindowsSettings\">UTF-8",
                             "level=\"asInvoker\"", "version=\"" KALP_VERSION ".0\""})
        EXPECT_NE(manifest.find(says), std::string::npos) << says << "\n" << manifest;
    DWORD ignored = 0;
    std::vector<char> info(GetFileVersionInfoSizeW(exe.c_str(), &ignored));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    const std::string v = KALP_VERSION;
    EXPECT_EQ(version(info, L"ProductVersion"), std::wstring(v.begin(), v.end()));
    EXPECT_EQ(version(info, L"FileVersion"), std::wstring(v.begin(), v.end()));
    EXPECT_EQ(version(info, L"ProductName"), L"KALP");
    EXPECT_EQ(version(info, L"OriginalFilename"), L"kalp.exe");
#endif
}

// Started with a console of its own, as Explorer starts it, kalp.exe waits
// for Enter after its report; started any other way (a command prompt, a
// script, redirected input: every other test) it never waits.
TEST(Desk, ADoubleClickKeepsTheWindowForTheReport) {
#ifndef _WIN32
    GTEST_SKIP() << "a console window of Windows";
#else
    if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))
        GTEST_SKIP() << "Wine's console without a display has no console mode, which tells a console "
                        "window apart: kalp.exe never waits there";
    Diskdir w;
    copyexample(w, "one-system");
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring line = L"\"" + native(kalpbinary()).wstring() + L"\"";
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr,
                               native(w.path()).wstring().c_str(), &si, &pi));
    CloseHandle(pi.hThread);
    // The run ends within a second or two; the window then waits.
    for (int i = 0; i < 100 && !w.exists("resgfps01"); ++i)
        Sleep(50);
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 2000), static_cast<DWORD>(WAIT_TIMEOUT));
    // Enter, typed into its window.
    FreeConsole();
    ASSERT_TRUE(AttachConsole(pi.dwProcessId));
    const HANDLE in = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
    INPUT_RECORD keys[2]{};
    for (int i = 0; i < 2; ++i) {
        keys[i].EventType = KEY_EVENT;
        keys[i].Event.KeyEvent.bKeyDown = i == 0;
        keys[i].Event.KeyEvent.wRepeatCount = 1;
        keys[i].Event.KeyEvent.wVirtualKeyCode = VK_RETURN;
        keys[i].Event.KeyEvent.uChar.UnicodeChar = L'\r';
    }
    DWORD written = 0;
    EXPECT_TRUE(WriteConsoleInputW(in, keys, 2, &written));
    CloseHandle(in);
    FreeConsole();
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD status = 99;
    GetExitCodeProcess(pi.hProcess, &status);
    EXPECT_EQ(status, 0u);
    CloseHandle(pi.hProcess);
#endif
}

// kalp /? asks for the help, as Windows programs are asked, on every system
// and after a subcommand too.
TEST(Desk, SlashQuestionMarkShowsTheHelp) {
    for (const char* sub : {"", "serve ", "init "}) {
        Workdir w;
        const Outcome asked = w.run(std::string(sub) + "/?");
        const Outcome help = w.run(std::string(sub) + "--help");
        EXPECT_EQ(asked.status, 0) << sub;
        EXPECT_EQ(asked.output, help.output) << sub;
        EXPECT_NE(asked.output.find("Usage: kalp"), std::string::npos) << asked.output;
        EXPECT_TRUE(w.files().empty()) << sub;
    }
}
