// Test helper: installs the crash hand-off with the dumper given as argv[1],
// then crashes the way argv[2] says:
//   segv, abort, trap       on the main thread
//   heap                    a double free while other threads idle: the
//                           allocator aborts with its arena lock held
//   thread-overflow         unbounded recursion in a worker thread
//   wait                    prints "ready" and waits to be sent a signal
// argv[3], when given, is how many seconds the hand-off may take.

#include "app/crashhandoff.h"
#include "sysutil/signalstack.h"

#include <QString>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::mutex g_idleMutex;
std::condition_variable g_idle;

void idleForever()
{
    sysutil::ensureAlternateSignalStack();
    std::unique_lock<std::mutex> lock(g_idleMutex);
    g_idle.wait(lock, [] { return false; });
}

// Opaque to the optimiser, so the double free stays in the program.
void* volatile g_block = nullptr;

[[noreturn]] void doubleFree()
{
    std::vector<std::thread> idlers;
    for (int i = 0; i < 3; ++i) {
        idlers.emplace_back(idleForever);
        idlers.back().detach();
    }
    // Larger than the per-thread caches hold, so the second free is caught
    // inside the shared arena, under its lock.
    g_block = std::malloc(64 * 1024);
    void* keepApart = std::malloc(64);  // the block must not merge into the top chunk
    std::free(g_block);
    std::free(g_block);
    std::free(keepApart);
    std::_Exit(3);
}

int g_depth = 0;

int recurse(int n)
{
    volatile char frame[512];
    frame[0] = char(n);
    ++g_depth;
    return recurse(n + 1) + frame[0];
}

[[noreturn]] void overflowInAThread()
{
    std::thread worker([] {
        sysutil::ensureAlternateSignalStack();
        recurse(0);
    });
    worker.join();
    std::_Exit(3);
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc < 3)
        return 2;
    const unsigned seconds = argc > 3 ? unsigned(std::atoi(argv[3])) : app::kDefaultHandoffSeconds;
    app::installCrashHandoff(QString::fromLocal8Bit(argv[1]), seconds);
    const char* how = argv[2];
    if (std::strcmp(how, "abort") == 0)
        std::abort();
    if (std::strcmp(how, "trap") == 0) {
#if defined(__x86_64__) || defined(__i386__)
        __asm__ volatile("int3");
#elif defined(__aarch64__)
        __asm__ volatile("brk #0");
#else
        raise(SIGTRAP);
#endif
    }
    if (std::strcmp(how, "heap") == 0)
        doubleFree();
    if (std::strcmp(how, "thread-overflow") == 0)
        overflowInAThread();
    if (std::strcmp(how, "wait") == 0) {
        std::puts("ready");
        std::fflush(stdout);
        for (;;)
            pause();
    }
    volatile int* nowhere = reinterpret_cast<volatile int*>(std::uintptr_t(0x10));
    *nowhere = 1;
    return 0;
}
