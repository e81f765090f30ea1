// The platform units alone: files, folders and their lock.
#include "platformtest.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace kalp::platform;
using namespace platformtest;

namespace {

TEST(PlatformText, ErrorsReadAsOnLinux) {
    const struct {
        int error;
        const char* text;
    } rows[] = {
        {ENOENT, "No such file or directory"}, {EACCES, "Permission denied"},
        {EISDIR, "Is a directory"},            {EEXIST, "File exists"},
        {ENOSPC, "No space left on device"},   {ENOTDIR, "Not a directory"},
        {EROFS, "Read-only file system"},      {EILSEQ, "Invalid or incomplete multibyte or wide character"},
        {notplain, "Not a plain file"},         {heldopen, "Open in another program"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(errortext(r.error), r.text) << r.error;
}

// Names that Windows takes for another folder or for none, part by part;
// POSIX takes every one of them as it is.
TEST(PlatformText, NamesThatWindowsTakesForOthers) {
    using F = NameFault;
    const struct {
        const char* path;
        F::Kind kind;
        const char* part;
    } rows[] = {
        {"flock", F::none, ""},
        {"C:\\sheep\\flock 2\\", F::none, ""},
        {"../flock/./x", F::none, ""},
        {"\\\\?\\C:\\sheep", F::none, ""},
        {"CONSOLE", F::none, ""},
        {"COM0", F::none, ""},
        {"LPT10", F::none, ""},
        {"CON", F::device, "CON"},
        {"sheep/nul", F::device, "nul"},
        {"C:\\x\\Aux.txt\\y", F::device, "Aux.txt"},
        {"com1", F::device, "com1"},
        {"LPT9.csv", F::device, "LPT9.csv"},
        {"PRN .log", F::device, "PRN .log"},
        {"\\\\?\\C:\\CON", F::device, "CON"},
        {"flock.", F::trailing, "flock."},
        {"flock ", F::trailing, "flock "},
        {"a/b./c", F::trailing, "b."},
        {"C:\\flock\"", F::quote, "C:\\flock\""},
    };
    for (const auto& r : rows) {
        const NameFault f = namefault(r.path);
#ifdef _WIN32
        EXPECT_EQ(f.kind, r.kind) << r.path;
        EXPECT_EQ(f.part, r.part) << r.path;
#else
        EXPECT_EQ(f.kind, F::none) << r.path;
#endif
    }
#ifdef _WIN32
    EXPECT_EQ(joinpath("\\\\?\\C:\\x", "y"), "\\\\?\\C:\\x\\y");
    EXPECT_EQ(joinpath("\\\\?\\C:\\", "y"), "\\\\?\\C:\\y");
#endif
    EXPECT_EQ(joinpath("C:/x", "y"), "C:/x/y");
}

TEST_F(Platform, KindsOfWhatStandsAtAPath) {
    spit(at("plain"), "x");
    EXPECT_EQ(kindof(at("plain")), Kind::file);
    EXPECT_EQ(kindof(scratch), Kind::folder);
    EXPECT_EQ(kindof(at("missing")), Kind::missing);
    EXPECT_EQ(kindof(device), Kind::other);
    EXPECT_TRUE(writable(at("plain")));
    EXPECT_TRUE(writable(scratch));
    EXPECT_FALSE(writable(at("missing")));
    // A file that nobody may write is write-protected, for the superuser
    // too.
    spit(at("protected"), "x");
    const auto write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    fs::permissions(native(at("protected")), write, fs::perm_options::remove);
    EXPECT_FALSE(writable(at("protected")));
    fs::permissions(native(at("protected")), fs::perms::owner_write, fs::perm_options::add);
    // The absolute path of a relative one, and of a path with a detour.
    EXPECT_EQ(fullpath(at("plain")), fullpath(scratch + "/./plain"));
    EXPECT_EQ(fullpath(at("missing")), at("missing"));
}

TEST_F(Platform, LinksAreSeenAndFollowed) {
    spit(at("target"), "x");
#ifdef _WIN32
    CreateSymbolicLinkW(native(at("link")).c_str(), L"target", SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
#else
    ASSERT_EQ(symlink("target", at("link").c_str()), 0);
#endif
    // Wine 8 reports a link made and makes none; Windows makes one only in
    // developer mode or for an administrator.
    if (kindof(at("link")) == Kind::missing) GTEST_SKIP() << "this system made no symbolic link";
    EXPECT_EQ(kindof(at("link")), Kind::link);
    EXPECT_EQ(fullpath(linktarget(at("link"))), fullpath(at("target")));
    EXPECT_EQ(linktarget(at("target")), at("target"));
    std::string text;
    int error = 0;
    EXPECT_TRUE(readfile(at("link"), text, error));
    EXPECT_EQ(text, "x");
    EXPECT_TRUE(removefile(at("link")));
    EXPECT_EQ(kindof(at("link")), Kind::missing);
    EXPECT_EQ(kindof(at("target")), Kind::file);
}

TEST_F(Platform, ReadsPlainFilesWholeAndRefusesTheRest) {
    spit(at("text"), awkward);
    std::string big(300000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7 % 251);
    spit(at("big"), big);
    const struct {
        std::string path;
        bool ok;
        int error;
        std::string bytes;
    } rows[] = {
        {at("text"), true, 0, awkward},
        {at("big"), true, 0, big},
        {at("missing"), false, ENOENT, ""},
        {at("missing/folder/file"), false, ENOENT, ""},
        {scratch, false, EISDIR, ""},
        {device, false, notplain, ""},
    };
    for (const auto& r : rows) {
        std::string text = "stale";
        int error = 0;
        EXPECT_EQ(readfile(r.path, text, error), r.ok) << r.path;
        if (r.ok)
            EXPECT_TRUE(text == r.bytes) << r.path;
        else
            EXPECT_EQ(error, r.error) << r.path;
    }
    int error = 0;
    const auto reader = openreader(at("big"), error);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->size(), 300000);
    char piece[5];
    EXPECT_EQ(reader->readat(299998, piece, sizeof piece), 2);
    EXPECT_EQ(std::string(piece, 2), big.substr(299998));
}

// A reader must not wait for a writer that never comes.
TEST_F(Platform, APipeIsRefusedWithoutWaiting) {
#ifdef _WIN32
    const std::string pipe = "\\\\.\\pipe\\kalp-platform-" + std::to_string(GetCurrentProcessId());
    const HANDLE server = CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096,
                                           4096, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
#else
    const std::string pipe = at("fifo");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
#endif
    std::string text;
    int error = 0;
    EXPECT_FALSE(readfile(pipe, text, error));
    EXPECT_EQ(error, notplain);
#ifdef _WIN32
    CloseHandle(server);
#endif
}

TEST_F(Platform, WritesNewFilesOnly) {
    int error = 0;
    auto w = createfile(at("out"), "", error);
    ASSERT_TRUE(w);
    // Pieces of every size around the buffer's, and one far beyond it.
    std::string expected;
    for (std::size_t n = 1; expected.size() < 200000; n = n * 3 % 70001 + 1) {
        const std::string piece(n, static_cast<char>('a' + n % 26));
        ASSERT_TRUE(w->write(piece.data(), piece.size()));
        expected += piece;
    }
    ASSERT_TRUE(w->write(awkward.data(), awkward.size()));
    expected += awkward;
    EXPECT_TRUE(w->finish());
    EXPECT_TRUE(slurp(at("out")) == expected);

    spit(at("there"), "old");
    fs::create_directory(native(at("folder")));
    const struct {
        std::string path;
        int error;
    } refused[] = {{at("there"), EEXIST}, {at("folder"), EEXIST}, {at("missing/out"), ENOENT}};
    for (const auto& r : refused) {
        error = 0;
        EXPECT_FALSE(createfile(r.path, "", error)) << r.path;
        EXPECT_EQ(error, r.error) << r.path;
    }
    EXPECT_EQ(slurp(at("there")), "old");
}

TEST_F(Platform, ReplacesAndRemoves) {
    spit(at("new"), "new");
    spit(at("old"), "old");
    int error = 0;
    EXPECT_TRUE(replacefile(at("new"), at("old"), error));
    EXPECT_EQ(slurp(at("old")), "new");
    EXPECT_EQ(kindof(at("new")), Kind::missing);
    EXPECT_FALSE(replacefile(at("new"), at("old"), error));
    EXPECT_EQ(error, ENOENT);
    fs::create_directory(native(at("folder")));
    spit(at("new"), "new");
    EXPECT_FALSE(replacefile(at("new"), at("folder"), error));
    EXPECT_EQ(error, EISDIR);

    EXPECT_TRUE(removefile(at("old")));
    EXPECT_EQ(kindof(at("old")), Kind::missing);
    EXPECT_TRUE(removefile(at("old")));
    EXPECT_FALSE(removefile(at("folder")));
    EXPECT_EQ(kindof(at("folder")), Kind::folder);

    EXPECT_TRUE(makefolder(at("made"), error));
    EXPECT_TRUE(makefolder(at("made"), error));
    EXPECT_FALSE(makefolder(at("new"), error));
    EXPECT_EQ(error, EEXIST);
    EXPECT_FALSE(makefolder(at("missing/made"), error));
    EXPECT_EQ(error, ENOENT);
}

// Windows refuses to replace a file that another program holds open
// without sharing its deletion; POSIX never does.
TEST_F(Platform, ReplacesAFileHeldOpenForAMoment) {
    spit(at("held"), "old");
    spit(at("new"), "new");
    std::FILE* held = std::fopen(at("held").c_str(), "rb");
    ASSERT_TRUE(held);
    std::thread letgo([held] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        std::fclose(held);
    });
    int error = 0;
    EXPECT_TRUE(replacefile(at("new"), at("held"), error)) << errortext(error);
    letgo.join();
    EXPECT_EQ(slurp(at("held")), "new");

    spit(at("new"), "newer");
    held = std::fopen(at("held").c_str(), "rb");
    ASSERT_TRUE(held);
    const auto start = std::chrono::steady_clock::now();
    const bool replaced = replacefile(at("new"), at("held"), error);
    const auto waited = std::chrono::steady_clock::now() - start;
    std::fclose(held);
#ifdef _WIN32
    EXPECT_FALSE(replaced);
    EXPECT_EQ(error, heldopen);
    EXPECT_GE(waited, std::chrono::milliseconds(1400));
    EXPECT_LT(waited, std::chrono::seconds(5));
    EXPECT_EQ(slurp(at("held")), "new");
#else
    EXPECT_TRUE(replaced);
    EXPECT_LT(waited, std::chrono::milliseconds(500));
#endif
}

TEST_F(Platform, OneLockPerFolder) {
    Locked result{};
    int error = 0;
    const std::string file = at(".lock");
    auto first = lockfolder(scratch, file, result, error);
    ASSERT_EQ(result, Locked::taken) << errortext(error);
    // The lock is a file in the folder, which a run on another machine
    // meets as well.
    EXPECT_EQ(kindof(file), Kind::file);
    // Again, by the same path and by another spelling of it.
    EXPECT_FALSE(lockfolder(scratch, file, result, error));
    EXPECT_EQ(result, Locked::held);
    EXPECT_FALSE(lockfolder(scratch + "/.", scratch + "/./.lock", result, error));
    EXPECT_EQ(result, Locked::held);
    // Another folder has a lock of its own.
    fs::create_directory(native(at("other")));
    Locked other{};
    EXPECT_TRUE(lockfolder(at("other"), at("other/.lock"), other, error));
    EXPECT_EQ(other, Locked::taken);
    first.reset();
    EXPECT_EQ(kindof(file), Kind::missing) << "the lock left its file";
    EXPECT_TRUE(lockfolder(scratch, file, result, error));
    EXPECT_EQ(result, Locked::taken);

    EXPECT_FALSE(lockfolder(at("missing"), at("missing/.lock"), result, error));
    EXPECT_EQ(result, Locked::failed);
    EXPECT_EQ(error, ENOENT);
}

// A file left by a run that was killed is taken over; where no file can
// be made (POSIX: a folder that may not be written, here a folder in the
// way), the lock of the folder itself serves alone.
TEST_F(Platform, ALockTakesOverALeftFile) {
    spit(at(".lock"), "left");
    Locked result{};
    int error = 0;
    auto lock = lockfolder(scratch, at(".lock"), result, error);
    ASSERT_EQ(result, Locked::taken) << errortext(error);
    lock.reset();
    EXPECT_EQ(kindof(at(".lock")), Kind::missing);
#ifndef _WIN32
    fs::create_directory(native(at(".lock")));
    lock = lockfolder(scratch, at(".lock"), result, error);
    EXPECT_EQ(result, Locked::taken) << errortext(error);
    Locked again{};
    EXPECT_FALSE(lockfolder(scratch, at(".lock"), again, error));
    EXPECT_EQ(again, Locked::held);
    lock.reset();
    EXPECT_EQ(kindof(at(".lock")), Kind::folder);
#endif
}

// What may keep a file from being replaced: the read-only mark or no write
// permission (everywhere), another program that holds it open without
// sharing its removal (Windows, as a spreadsheet holds its file). A second
// name of a file keeps it when the first is replaced.
TEST_F(Platform, WhatKeepsAFileFromBeingReplaced) {
    spit(at("free"), "x");
    spit(at("protected"), "x");
    spit(at("held"), "x");
    fs::permissions(native(at("protected")),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    std::string out;
    std::thread holder([&] { child("--hold-file \"" + at("held") + "\" \"" + scratch + "\"", out); });
    for (int i = 0; i < 3000 && kindof(at("ready")) == Kind::missing; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(slurp(at("ready")), "holding");
#ifdef _WIN32
    const int held = heldopen;
#else
    const int held = 0;
#endif
    const struct {
        const char* name;
        int error;
    } rows[] = {{"free", 0}, {"missing", 0}, {"protected", EACCES}, {"held", held}};
    for (const auto& r : rows)
        EXPECT_EQ(replaceable(at(r.name)), r.error) << r.name;
    int error = 0;
    spit(at("new"), "new");
    EXPECT_EQ(replacefile(at("new"), at("held"), error), held == 0) << errortext(error);
    spit(at("release"), "");
    holder.join();
    EXPECT_EQ(replaceable(at("held")), 0);
    fs::permissions(native(at("protected")), fs::perms::owner_write, fs::perm_options::add);

    spit(at("old"), "old");
    spit(at("new"), "new");
    ASSERT_TRUE(linkfile(at("old"), at("kept"), error)) << errortext(error);
    ASSERT_TRUE(replacefile(at("new"), at("old"), error)) << errortext(error);
    EXPECT_EQ(slurp(at("old")), "new");
    EXPECT_EQ(slurp(at("kept")), "old");
    EXPECT_FALSE(linkfile(at("missing"), at("other"), error));
    EXPECT_EQ(error, ENOENT);
}

TEST_F(Platform, ALockHeldByAnotherProcessGoesWithIt) {
    // The holder locks `locked`, writes its result to `ready`, and ends
    // without letting go once `release` exists.
    const std::string locked = at("locked");
    fs::create_directory(native(locked));
    std::string out;
    std::thread holder([&] { child("--hold-lock \"" + locked + "\" \"" + scratch + "\"", out); });
    for (int i = 0; i < 3000 && kindof(at("ready")) == Kind::missing; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(slurp(at("ready")), "taken");
    Locked result{};
    int error = 0;
    EXPECT_FALSE(lockfolder(locked, locked + "/.lock", result, error));
    EXPECT_EQ(result, Locked::held);
    spit(at("release"), "");
    holder.join();
    EXPECT_TRUE(lockfolder(locked, locked + "/.lock", result, error));
    EXPECT_EQ(result, Locked::taken);
}

TEST_F(Platform, NamesWithLettersBeyondAscii) {
    const std::string folder = at("M\xC3\xBChle \xC3\x86r\xC3\xB8 \xC5\x9D \xE7\xBE\x8A");  // Mühle Ærø ŝ 羊
    const std::string file = folder + "/L\xC3\xA4ufer-\xC3\xA9.txt";                       // Läufer-é.txt
    int error = 0;
    ASSERT_TRUE(makefolder(folder, error)) << errortext(error);
    EXPECT_TRUE(fs::is_directory(native(folder)));
    auto w = createfile(folder + "/tmp", "", error);
    ASSERT_TRUE(w);
    ASSERT_TRUE(w->write(awkward.data(), awkward.size()));
    ASSERT_TRUE(w->finish());
    ASSERT_TRUE(replacefile(folder + "/tmp", file, error)) << errortext(error);
    EXPECT_TRUE(fs::is_regular_file(native(file)));
    std::string text;
    EXPECT_TRUE(readfile(file, text, error));
    EXPECT_TRUE(text == awkward);
    EXPECT_EQ(kindof(file), Kind::file);
    // The same bytes come back, with Windows' separator on Windows.
    std::string full = fullpath(file);
    std::replace(full.begin(), full.end(), '\\', '/');
    const std::string tail = "/M\xC3\xBChle \xC3\x86r\xC3\xB8 \xC5\x9D \xE7\xBE\x8A/L\xC3\xA4ufer-\xC3\xA9.txt";
    ASSERT_GT(full.size(), tail.size()) << full;
    EXPECT_EQ(full.substr(full.size() - tail.size()), tail);
    Locked result{};
    EXPECT_TRUE(lockfolder(folder, folder + "/.lock", result, error));
    EXPECT_TRUE(removefile(file));
    EXPECT_FALSE(fs::exists(native(file)));
#ifdef _WIN32
    // Text that is no UTF-8 names nothing on Windows.
    EXPECT_FALSE(readfile(scratch + "/\xFF", text, error));
    EXPECT_EQ(error, EILSEQ);
#endif
}

} // namespace
