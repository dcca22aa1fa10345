#pragma once
// Test beds of the repair tests: a private system bus with mocked system
// daemons, and running the salvane tool.

#include "support/testsupport.h"

#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <memory>
#include <vector>

namespace repairtest {

// A dbus-daemon of our own standing in for the system bus while the object
// lives (DBUS_SYSTEM_BUS_ADDRESS points at it), with python3-dbusmock mocks.
class PrivateSystemBus {
public:
    PrivateSystemBus();
    ~PrivateSystemBus();
    PrivateSystemBus(const PrivateSystemBus&) = delete;
    PrivateSystemBus& operator=(const PrivateSystemBus&) = delete;

    bool isUp() const { return m_up; }
    QByteArray address() const { return m_address; }
    // Starts a mock from a template of tests/testbeds/dbus and waits until it
    // owns its name.
    bool startMock(const QString& templateFile, const QString& busName, const QJsonObject& parameters = {});
    // Calls a method with dbus-send; returns its printed reply.
    QString send(const QString& busName, const QString& path, const QString& method, const QStringList& args = {});

private:
    QTemporaryDir m_dir;
    QString m_bed;
    QByteArray m_address;
    bool m_up = false;
    std::unique_ptr<testsupport::ScopedEnv> m_env;
    std::vector<std::unique_ptr<QProcess>> m_mocks;
};

struct ToolRun {
    int exitCode = -1;
    QString output;
};
// Runs the program folder's salvane with one argument and the given extra
// environment; bounded at two minutes.
ToolRun runSalvane(const QString& argument, const QProcessEnvironment& extra = {});
// The same with an argument vector, leaving out the named variables.
ToolRun runSalvane(const QStringList& arguments, const QProcessEnvironment& extra = {}, const QStringList& unset = {});

}  // namespace repairtest
