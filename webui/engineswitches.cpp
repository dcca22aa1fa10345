#include "webui/engineswitches.h"

#include <QRegularExpression>
#include <cstdio>
#include <cstdlib>

namespace webui {

namespace {

// Debugging endpoints, the sandbox and site isolation, other origins' rules,
// other programs put in front of the engine's processes, and where requests
// go (a rule that sends the page server's name elsewhere makes that server
// ours).
const char* const kUnsafe[] = {
    "remote-debugging-port", "remote-debugging-pipe", "remote-debugging-address", "remote-debugging-socket-name",
    "remote-debugging-targets", "remote-allow-origins", "auto-open-devtools-for-tabs", "enable-automation",
    "no-sandbox", "disable-setuid-sandbox", "disable-seccomp-filter-sandbox", "disable-namespace-sandbox",
    "disable-gpu-sandbox", "no-zygote", "no-zygote-sandbox", "single-process", "in-process-gpu",
    "disable-web-security", "disable-site-isolation-trials", "disable-features", "site-per-process",
    "isolate-origins", "process-per-site", "process-per-tab", "renderer-process-limit",
    "allow-file-access-from-files", "allow-file-access", "allow-running-insecure-content",
    "allow-insecure-localhost", "ignore-certificate-errors", "ignore-certificate-errors-spki-list",
    "unsafely-treat-insecure-origin-as-secure", "reduce-security-for-testing", "disable-xss-auditor",
    "user-data-dir", "renderer-cmd-prefix", "utility-cmd-prefix", "gpu-launcher", "plugin-launcher",
    "browser-subprocess-path", "js-flags", "load-extension", "host-resolver-rules", "host-rules", "proxy-server",
    "proxy-pac-url", "proxy-auto-detect", "ppapi-plugin-launcher", "register-pepper-plugins",
};

}  // namespace

bool isUnsafeEngineSwitch(const QString& argument)
{
    QString name = argument.trimmed();
    if (name.startsWith(QLatin1String("--")))
        name = name.mid(2);
    else if (name.startsWith(QLatin1Char('-')))
        name = name.mid(1);
    else
        return false;
    const int equals = name.indexOf(QLatin1Char('='));
    if (equals >= 0)
        name.truncate(equals);
    name = name.toLower();
    for (const char* unsafe : kUnsafe) {
        if (name == QLatin1String(unsafe))
            return true;
    }
    return false;
}

QString safeEngineFlags(const QString& flags, QStringList* dropped)
{
    static const QRegularExpression space(QStringLiteral("\\s+"));
    QStringList kept;
    for (const QString& flag : flags.split(space, Qt::SkipEmptyParts)) {
        if (isUnsafeEngineSwitch(flag)) {
            if (dropped)
                dropped->append(flag);
        } else {
            kept.append(flag);
        }
    }
    return kept.join(QLatin1Char(' '));
}

QStringList dropUnsafeEngineSwitches(int& argc, char** argv)
{
    QStringList dropped;
    int kept = argc > 0 ? 1 : 0;
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (isUnsafeEngineSwitch(argument))
            dropped.append(argument);
        else
            argv[kept++] = argv[i];
    }
    for (int i = kept; i < argc; ++i)
        argv[i] = nullptr;
    argc = kept;

    if (qEnvironmentVariableIsSet("QTWEBENGINE_REMOTE_DEBUGGING")) {
        dropped.append(QStringLiteral("QTWEBENGINE_REMOTE_DEBUGGING=") +
                       qEnvironmentVariable("QTWEBENGINE_REMOTE_DEBUGGING"));
        qunsetenv("QTWEBENGINE_REMOTE_DEBUGGING");
    }
    if (qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS")) {
        const QString flags = qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS");
        const int before = dropped.size();
        const QString safe = safeEngineFlags(flags, &dropped);
        if (dropped.size() != before)
            qputenv("QTWEBENGINE_CHROMIUM_FLAGS", safe.toLocal8Bit());
    }
    for (const QString& switchText : dropped)
        std::fprintf(stderr, "korvane: ignored the engine setting %s\n", qPrintable(switchText.left(200)));
    return dropped;
}

}  // namespace webui
