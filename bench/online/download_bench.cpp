// Measures how fast a driver package streams to disk from a loopback server,
// against curl fetching the same file from the same server, and the peak
// memory of both. Each fetch runs in its own child process, started through
// online_peakrss so that its peak resident size is its own and not the
// benchmark's (a spawned child inherits its parent's high-water mark).
//
//   online_download_bench [size-in-MiB ...]        the comparison (default 1 50 200)
//   online_download_bench --fetch URL FOLDER TIMEFILE   one download through
//                                                  "Down"; writes its seconds
//
// Throughput is the transfer time each client measures itself (from the
// request to the last byte on disk: curl's time_total), so neither pays for
// its own start-up.

#include "fakewebview.h"
#include "loopbackhttpserver.h"
#include "online/downloaderobj.h"
#include "online/downloaderobjmanager.h"
#include "online/messagebox.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkProxy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

constexpr int kRuns = 5;

int fetch(const QString& url, const QString& folder, const QString& timeFile)
{
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    online::setMessageBoxFunction([](QWidget*, const QString& title, const QString& text) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
    });
    onlinetest::FakeWebView view;
    view.recordCalls = false;
    long progressCalls = 0;
    int code = -1;
    view.functions[QStringLiteral("onProgress")] = [&](const QJsonArray&) {
        ++progressCalls;
        return QJsonValue(true);
    };
    view.functions[QStringLiteral("onFinish")] = [&](const QJsonArray& args) {
        code = args.at(0).toInt();
        QCoreApplication::exit(0);
        return QJsonValue(QJsonValue::Undefined);
    };
    online::DownloaderObjManager manager([folder] { return folder; });
    manager.addWebstroage(&view, 3);
    QElapsedTimer timer;
    timer.start();
    const int started = manager.Down(QJsonArray{url, "onProgress", "onFinish", "pkg", 3});
    if (started != 0)
        return 100 + started;
    QCoreApplication::exec();
    const double seconds = timer.nsecsElapsed() / 1e9;
    QFile out(timeFile);
    if (out.open(QIODevice::WriteOnly))
        out.write(QByteArray::number(seconds, 'f', 6));
    std::fprintf(stderr, "  (%ld progress calls)\n", progressCalls);
    return code;
}

struct RunResult {
    bool ok = false;
    double seconds = 0;
    long maxRssKiB = 0;
};

