#include "app/crashhandoff.h"

#include "sysutil/signalstack.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace app {

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP};

// Filled at start-up; the handler only reads them. Nothing in the handler may
// allocate or take a lock: the heap may be what is broken, and another thread
// may hold any lock of the C library.
char g_dumperPath[4096];
char g_pidText[24];
pid_t g_pid = 0;
unsigned g_handoffSeconds = kDefaultHandoffSeconds;
alignas(16) char g_mainAlternateStack[sysutil::kAlternateSignalStackBytes];
// The dumper starts on this stack, sharing our memory until it has exec'd.
alignas(16) char g_spawnStack[64 * 1024];

// The thread that is handing the crash off; 0 while none is.
std::atomic<long> g_handlingThread{0};
std::atomic<int> g_crashSignal{0};

struct SpawnArguments {
    char* argv[5];
};
SpawnArguments g_spawn;

// Decimal or hexadecimal text without the C library (snprintf is not
// async-signal-safe).
void formatUnsigned(std::uintptr_t value, unsigned base, char* out, std::size_t size, const char* prefix = "")
{
    char digits[32];
    std::size_t n = 0;
    do {
        const unsigned d = unsigned(value % base);
        digits[n++] = char(d < 10 ? '0' + d : 'a' + d - 10);
        value /= base;
    } while (value && n < sizeof digits);
    std::size_t pos = 0;
    for (; *prefix && pos + 1 < size; ++prefix)
        out[pos++] = *prefix;
    while (n && pos + 1 < size)
        out[pos++] = digits[--n];
    out[pos] = '\0';
}

// Appends text to a fixed line buffer, cutting what does not fit.
struct LineBuffer {
    char text[256];
    std::size_t size = 0;

    LineBuffer& operator<<(const char* part)
    {
        while (*part && size + 1 < sizeof text)
            text[size++] = *part++;
        text[size] = '\0';
        return *this;
    }
    LineBuffer& number(std::uintptr_t value, unsigned base = 10)
    {
        char digits[24];
        formatUnsigned(value, base, digits, sizeof digits, base == 16 ? "0x" : "");
        return *this << digits;
    }
};

const char* signalName(int signo)
{
    switch (signo) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    case SIGABRT: return "SIGABRT";
    case SIGTRAP: return "SIGTRAP";
    default: return "signal";
    }
}

// A signal that did not come from a fault (si_code <= 0: kill(), tgkill(),
// sigqueue(), abort() and raise() among them) has no fault address: si_addr
// shares its storage with si_pid and would show the sender's process id.
bool isFault(const siginfo_t* info)
{
    return info && info->si_code > 0;
}

// Only these carry the sender's process and user id.
bool sentByAProcess(const siginfo_t* info)
{
    return info && (info->si_code == SI_USER || info->si_code == SI_TKILL || info->si_code == SI_QUEUE);
}

void unblock(int signo)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signo);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

void setDisposition(int signo, void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(signo, &action, nullptr);
}

// Ends the process with the signal that crashed it, whatever thread runs this.
[[noreturn]] void dieOf(int signo)
{
    setDisposition(signo, SIG_DFL);
    // In its own handler the signal is blocked: raised, it stays pending until
    // unblocked and then its default action ends the process, whether it came
    // from a fault, a kill or abort().
    raise(signo);
    unblock(signo);
    raise(SIGKILL);
    _exit(128 + signo);
}

// The dumper did not end in time (hung, or stopped by a debugger that went
// away): end the process anyway.
void onHandoffTimeout(int)
{
    static const char message[] = "korvane: the crash report did not finish in time\n";
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, message, sizeof message - 1);
    const int signo = g_crashSignal.load();
    dieOf(signo ? signo : SIGABRT);
}

int startDumperInChild(void*)
{
    // We share the crashing process's memory until execve: only system calls
    // here. The handler's blocked signals would otherwise reach the dumper.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execve(g_spawn.argv[0], g_spawn.argv, environ);
    _exit(127);
}

