// peakrss OUTFILE PROGRAM [ARGS...]: runs the program and writes its own peak
// resident set (KiB, from wait4) to OUTFILE; exits with its status.
//
// A child started straight from the benchmark would inherit the benchmark's
// high-water mark: posix_spawn shares the parent's memory until exec, and the
// kernel carries the old mapping's peak into the child's rusage. Started from
// this small process instead, the inherited peak is this process's own (about
// a megabyte), well below any HTTP client's.

#include <cstdio>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

int main(int argc, char* argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: peakrss OUTFILE PROGRAM [ARGS...]\n");
        return 125;
    }
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[2], nullptr, nullptr, argv + 2, environ) != 0) {
        std::perror("peakrss: spawn");
        return 126;
    }
    int status = 0;
    rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid) {
        std::perror("peakrss: wait4");
        return 127;
    }
    if (FILE* out = std::fopen(argv[1], "w")) {
        std::fprintf(out, "%ld\n", usage.ru_maxrss);
        std::fclose(out);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
