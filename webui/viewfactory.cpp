#include "webui/viewfactory.h"

#include "webui/headlessview.h"
#include "webui/localpages.h"
#include "webui/pageserving.h"
#include "webui/webengineview.h"
#include "webui/webwindows.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <cstdio>
#include <unistd.h>

namespace webui {

namespace {

EngineKind& currentKind()
{
    static EngineKind kind = qEnvironmentVariable("KORVANE_WEB_ENGINE") == QLatin1String("headless")
                                 ? EngineKind::Headless
                                 : EngineKind::WebEngine;
    return kind;
}

}  // namespace

EngineKind engineKind()
{
    return currentKind();
}

void setEngineKind(EngineKind kind)
{
    currentKind() = kind;
}

std::unique_ptr<WebView> createWebView(QWidget* parent, const ViewOptions& options)
{
    if (engineKind() == EngineKind::Headless)
        return std::make_unique<HeadlessView>();
    // Qt WebEngine keeps cookies and local storage in one folder per profile:
    // the local-storage path decides, the cookie-jar path stands in for it.
    QString storage = options.localStoragePath;
    if (storage.isEmpty() && !options.cookieJarPath.isEmpty())
        storage = QFileInfo(options.cookieJarPath).absolutePath();
    return std::make_unique<WebEngineView>(parent, storage);
}

QString webEngineProblem()
{
    QString process = qEnvironmentVariable("QTWEBENGINEPROCESS_PATH");
    if (process.isEmpty())
        process = QLibraryInfo::location(QLibraryInfo::LibraryExecutablesPath) + QStringLiteral("/QtWebEngineProcess");
    if (!QFileInfo(process).isExecutable())
        return QStringLiteral("QtWebEngineProcess");
    const QString resources = qEnvironmentVariable(
        "QTWEBENGINE_RESOURCES_PATH", QLibraryInfo::location(QLibraryInfo::DataPath) + QStringLiteral("/resources"));
    if (!QFileInfo::exists(resources + QStringLiteral("/qtwebengine_resources.pak")))
        return QStringLiteral("qtwebengine_resources.pak");
    return QString();
}

void disableSandboxWhenRoot()
{
    if (geteuid() != 0 || qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        return;
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    std::fputs("korvane: warning: running as root, so the web engine's sandbox is turned off; "
               "run Korvane as a normal user.\n",
               stderr);
}

void prepareWebEngine()
{
    pages::registerScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    disableSandboxWhenRoot();
}

void shutdownWebUi()
{
    WebWindows::instance().destroyAll();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    releaseProfiles();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace webui
