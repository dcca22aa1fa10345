#include "network_lanbed.h"

#include <QByteArray>
#include <QFile>
#include <QRegularExpression>
#include <QTextStream>

#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace lanbed {

namespace {

constexpr const char* kInsideVariable = "KORVANE_LAN_INSIDE";

QByteArray readSmallFile(const char* path)
{
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(1 << 16);
}

QString& reason()
{
    static QString text;
    return text;
}

// Runs before main (and before any thread exists).
bool enterNamespace()
{
    const char* dir = std::getenv("KORVANE_LAN_DIR");
    const char* role = std::getenv("KORVANE_LAN_ROLE");
    if (!dir || !role || !*dir || !*role) {
        reason() = QStringLiteral("KORVANE_LAN_DIR and KORVANE_LAN_ROLE are not set; run this through ctest");
        return false;
    }
    const char* inside = std::getenv(kInsideVariable);
    if (inside && std::strcmp(inside, role) == 0)
        return true;

    const QList<QByteArray> args = readSmallFile("/proc/self/cmdline").split('\0');
    for (const QByteArray& arg : args) {
        if (arg.startsWith("--gtest_list_tests")) {
            reason() = QStringLiteral("only listing");
            return false;
        }
    }
    const QByteArray ns = readSmallFile(QByteArray(QByteArray(dir) + "/netns-" + role).constData()).trimmed();
    if (ns.isEmpty() || !QRegularExpression(QStringLiteral("^[a-z0-9-]+$")).match(QString::fromLatin1(ns)).hasMatch()) {
        reason() = QStringLiteral("the lan bed in %1 is not up").arg(QString::fromLocal8Bit(dir));
        return false;
    }
    char exe[4096] = {};
    const ssize_t length = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (length <= 0) {
        reason() = QStringLiteral("cannot read /proc/self/exe");
        return false;
    }

    std::vector<QByteArray> storage = {"ip", "netns", "exec", ns, QByteArray(exe, static_cast<int>(length))};
    for (int i = 1; i < args.size(); ++i) {
        if (i == args.size() - 1 && args[i].isEmpty())
            break;  // the terminating NUL of the last argument
        storage.push_back(args[i]);
    }
    std::vector<char*> argv;
    for (QByteArray& arg : storage)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::setenv(kInsideVariable, role, 1);
    ::execvp("ip", argv.data());
    reason() = QStringLiteral("cannot run ip netns exec: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    ::unsetenv(kInsideVariable);
    return false;
}

const bool gInside = enterNamespace();

}  // namespace

bool inside()
{
    return gInside;
}

QString whyNotInside()
{
    return reason();
}

Profile readProfile(const QString& path)
{
    Profile profile;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return profile;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 2 || line.startsWith('#'))
            continue;
        if (fields[0] == "subnet") {
            profile.prefixLength = fields[1].toInt();
            continue;
        }
        if (fields[0] == "layout") {
            profile.routed = fields[1] == "routed";
            continue;
        }
        ProfileLine entry;
        entry.address = fields[1].toStdString();
        const QByteArray rest = line.mid(fields[0].size() + fields[1].size() + 2);
        if (fields[0] == "scanner") {
            entry.kind = ProfileLine::Scanner;
        } else if (fields[0] == "gateway") {
            entry.kind = ProfileLine::Gateway;
        } else if (fields[0] == "host") {
            entry.kind = ProfileLine::Host;
        } else if (fields[0] == "printer") {
            entry.kind = ProfileLine::Printer;
            entry.deviceId = rest.toStdString();
        } else if (fields[0] == "printer-hex") {
            entry.kind = ProfileLine::Printer;
            entry.deviceId = QByteArray::fromHex(rest).toStdString();
        } else if (fields[0] == "slow") {
            entry.kind = ProfileLine::SlowPrinter;
            entry.deviceId = rest.mid(rest.indexOf(' ') + 1).toStdString();
        } else if (fields[0] == "wrongoid") {
            entry.kind = ProfileLine::WrongOid;
        } else if (fields[0] == "silent") {
            entry.kind = ProfileLine::Silent;
        } else if (fields[0] == "otherport") {
            entry.kind = ProfileLine::OtherPort;
            entry.deviceId = rest.toStdString();
        } else {
            continue;
        }
        profile.lines.push_back(entry);
    }
    return profile;
}

ScopedSysctl::ScopedSysctl(const QString& path, const QByteArray& value) : m_path(path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    m_old = file.readAll().trimmed();
    file.close();
    if (!file.open(QIODevice::WriteOnly))
        return;
    m_ok = file.write(value) == value.size();
}

ScopedSysctl::~ScopedSysctl()
{
    if (m_old.isEmpty())
        return;
    QFile file(m_path);
    if (file.open(QIODevice::WriteOnly))
        file.write(m_old);
}

}  // namespace lanbed
