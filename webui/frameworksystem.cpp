// The framework functions that answer questions about the machine and reach
// the desktop: files, folders, programs, the start-up list.

#include "app/productinfo.h"
#include "sysutil/formatmessage.h"
#include "sysutil/launch.h"
#include "sysutil/paths.h"
#include "sysutil/systeminfo.h"
#include "webui/bindings.h"
#include "webui/desktopactions.h"
#include "webui/framework.h"
#include "webui/jsargs.h"
#include "webui/startuplist.h"
#include "webui/uilanguage.h"
#include "webui/webwindows.h"
#include "webui/basewindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>

namespace webui {

namespace {

using namespace jsargs;

QString text(const QJsonArray& args, int index, int maxBytes = kMaxPathBytes)
{
    return toText(at(args, index), maxBytes).value_or(QString());
}

QString fourPartVersion(const QString& version)
{
    QStringList parts = version.split(QLatin1Char('.'));
    QStringList numbers;
    for (int i = 0; i < 4; ++i)
        numbers << QString::number(i < parts.size() ? parts.at(i).toInt() : 0);
    return numbers.join(QLatin1Char('.'));
}

bool isWebLink(const QUrl& url)
{
    static const QStringList schemes = {QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("mailto"),
                                        QStringLiteral("ftp")};
    return schemes.contains(url.scheme().toLower());
}

// ShellExecute on a desktop: web links and documents open in their
// application, programs start with the parameters split into arguments.
win32::ErrorCode shellExecute(const QString& verb, const QString& file, const QString& parameters,
                              const QString& directory)
{
    if (file.isEmpty())
        return win32::kFileNotFound;
    const QUrl asUrl(file);
    if (asUrl.isValid() && isWebLink(asUrl))
        return desktopActions().openUrl(asUrl) ? win32::kSuccess : win32::kGenFailure;
    QString path = asUrl.isLocalFile() ? asUrl.toLocalFile() : file;
    if (QDir::isRelativePath(path) && !directory.isEmpty() && QFileInfo::exists(directory + QLatin1Char('/') + path))
        path = directory + QLatin1Char('/') + path;
    QFileInfo info(path);
    if (!info.exists() && !path.contains(QLatin1Char('/'))) {
        const QString found = QStandardPaths::findExecutable(path);
        if (found.isEmpty())
            return win32::kFileNotFound;
        info = QFileInfo(found);
    }
    if (!info.exists())
        return win32::kFileNotFound;
    const QString lowerVerb = verb.toLower();
    if (info.isFile() && info.isExecutable() && lowerVerb != QLatin1String("explore")) {
        const std::optional<QStringList> rest = sysutil::splitCommandLine(parameters);
        if (!rest)
            return win32::kInvalidParameter;
        QStringList argv = QStringList{info.absoluteFilePath()} + *rest;
        if (lowerVerb == QLatin1String("runas"))
            argv.prepend(QStringLiteral("pkexec"));
        return desktopActions().startProgram(argv, directory);
    }
    return desktopActions().openUrl(QUrl::fromLocalFile(info.absoluteFilePath())) ? win32::kSuccess
                                                                                  : win32::kGenFailure;
}

bool processRunning(const QString& name)
{
    if (name.isEmpty())
        return false;
    if (name.contains(QLatin1Char('/')))
        return sysutil::isProcessRunning(name);
    // A bare name, as the pages pass it: match the executable's file name,
    // with or without the Windows suffix.
    QStringList wanted{name};
    if (name.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive))
        wanted << name.left(name.size() - 4);
    const QStringList running = sysutil::runningExecutables();
    return std::any_of(running.begin(), running.end(),
                       [&wanted](const QString& exe) { return wanted.contains(QFileInfo(exe).fileName()); });
}

}  // namespace

QString baseSystemInfo(int selector)
{
    switch (selector) {
    case 0:
        return fourPartVersion(QCoreApplication::applicationVersion().isEmpty()
                                   ? QString::fromLatin1(app::kVersion)
                                   : QCoreApplication::applicationVersion());
    case 1:
        return QString::fromLatin1(app::kProductSubName);
    case 2:
        return sysutil::packageName();
    case 3:
        return sysutil::machineIdentifier();
    case 4:
        return sysutil::isWow64() ? QStringLiteral("true") : QStringLiteral("false");
    case 5:
        return sysutil::osVersion();
    case 6:
        return QStringLiteral("5");
    case 7:
        return sysutil::platformDecoration();
    case 8:
        return QStringLiteral("1.0.0.0");
    default:
        return QString();
    }
}

