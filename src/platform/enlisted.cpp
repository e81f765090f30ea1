// The temporary files that a signal or a console event removes: the same
// list on every platform, with the removal itself left to each one's unit.
#include <atomic>
#include <cstring>

#include "platform/enlisted.h"
#include "platform/platform.h"

namespace kalp::platform {

namespace {

// A slot is in use while its flag is set; its path is written after the
// flag is taken, the first byte last, so that a handler that runs at any
// moment (on POSIX on the same thread, on Windows on a thread of its own)
// sees either an empty path or a whole one.
constexpr int slots = 64;
constexpr std::size_t pathsize = 4096;
char paths[slots][pathsize];
std::atomic<bool> used[slots];

} // namespace

int enlist(const std::string& path) {
    if (path.empty() || path.size() >= pathsize) return -1;
    for (int i = 0; i < slots; ++i) {
        bool expected = false;
        if (used[i].load() || !used[i].compare_exchange_strong(expected, true)) continue;
        std::memcpy(paths[i] + 1, path.c_str() + 1, path.size());
        std::atomic_thread_fence(std::memory_order_release);
        paths[i][0] = path[0];
        return i;
    }
    return -1;
}

void delist(int slot) {
    if (slot < 0 || slot >= slots) return;
    paths[slot][0] = '\0';
    std::atomic_thread_fence(std::memory_order_release);
    used[slot].store(false);
}

void removeenlisted() {
    for (int i = 0; i < slots; ++i) {
        if (!used[i].load() || paths[i][0] == '\0') continue;
        std::atomic_thread_fence(std::memory_order_acquire);
        removequietly(paths[i]);
    }
}

} // namespace kalp::platform
