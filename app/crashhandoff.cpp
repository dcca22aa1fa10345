#include "app/crashhandoff.h"

#include <QFile>

#include <csignal>
#include <cstdint>
#include <cstring>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace app {

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// Filled at start-up; the handler only reads them.
char g_dumperPath[4096];
char g_pidText[24];
char g_alternateStack[64 * 1024];

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

void restoreDefaultAndReraise(int signo)
{
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(signo, &dfl, nullptr);
    // Returning re-executes a faulting instruction (or, for raise/abort, the
    // signal is delivered again once unblocked), now with the default action.
    raise(signo);
}

void onFatalSignal(int signo, siginfo_t* info, void*)
{
    if (g_dumperPath[0] && access(g_dumperPath, X_OK) == 0) {
        char tidText[24];
        char addressText[24];
        formatUnsigned(std::uintptr_t(syscall(SYS_gettid)), 10, tidText, sizeof tidText);
        formatUnsigned(std::uintptr_t(info ? info->si_addr : nullptr), 16, addressText, sizeof addressText, "0x");
        char* argv[] = {g_dumperPath, g_pidText, tidText, addressText, nullptr};
        const pid_t child = fork();
        if (child == 0) {
            execve(g_dumperPath, argv, environ);
            _exit(127);
        }
        if (child > 0) {
            // Yama lets only ancestors trace a process; allow the dumper.
            prctl(PR_SET_PTRACER, child, 0, 0, 0);
            int status = 0;
            while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
        }
    }
    restoreDefaultAndReraise(signo);
}

}  // namespace

void installCrashHandoff(const QString& dumperPath)
{
    const QByteArray path = QFile::encodeName(dumperPath);
    std::memset(g_dumperPath, 0, sizeof g_dumperPath);
    if (std::size_t(path.size()) < sizeof g_dumperPath)
        std::memcpy(g_dumperPath, path.constData(), std::size_t(path.size()));
    formatUnsigned(std::uintptr_t(getpid()), 10, g_pidText, sizeof g_pidText);

    stack_t stack{};
    stack.ss_sp = g_alternateStack;
    stack.ss_size = sizeof g_alternateStack;
    sigaltstack(&stack, nullptr);

    struct sigaction action {};
    action.sa_sigaction = onFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int signo : kFatalSignals)
        sigaction(signo, &action, nullptr);
}

}  // namespace app