void bindSystemFunctions()
{
    BindingRegistry& registry = BindingRegistry::instance();
    registry.bind(QStringLiteral("shellExecute"), 6, [](const QJsonArray& args) -> QJsonValue {
        return double(shellExecute(text(args, 1, 64), text(args, 2), text(args, 3, kMaxCommandLineBytes),
                                   text(args, 4)));
    });
    registry.bind(QStringLiteral("selectDir"), 0, [](const QJsonArray& args) -> QJsonValue {
        QWidget* owner = nullptr;
        if (args.size() == 1)
            if (BaseBlkWinow* window = WebWindows::instance().find(toHandle(args.at(0))))
                owner = window->hostWindow();
        return desktopActions().pickFolder(owner);
    });
    registry.bind(QStringLiteral("openDirAndSelectFile"), 0, [](const QJsonArray& args) -> QJsonValue {
        const QString path = text(args, 0);
        return !path.isEmpty() && desktopActions().showItemInFolder(path);
    });
    registry.bind(QStringLiteral("pathFileExists"), 1, [](const QJsonArray& args) -> QJsonValue {
        const QString path = text(args, 0);
        return !path.isEmpty() && !path.contains(QChar(0)) && QFileInfo::exists(path);
    });
    registry.bind(QStringLiteral("isProcessRunning"), 1,
                  [](const QJsonArray& args) -> QJsonValue { return processRunning(text(args, 0)); });
    registry.bind(QStringLiteral("getCurrentModuleFileDirectory"), 0,
                  [](const QJsonArray&) -> QJsonValue { return sysutil::programDir(); });
    registry.bind(QStringLiteral("getModuleFileName"), 1, [](const QJsonArray&) -> QJsonValue {
        const QString path = sysutil::programFilePath();
        return path.isEmpty() ? QStringLiteral("empty") : path;
    });
    registry.bind(QStringLiteral("shGetKnownFolderPath"), 3, [](const QJsonArray& args) -> QJsonValue {
        // Only the Downloads folder has a selector.
        if (toInt(at(args, 0)) != 0)
            return QString();
        return QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    });
    registry.bind(QStringLiteral("formatMessage"), 1, [](const QJsonArray& args) -> QJsonValue {
        return sysutil::formatMessage(win32::ErrorCode(toInt(at(args, 0))));
    });
    registry.bind(QStringLiteral("kernelVersion"), 0,
                  [](const QJsonArray&) -> QJsonValue { return sysutil::platformDecoration(); });
    registry.bind(QStringLiteral("getDeviceid"), 0,
                  [](const QJsonArray&) -> QJsonValue { return sysutil::machineIdentifier(); });
    registry.bind(QStringLiteral("getUserDefaultUILanguage"), 0,
                  [](const QJsonArray&) -> QJsonValue { return userDefaultUILanguage(); });
    registry.bind(QStringLiteral("baseSystemInfo"), 1,
                  [](const QJsonArray& args) -> QJsonValue { return baseSystemInfo(toInt(at(args, 0))); });
    registry.bind(QStringLiteral("addToStartupList"), 2, [](const QJsonArray& args) -> QJsonValue {
        const std::optional<QString> name = toText(at(args, 0), 1024);
        const std::optional<QString> command = toText(at(args, 1), kMaxCommandLineBytes);
        if (!name || !command)
            return double(win32::kInvalidParameter);
        return double(startup::add(*name, *command));
    });
    registry.bind(QStringLiteral("deleteFromStartupList"), 1, [](const QJsonArray& args) -> QJsonValue {
        const std::optional<QString> name = toText(at(args, 0), 1024);
        return double(name ? startup::remove(*name) : win32::kFileNotFound);
    });
    registry.bind(QStringLiteral("checkStartupList"), 2, [](const QJsonArray& args) -> QJsonValue {
        const std::optional<QString> name = toText(at(args, 0), 1024);
        const std::optional<QString> command = toText(at(args, 1), kMaxCommandLineBytes);
        return name && command && startup::check(*name, *command);
    });
}

}  // namespace webui
