// The printer dialogs, add-printer wizards and management consoles of the
// desktop: the first printer tool found in PATH, else the scheduler's own web
// page in the default browser. Driver packages are run, or shown in the file
// manager. Everything is started with an argument vector; a printer name is
// one argument and never part of a command line.
//
// Thread: installDriverPackage starts one detached std::thread per program
// package. It owns copies of the owner handle, the notice and the command
// line, touches nothing shared, waits (LaunchAndWait) until the package and
// every process it started have ended, posts message 2127 to the owner
// (dropped if the window has gone) and ends.

#include "printers/cupsconnection.h"
#include "printers/printerapi.h"

#include "sysutil/launch.h"
#include "sysutil/signalstack.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <thread>

namespace PrinterAPI {

namespace {

enum class View { Preferences, Properties, Queue, AddPrinter, Manager };

// One desktop printer tool and how to ask it for each view. "%1" stands for
// the printer's name, as an argument of its own.
struct PrinterTool {
    const char* program;
    QStringList preferences;
    QStringList properties;
    QStringList queue;
    QStringList addPrinter;
    QStringList manager;
};

const std::vector<PrinterTool>& printerTools()
{
    static const std::vector<PrinterTool> tools = {
        {"system-config-printer",
         {QStringLiteral("--configure-printer"), QStringLiteral("%1")},
         {QStringLiteral("--configure-printer"), QStringLiteral("%1")},
         {QStringLiteral("--show-jobs"), QStringLiteral("%1")},
         {},
         {}},
        {"configure-printer", {QStringLiteral("%1")}, {QStringLiteral("%1")}, {}, {}, {}},
        {"gnome-control-center",
         {QStringLiteral("printers")},
         {QStringLiteral("printers")},
         {QStringLiteral("printers")},
         {QStringLiteral("printers")},
         {QStringLiteral("printers")}},
    };
    return tools;
}

// The KDE tool is split into programs per view; it only answers the views it
// has, so "configure-printer" alone serves preferences and properties.
std::optional<QStringList> argumentsFor(const PrinterTool& tool, View view)
{
    const bool kdeConfigure = QByteArray(tool.program) == "configure-printer";
    switch (view) {
    case View::Preferences: return tool.preferences;
    case View::Properties: return tool.properties;
    case View::Queue:
        if (kdeConfigure)
            return std::nullopt;
        return tool.queue;
    case View::AddPrinter:
    case View::Manager:
        if (kdeConfigure)
            return std::nullopt;
        return view == View::AddPrinter ? tool.addPrinter : tool.manager;
    }
    return std::nullopt;
}

bool startProgram(const QString& program, const QStringList& arguments)
{
    if (QProcess::startDetached(program, arguments))
        return true;
    qInfo() << "printers: cannot start" << program;
    return false;
}

// The scheduler's web interface; on a socket it still listens on localhost.
QString webBase()
{
    const QString server = cups::SpoolerConnection::serverName();
    if (cups::SpoolerConnection::serverIsLocal())
        return QStringLiteral("http://localhost:631");
    return QStringLiteral("http://%1:%2").arg(server).arg(ippPort());
}

bool openInBrowser(const QString& url)
{
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) {
        qInfo("printers: no xdg-open to show %s", qPrintable(url));
        return false;
    }
    return startProgram(opener, {url});
}

QString escapedName(const QString& printerName)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(printerName));
}

// The first installed tool that has the view, started; false when none did.
bool startPrinterTool(View view, const QString& printerName)
{
    for (const PrinterTool& tool : printerTools()) {
        const QString program = QStandardPaths::findExecutable(QString::fromLatin1(tool.program));
        if (program.isEmpty())
            continue;
        std::optional<QStringList> arguments = argumentsFor(tool, view);
        if (!arguments)
            continue;
        for (QString& argument : *arguments)
            if (argument == QLatin1String("%1"))
                argument = printerName;
        return startProgram(program, *arguments);
    }
    return false;
}

int showPrinterView(View view, const QString& printerName, const QString& webPath)
{
    if (!cups::isValidPrinterName(printerName))
        return int(win32::kInvalidPrinterName);
    if (startPrinterTool(view, printerName) || openInBrowser(webBase() + webPath))
        return int(win32::kSuccess);
    return int(win32::kFileNotFound);
}

bool isProgramPackage(const QFileInfo& file)
{
    static const QStringList kProgramSuffixes = {QStringLiteral("run"), QStringLiteral("sh"),
                                                 QStringLiteral("appimage")};
    return file.isFile() && (file.isExecutable() || kProgramSuffixes.contains(file.suffix().toLower()));
}

