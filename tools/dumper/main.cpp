// dumper PID TID ADDRESS
//
// Started by a crashing Korvane, which waits for it: writes a readable crash
// report (the threads' backtraces through gdb when it is installed, else the
// process's memory map and status) into the user's cache folder and exits.

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>
#include <cstdio>

namespace {

QByteArray readProcFile(qint64 pid, const char* name)
{
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.read(1 << 20) : QByteArray("(unreadable)\n");
}

QByteArray gdbBacktrace(qint64 pid, qint64 tid)
{
    const QString gdb = QStandardPaths::findExecutable(QStringLiteral("gdb"));
    if (gdb.isEmpty())
        return {};
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(gdb, {QStringLiteral("-batch"), QStringLiteral("-nx"), QStringLiteral("-p"), QString::number(pid),
                        QStringLiteral("-ex"), QStringLiteral("info threads"), QStringLiteral("-ex"),
                        QStringLiteral("thread find %1").arg(tid), QStringLiteral("-ex"),
                        QStringLiteral("thread apply all bt")});
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished(2000);
    }
    return process.readAll();
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Velmora"));
    QCoreApplication::setApplicationName(QStringLiteral("Korvane"));
    const QStringList args = application.arguments();
    if (args.size() < 4) {
        std::fputs("usage: dumper PID TID ADDRESS\n", stderr);
        return 2;
    }
    bool pidOk = false;
    bool tidOk = false;
    const qint64 pid = args.at(1).toLongLong(&pidOk);
    const qint64 tid = args.at(2).toLongLong(&tidOk);
    if (!pidOk || !tidOk || pid <= 0) {
        std::fputs("dumper: PID and TID must be numbers\n", stderr);
        return 2;
    }
    const QString address = args.at(3).left(32);

    const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/crashes");
    QDir().mkpath(folder);
    const QString path = QStringLiteral("%1/crash-%2-%3.txt")
                             .arg(folder, QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")))
                             .arg(pid);
    QFile report(path);
    if (!report.open(QIODevice::WriteOnly | QIODevice::Text)) {
        std::fprintf(stderr, "dumper: cannot write %s\n", qPrintable(path));
        return 1;
    }
    QTextStream out(&report);
    out << "Korvane crash report\n"
        << "process " << pid << ", thread " << tid << ", fault address " << address << "\n"
        << "time " << QDateTime::currentDateTime().toString(Qt::ISODate) << "\n\n";
    out << "== executable\n" << QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid)) << "\n\n";
    const QByteArray backtrace = gdbBacktrace(pid, tid);
    if (!backtrace.isEmpty()) {
        out << "== backtraces (gdb)\n" << backtrace << "\n";
    }
    out << "== status\n" << readProcFile(pid, "status") << "\n";
    out << "== maps\n" << readProcFile(pid, "maps") << "\n";
    out.flush();
    std::printf("%s\n", qPrintable(path));
    return 0;
}
