// Test helper: installs the crash hand-off with the dumper given as argv[1],
// then crashes the way argv[2] says ("segv" or "abort").

#include "app/crashhandoff.h"

#include <QString>
#include <csignal>
#include <cstdlib>
#include <cstring>

int main(int argc, char* argv[])
{
    if (argc < 3)
        return 2;
    app::installCrashHandoff(QString::fromLocal8Bit(argv[1]));
    if (std::strcmp(argv[2], "abort") == 0)
        std::abort();
    volatile int* nowhere = reinterpret_cast<volatile int*>(std::uintptr_t(0x10));
    *nowhere = 1;
    return 0;
}