// One argument quoted for splitCommandLine: inside double quotes, a quote
// becomes \" and the backslashes before a quote (or the closing one) double.
QString quotedArgument(const QString& argument)
{
    QString quoted = QStringLiteral("\"");
    int backslashes = 0;
    for (const QChar c : argument) {
        if (c == QLatin1Char('\\')) {
            ++backslashes;
            continue;
        }
        if (c == QLatin1Char('"'))
            quoted += QString(backslashes * 2 + 1, QLatin1Char('\\'));
        else
            quoted += QString(backslashes, QLatin1Char('\\'));
        backslashes = 0;
        quoted += c;
    }
    quoted += QString(backslashes * 2, QLatin1Char('\\'));
    quoted += QLatin1Char('"');
    return quoted;
}

QString packageCommandLine(const QFileInfo& file)
{
    const QString path = file.absoluteFilePath();
    if (file.isExecutable())
        return quotedArgument(path);
    const QString suffix = file.suffix().toLower();
    // Self-extracting .run archives and .sh scripts are shell scripts; they
    // often arrive without the executable bit.
    if (suffix == QLatin1String("sh") || suffix == QLatin1String("run"))
        return quotedArgument(QStringLiteral("/bin/sh")) + QLatin1Char(' ') + quotedArgument(path);
    // An AppImage only runs as itself.
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    return quotedArgument(path);
}

bool showInFileManager(const QFileInfo& file)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(file.absoluteFilePath()).toString(QUrl::FullyEncoded)} << QString();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        const QDBusMessage reply = bus.call(call, QDBus::Block, cups::kTimeoutMs);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return true;
        qInfo() << "printers: file manager did not show the package:" << reply.errorMessage();
    }
    return openInBrowser(QUrl::fromLocalFile(file.absolutePath()).toString(QUrl::FullyEncoded));
}

}  // namespace

int showPrintPreferencesPage(const QString& printerName, const QString&)
{
    return showPrinterView(View::Preferences, printerName,
                           QStringLiteral("/admin/?op=set-printer-options&printer_name=") + escapedName(printerName));
}

int showPrinterPropertiesPage(const QString& printerName, const QString&)
{
    return showPrinterView(View::Properties, printerName, QStringLiteral("/printers/") + escapedName(printerName));
}

int viewPrintQueue(const QString& printerName, const QString&)
{
    return showPrinterView(View::Queue, printerName,
                           QStringLiteral("/printers/") + escapedName(printerName) + QStringLiteral("?which_jobs=all"));
}

int addPrinter(webui::WindowHandle, int kind)
{
    // Local, network and manual wizards and the connect dialog are one
    // wizard on this desktop.
    if (kind < 0 || kind > 3)
        return int(win32::kInvalidParameter);
    if (startPrinterTool(View::AddPrinter, QString()) ||
        openInBrowser(webBase() + QStringLiteral("/admin/?op=add-printer")))
        return int(win32::kSuccess);
    return int(win32::kFileNotFound);
}

QString managerTool(int kind)
{
    if (kind < 0 || kind > 2)
        return QString();
    for (const PrinterTool& tool : printerTools())
        if (argumentsFor(tool, View::Manager) &&
            !QStandardPaths::findExecutable(QString::fromLatin1(tool.program)).isEmpty())
            return QString::fromLatin1(tool.program);
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty())
        return QString();
    return kind == 0 ? QStringLiteral("web-admin") : QStringLiteral("web-printers");
}

int openManager(webui::WindowHandle, int kind)
{
    if (kind < 0 || kind > 2)
        return int(win32::kInvalidParameter);
    if (startPrinterTool(View::Manager, QString()))
        return int(win32::kSuccess);
    const QString path = kind == 0 ? QStringLiteral("/admin") : QStringLiteral("/printers/");
    return openInBrowser(webBase() + path) ? int(win32::kSuccess) : int(win32::kFileNotFound);
}

bool checkMMCExists(int kind)
{
    if (kind != 0 && kind != 1)
        return false;
    for (const PrinterTool& tool : printerTools())
        if (argumentsFor(tool, View::Manager) &&
            !QStandardPaths::findExecutable(QString::fromLatin1(tool.program)).isEmpty())
            return true;
    return false;
}

int installDriverPackage(webui::WindowHandle owner, const QString& notice, const QString& packagePath)
{
    const QFileInfo file(packagePath);
    if (packagePath.isEmpty() || !file.exists())
        return int(win32::kPathNotFound);
    if (!isProgramPackage(file))
        return showInFileManager(file) ? 1 : 0;
    const QString commandLine = packageCommandLine(file);
    // The thread owns copies of all it uses; nothing waits for it.
    std::thread([owner, notice, commandLine] {
        sysutil::ensureAlternateSignalStack();
        const win32::ErrorCode result = sysutil::LaunchAndWait(commandLine);
        webui::postWindowMessage(owner, webui::msg::kPackageInstalled, result, 0, std::make_shared<QString>(notice));
    }).detach();
    return int(win32::kSuccess);
}

}  // namespace PrinterAPI