// Runs a child to its end; its stdout goes to stdoutFile when given. The
// transfer time is read from timeFile, which the child writes.
RunResult runChild(const std::vector<QByteArray>& args, const QString& timeFile, bool timeOnStdout)
{
    const QString peakFile = timeFile + QStringLiteral(".peak");
    const QByteArray peakPath = QFile::encodeName(peakFile);
    const QByteArray peakrss(KORVANE_PEAKRSS);
    std::vector<char*> argv{const_cast<char*>(peakrss.constData()), const_cast<char*>(peakPath.constData())};
    for (const QByteArray& arg : args)
        argv.push_back(const_cast<char*>(arg.constData()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    RunResult result;
    QFile::remove(timeFile);
    QFile::remove(peakFile);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray timePath = QFile::encodeName(timeFile);
    if (timeOnStdout)
        posix_spawn_file_actions_addopen(&actions, 1, timePath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return result;
    int status = 0;
    // The server has its own thread and event loop, so blocking here is fine.
    if (waitpid(pid, &status, 0) != pid)
        return result;
    QFile in(timeFile);
    if (in.open(QIODevice::ReadOnly))
        result.seconds = in.readAll().trimmed().toDouble();
    QFile peak(peakFile);
    if (peak.open(QIODevice::ReadOnly))
        result.maxRssKiB = peak.readAll().trimmed().toLong();
    result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && result.seconds > 0;
    return result;
}

RunResult best(const std::vector<RunResult>& runs)
{
    RunResult chosen;
    for (const RunResult& run : runs) {
        if (!run.ok)
            return run;
        if (chosen.seconds == 0 || run.seconds < chosen.seconds)
            chosen = run;
        chosen.maxRssKiB = std::max(chosen.maxRssKiB, run.maxRssKiB);
    }
    return chosen;
}

bool sameAsServed(const QString& path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() != size)
        return false;
    constexpr int kBlock = 4 * 1024 * 1024;
    for (qint64 offset = 0; offset < size; offset += kBlock) {
        const int length = static_cast<int>(std::min<qint64>(kBlock, size - offset));
        if (file.read(length) != onlinetest::LoopbackHttpServer::contentSlice(offset, length))
            return false;
    }
    return true;
}

int compare(const QStringList& sizeArgs)
{
    const QString curl = QStandardPaths::findExecutable(QStringLiteral("curl"));
    if (curl.isEmpty()) {
        std::fprintf(stderr, "curl is not installed\n");
        return 1;
    }
    QTemporaryDir dir(qEnvironmentVariable("KORVANE_BENCH_DIR", QDir::tempPath()) + QStringLiteral("/online-bench-XXXXXX"));
    onlinetest::LoopbackHttpServer server;
    if (!dir.isValid() || !server.isListening())
        return 1;
    const QByteArray self = QCoreApplication::applicationFilePath().toLocal8Bit();

    // What the starter itself passes on: the peak a program that does nothing
    // is charged with.
    const RunResult idle = runChild({"/bin/true"}, dir.filePath(QStringLiteral("idle")), false);
    std::printf("peak of /bin/true started the same way: %ld KiB\n", idle.maxRssKiB);
    std::printf("%8s  %12s  %12s  %7s  %14s  %14s\n", "size", "korvane MB/s", "curl MB/s", "ratio", "korvane peak", "curl peak");
    int failures = 0;
    for (const QString& sizeArg : sizeArgs) {
        const qint64 size = sizeArg.toLongLong() * 1024 * 1024;
        const QString name = QStringLiteral("bench-%1.bin").arg(sizeArg);
        const QByteArray url = server.url(QStringLiteral("/file/%1?size=%2").arg(name).arg(size)).toUtf8();
        const QString oursFolder = dir.filePath(QStringLiteral("korvane"));
        const QString curlFile = dir.filePath(QStringLiteral("curl-") + name);
        const QString timeFile = dir.filePath(QStringLiteral("seconds"));
        QDir().mkpath(oursFolder);

        std::vector<RunResult> ours;
        std::vector<RunResult> theirs;
        bool intact = true;
        for (int run = 0; run < kRuns; ++run) {
            ours.push_back(runChild({self, "--fetch", url, oursFolder.toLocal8Bit(), timeFile.toLocal8Bit()}, timeFile, false));
            intact = intact && sameAsServed(oursFolder + QLatin1Char('/') + name, size);
            QFile::remove(oursFolder + QLatin1Char('/') + name);
            theirs.push_back(runChild({curl.toLocal8Bit(), "-s", "-f", "--noproxy", "*", "-w", "%{time_total}", "-o",
                                       curlFile.toLocal8Bit(), url},
                                      timeFile, true));
            QFile::remove(curlFile);
        }
        const RunResult a = best(ours);
        const RunResult b = best(theirs);
        if (!a.ok || !b.ok || !intact) {
            std::printf("%6lld MiB  failed (korvane %s, curl %s, content %s)\n", static_cast<long long>(size >> 20),
                        a.ok ? "ok" : "failed", b.ok ? "ok" : "failed", intact ? "intact" : "differs");
            ++failures;
            continue;
        }
        const double mb = size / 1e6;
        std::printf("%6lld MiB  %12.0f  %12.0f  %6.0f%%  %10ld KiB  %10ld KiB\n", static_cast<long long>(size >> 20),
                    mb / a.seconds, mb / b.seconds, 100.0 * b.seconds / a.seconds, a.maxRssKiB, b.maxRssKiB);
        std::fflush(stdout);
    }
    std::printf("(best of %d runs each; peak = each client's own maximum resident set)\n", kRuns);
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList args = application.arguments().mid(1);
    if (args.value(0) == QLatin1String("--fetch") && args.size() == 4)
        return fetch(args.at(1), args.at(2), args.at(3));
    return compare(args.isEmpty() ? QStringList{QStringLiteral("1"), QStringLiteral("50"), QStringLiteral("200")} : args);
}
