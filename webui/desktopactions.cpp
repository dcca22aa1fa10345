#include "webui/desktopactions.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUuid>

namespace webui {

namespace {

bool showItem(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString service = QStringLiteral("org.freedesktop.FileManager1");
    if (bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(service).value()) {
        QDBusMessage call = QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/FileManager1"),
                                                           service, QStringLiteral("ShowItems"));
        call << QStringList{QUrl::fromLocalFile(info.absoluteFilePath()).toString()}
             << QUuid::createUuid().toString(QUuid::WithoutBraces);
        if (bus.call(call, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage)
            return true;
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(info.isDir() ? info.absoluteFilePath() : info.absolutePath()));
}

QString pickFolder(QWidget*)
{
    // Shown without owner, as the pages expect from the system dialog.
    return QFileDialog::getExistingDirectory(nullptr, QStringLiteral("Please, select a folder"), QString(),
                                             QFileDialog::ShowDirsOnly);
}

win32::ErrorCode startProgram(const QStringList& argv, const QString& workingDirectory)
{
    if (argv.isEmpty() || argv.first().isEmpty())
        return win32::kInvalidParameter;
    const QString program = argv.first();
    const bool hasPath = program.contains(QLatin1Char('/'));
    if (hasPath ? !QFileInfo(program).exists() : QStandardPaths::findExecutable(program).isEmpty())
        return win32::kFileNotFound;
    if (hasPath && !QFileInfo(program).isExecutable())
        return win32::kAccessDenied;
    qint64 pid = 0;
    return QProcess::startDetached(program, argv.mid(1), workingDirectory, &pid) ? win32::kSuccess
                                                                                : win32::kGenFailure;
}

DesktopActions realActions()
{
    return DesktopActions{[](const QUrl& url) { return QDesktopServices::openUrl(url); }, showItem, pickFolder,
                          startProgram};
}

}  // namespace

DesktopActions& desktopActions()
{
    static DesktopActions actions = realActions();
    return actions;
}

void resetDesktopActions()
{
    desktopActions() = realActions();
}

}  // namespace webui