// fork() would run the C library's fork handlers, which take the allocator's
// locks: with a corrupted heap (or another thread inside malloc) it never
// returns. clone() with CLONE_VM | CLONE_VFORK copies nothing and runs no
// handlers; we are suspended until the dumper has exec'd or failed to.
pid_t spawnDumper()
{
    char* stackTop = g_spawnStack + sizeof g_spawnStack;
    return clone(startDumperInChild, stackTop, CLONE_VM | CLONE_VFORK | SIGCHLD, nullptr);
}

void reportSignal(int signo, const siginfo_t* info, long thread, std::uintptr_t address)
{
    LineBuffer line;
    line << "korvane: fatal " << signalName(signo) << " (";
    line.number(std::uintptr_t(signo)) << ") in thread ";
    line.number(std::uintptr_t(thread));
    if (sentByAProcess(info) && pid_t(info->si_pid) == g_pid) {
        line << ", raised by this process (abort or raise)";
    } else if (sentByAProcess(info)) {
        line << ", sent by process ";
        line.number(std::uintptr_t(info->si_pid)) << " (user ";
        line.number(std::uintptr_t(info->si_uid)) << ")";
    } else if (isFault(info)) {
        line << ", address ";
        line.number(address, 16);
    }
    line << "\n";
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, line.text, line.size);
}

void onFatalSignal(int signo, siginfo_t* info, void*)
{
    const long thread = syscall(SYS_gettid);
    long expected = 0;
    if (!g_handlingThread.compare_exchange_strong(expected, thread)) {
        if (expected == thread)
            dieOf(signo);  // the hand-off itself failed
        // Another thread is reporting; it ends the process when done.
        for (;;)
            pause();
    }
    g_crashSignal.store(signo);

    // Whatever happens next, the process ends.
    setDisposition(SIGALRM, onHandoffTimeout);
    unblock(SIGALRM);
    alarm(g_handoffSeconds);

    const std::uintptr_t address = isFault(info) ? std::uintptr_t(info->si_addr) : 0;
    reportSignal(signo, info, thread, address);

    if (g_dumperPath[0] && access(g_dumperPath, X_OK) == 0) {
        char tidText[24];
        char addressText[24];
        formatUnsigned(std::uintptr_t(thread), 10, tidText, sizeof tidText);
        formatUnsigned(address, 16, addressText, sizeof addressText, "0x");
        g_spawn.argv[2] = tidText;
        g_spawn.argv[3] = addressText;
        const pid_t child = spawnDumper();
        if (child > 0) {
            // Yama lets only ancestors trace a process; allow the dumper.
            prctl(PR_SET_PTRACER, child, 0, 0, 0);
            int status = 0;
            while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
        }
    }
    dieOf(signo);
}

}  // namespace

void installCrashHandoff(const QString& dumperPath, unsigned handoffSeconds)
{
    const QByteArray path = QFile::encodeName(dumperPath);
    std::memset(g_dumperPath, 0, sizeof g_dumperPath);
    if (std::size_t(path.size()) < sizeof g_dumperPath)
        std::memcpy(g_dumperPath, path.constData(), std::size_t(path.size()));
    g_pid = getpid();
    formatUnsigned(std::uintptr_t(g_pid), 10, g_pidText, sizeof g_pidText);
    g_handoffSeconds = handoffSeconds > 0 ? handoffSeconds : 1;
    g_spawn.argv[0] = g_dumperPath;
    g_spawn.argv[1] = g_pidText;
    g_spawn.argv[4] = nullptr;

    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE)) {
        stack_t stack{};
        stack.ss_sp = g_mainAlternateStack;
        stack.ss_size = sizeof g_mainAlternateStack;
        sigaltstack(&stack, nullptr);
    }

    struct sigaction action {};
    action.sa_sigaction = onFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int signo : kFatalSignals)
        sigaction(signo, &action, nullptr);
}

}  // namespace app
