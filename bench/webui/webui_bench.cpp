// Measures the web UI host in Qt WebEngine and prints the numbers:
//   - page-to-program round trips: 1000 bound calls from a page loop (median, max)
//   - program-to-page calls per second (each with its result callback)
//   - start of a process to the main page's load finished, cold (empty
//     profile) and warm, with the peak memory of the whole process tree.
// Run it in a network namespace, as the engine looks names up:
//   unshare -n build/program/webui_bench [runs]
// Without a display it runs offscreen with software rendering.

#include "i18n/international.h"
#include "sysutil/paths.h"
#include "webui/basewindow.h"
#include "webui/localpages.h"
#include "webui/viewfactory.h"
#include "webui/webwindows.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <map>
#include <unistd.h>

namespace {

const QString kBase = QStringLiteral("https://pages.korvane.example/");

// The page the round trips run in, written into a private page folder.
const char* const kLoopPage = R"(<!DOCTYPE html><html><head><meta charset="utf-8"><title>loop</title></head><body><script>
function measure(count) {
  var times = [];
  for (var i = 0; i < count; ++i) { var t0 = performance.now(); pathFileExists('/'); times.push(performance.now() - t0); }
  times.sort(function (a, b) { return a - b; });
  return { median: times[Math.floor(times.length / 2)], p99: times[Math.floor(times.length * 0.99)], max: times[times.length - 1] };
}
var hits = 0;
function ping(n) { hits += 1; return n; }
</script></body></html>)";

bool waitFor(const std::function<bool()>& condition, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return condition();
}

webui::BaseBlkWinow* openAndWait(const QString& url, bool* loaded, bool* ok = nullptr)
{
    auto* window = new webui::BaseBlkWinow(0, false, url, 3);
    window->setPageBaseUrl(kBase);
    window->setWindowRect(0, 0, 1000, 600);
    window->setDragRect(-1, 0, -1, 60);
    window->setBorderFlags(true, true, false, false, 0);
    window->setCloseParams(false, true, true, 0, false, 30);
    window->create(1);
    window->view()->onLoadFinished = [loaded, ok](bool success) {
        *loaded = true;
        if (ok)
            *ok = success;
    };
    return window;
}

int runCalls()
{
    QTemporaryDir pagesDir;
    QFile page(pagesDir.path() + QStringLiteral("/loop.html"));
    page.open(QIODevice::WriteOnly);
    page.write(kLoopPage);
    page.close();
    qputenv("KORVANE_HTML_DIR", pagesDir.path().toUtf8());

    bool loaded = false;
    webui::BaseBlkWinow* window = openAndWait(kBase + QStringLiteral("loop.html"), &loaded);
    if (!waitFor([&] { return loaded; }, 60000)) {
        std::fprintf(stderr, "webui_bench: the page did not load\n");
        return 1;
    }
    // Warm the path once, then measure.
    std::optional<QJsonValue> result;
    window->view()->runScript(QStringLiteral("measure(100)"), [&](const QJsonValue& v) { result = v; });
    waitFor([&] { return result.has_value(); }, 60000);
    result.reset();
    window->view()->runScript(QStringLiteral("measure(1000)"), [&](const QJsonValue& v) { result = v; });
    waitFor([&] { return result.has_value(); }, 60000);
    const QJsonObject calls = result.value_or(QJsonValue()).toObject();
    std::printf("page->program calls (1000, synchronous): median %.3f ms, p99 %.3f ms, max %.3f ms\n",
                calls.value(QStringLiteral("median")).toDouble(), calls.value(QStringLiteral("p99")).toDouble(),
                calls.value(QStringLiteral("max")).toDouble());

    constexpr int kPageCalls = 5000;
    int answered = 0;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kPageCalls; ++i)
        window->callPage(QStringLiteral("ping"), QJsonArray{i}, [&answered](const QJsonValue&) { ++answered; });
    waitFor([&] { return answered == kPageCalls; }, 120000);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    std::printf("program->page calls with result: %d in %.3f s = %.0f calls/s\n", answered, seconds,
                answered / seconds);
    return 0;
}

// The child of a start measurement: the program's start-up up to the main
// page's load finished.
int runStartChild()
{
    QApplication application(*new int(1), new char*[2]{const_cast<char*>("webui_bench"), nullptr});
    i18n::International::instance().setup();
    webui::pages::setBaseUrl(kBase);
    bool loaded = false;
    bool ok = false;
    openAndWait(kBase + QStringLiteral("index.html"), &loaded, &ok);
    waitFor([&] { return loaded; }, 60000);
    std::printf(ok ? "loaded\n" : "failed\n");
    std::fflush(stdout);
    webui::shutdownWebUi();
    return loaded ? 0 : 1;
}

struct TreeMemory {
    qint64 rssKiB = 0;
    qint64 pssKiB = 0;
    int processes = 0;
};

qint64 fieldKiB(const QByteArray& text, const QByteArray& key)
{
    const int at = text.indexOf(key);
    if (at < 0)
        return 0;
    return text.mid(at + key.size()).trimmed().split(' ').value(0).toLongLong();
}

TreeMemory treeMemory(qint64 root)
{
    std::map<qint64, qint64> parents;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const int close = text.lastIndexOf(')');
        parents[pid] = text.mid(close + 2).split(' ').value(1).toLongLong();
    }
    TreeMemory total;
    for (const auto& entry : parents) {
        qint64 p = entry.first;
        while (p > 1 && p != root)
            p = parents.count(p) ? parents[p] : 0;
        if (p != root)
            continue;
        QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(entry.first));
        if (!rollup.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = rollup.readAll();
        total.rssKiB += fieldKiB(text, "\nRss:");
        total.pssKiB += fieldKiB(text, "\nPss:");
        ++total.processes;
    }
    return total;
}

void measureStart(const char* label, const QString& home)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    env.remove(QStringLiteral("KORVANE_HTML_DIR"));  // the program's own html/
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--start-child")});
    child.waitForStarted(10000);
    TreeMemory peak;
    qint64 loadedAt = -1;
    while (timer.elapsed() < 120000) {
        if (child.waitForReadyRead(20) && loadedAt < 0) {
            const QByteArray said = child.readAll();
            if (said.contains("loaded"))
                loadedAt = timer.elapsed();
            else if (said.contains("failed"))
                std::printf("the main page failed to load\n");
        }
        if (child.state() == QProcess::NotRunning)
            break;
        const TreeMemory now = treeMemory(child.processId());
        if (now.pssKiB > peak.pssKiB)
            peak = now;
    }
    child.waitForFinished(30000);
    std::printf("start to main page loaded (%s): %lld ms; peak tree memory %.1f MB PSS (%.1f MB RSS) in %d processes\n",
                label, loadedAt, peak.pssKiB / 1024.0, peak.rssKiB / 1024.0, peak.processes);
}

}  // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("QT_QUICK_BACKEND", "software");
        if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
            qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    }
    QCoreApplication::setOrganizationName(QStringLiteral("Velmora"));
    QCoreApplication::setApplicationName(QStringLiteral("Korvane"));
    webui::prepareWebEngine();
    if (argc > 1 && QByteArray(argv[1]) == "--start-child")
        return runStartChild();

    const int runs = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 3;
    int code = 0;
    {
        QApplication application(argc, argv);
        QTemporaryDir home;
        qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toUtf8());
        qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/cache")).toUtf8());
        code = runCalls();
        webui::shutdownWebUi();
        QTemporaryDir startHome;
        measureStart("cold, empty profile", startHome.path());
        for (int i = 0; i < runs; ++i)
            measureStart("warm", startHome.path());
    }
    return code;
}
