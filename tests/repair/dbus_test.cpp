// The spooler and firewall checks and their repairs where systemd and
// firewalld run, against mocks of both on a private system bus.

#include "repair/repairapi.h"
#include "repair/repairtestbeds.h"
#include "repair/repairtypes.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <gtest/gtest.h>

using repairtest::PrivateSystemBus;
using repairtest::runSalvane;
using testsupport::ScopedEnv;

namespace {

const QString kSystemd = QStringLiteral("org.freedesktop.systemd1");
const QString kFirewalld = QStringLiteral("org.fedoraproject.FirewallD1");

// Everything a check could fall back to is out of reach, so each answer
// comes from the mocked daemon alone.
class RepairDbus : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(QDir().mkpath(m_dir.filePath("systemd")));
        m_env.emplace_back(std::make_unique<ScopedEnv>("KORVANE_SYSTEMD_RUNTIME_DIR", m_dir.filePath("systemd").toUtf8()));
        m_env.emplace_back(std::make_unique<ScopedEnv>("CUPS_SERVER", m_dir.filePath("no-scheduler.sock").toUtf8()));
        // The mocked systemd's cups.service stands for the scheduler on that socket.
        m_env.emplace_back(
            std::make_unique<ScopedEnv>("KORVANE_CUPS_SYSTEM_SOCKET", m_dir.filePath("no-scheduler.sock").toUtf8()));
        m_env.emplace_back(std::make_unique<ScopedEnv>("KORVANE_CUPSD", m_dir.filePath("no-cupsd").toUtf8()));
        for (const char* tool : {"KORVANE_UFW", "KORVANE_NFT", "KORVANE_IPTABLES", "KORVANE_SYSTEMCTL"})
            m_env.emplace_back(std::make_unique<ScopedEnv>(tool, m_dir.filePath("not-installed").toUtf8()));
        ASSERT_TRUE(m_bus.isUp()) << "the private system bus did not start";
    }

    void setUnit(const char* unit, const char* state)
    {
        m_bus.send(kSystemd, "/org/freedesktop/systemd1", "org.freedesktop.DBus.Mock.SetUnitState",
                   {QStringLiteral("string:") + unit, QStringLiteral("string:") + state});
    }

    static QJsonObject zones(const QJsonObject& zoneServices)
    {
        QJsonObject result;
        for (auto it = zoneServices.begin(); it != zoneServices.end(); ++it) {
            result.insert(it.key(), QJsonObject{{"interfaces", QJsonArray{QString(QStringLiteral("veth-") + it.key())}},
                                                {"services", it.value()}});
        }
        return QJsonObject{{"default_zone", zoneServices.begin().key()}, {"zones", result}};
    }

    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<ScopedEnv>> m_env;
    PrivateSystemBus m_bus;
};

}  // namespace

TEST_F(RepairDbus, SpoolerStateFollowsTheCupsUnits)
{
    ASSERT_TRUE(m_bus.startMock("systemd_units.py", kSystemd,
                                QJsonObject{{"units", QJsonObject{{"cups.service", "active"}, {"cups.socket", "active"}}}}));
    struct Case {
        const char* service;
        const char* socket;
        int expected;
    };
    const Case cases[] = {
        {"active", "active", repair::service::kRunning},
        {"inactive", "active", repair::service::kRunning},
        {"inactive", "inactive", repair::service::kStopped},
        {"failed", "inactive", repair::service::kStopped},
        {"activating", "active", repair::service::kStartPending},
        {"deactivating", "active", repair::service::kStopPending},
    };
    for (const Case& c : cases) {
        setUnit("cups.service", c.service);
        setUnit("cups.socket", c.socket);
        EXPECT_EQ(repair::checkPrinterSpool(), c.expected) << c.service << " / " << c.socket;
    }
}

TEST_F(RepairDbus, SpoolerStateIsTheSchedulerInUseNotTheServiceOfAnother)
{
    ASSERT_TRUE(m_bus.startMock("systemd_units.py", kSystemd,
                                QJsonObject{{"units", QJsonObject{{"cups.service", "active"}, {"cups.socket", "active"}}}}));
    ASSERT_EQ(repair::checkPrinterSpool(), repair::service::kRunning);
    // The program now talks to a scheduler the running cups.service is not:
    // its missing socket decides, with cupsd present or not.
    ScopedEnv elsewhere("KORVANE_CUPS_SYSTEM_SOCKET", m_dir.filePath("machine.sock").toUtf8());
    EXPECT_EQ(repair::checkPrinterSpool(), repair::service::kUnknown);
    ScopedEnv cupsd("KORVANE_CUPSD", "/bin/true");
    EXPECT_EQ(repair::checkPrinterSpool(), repair::service::kStopped);
}

TEST_F(RepairDbus, SpoolerIsUnknownWithoutCupsUnits)
{
    ASSERT_TRUE(m_bus.startMock("systemd_units.py", kSystemd));
    EXPECT_EQ(repair::checkPrinterSpool(), repair::service::kUnknown);
}

TEST_F(RepairDbus, WithoutTheBusTheSchedulerIsAskedInstead)
{
    ScopedEnv noBus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + m_dir.filePath("no-bus.sock").toUtf8());
    EXPECT_EQ(repair::checkPrinterSpool(), repair::service::kUnknown);
    ScopedEnv cupsd("KORVANE_CUPSD", "/bin/true");
    EXPECT_EQ(repair::checkPrinterSpool(), repair::service::kStopped);
}

TEST_F(RepairDbus, AHungSystemdDoesNotHoldTheCheck)
{
    ASSERT_TRUE(m_bus.startMock("systemd_units.py", kSystemd,
                                QJsonObject{{"units", QJsonObject{{"cups.service", "active"}}}, {"hang_seconds", 60}}));
    ScopedEnv cupsd("KORVANE_CUPSD", "/bin/true");
    QElapsedTimer timer;
    timer.start();
    // systemd gives no answer, so the scheduler's socket decides: it is absent.
    EXPECT_EQ(repair::checkPrinterSpool(), repair::service::kStopped);
    EXPECT_LT(timer.elapsed(), 30000) << "the check waited for the hung daemon";
    RecordProperty("hung_systemd_check_ms", int(timer.elapsed()));
}

TEST_F(RepairDbus, SalvaneRestartsTheCupsService)
{
    ASSERT_TRUE(m_bus.startMock("systemd_units.py", kSystemd,
                                QJsonObject{{"units", QJsonObject{{"cups.service", "failed"}, {"cups.socket", "inactive"}}}}));
    ASSERT_EQ(repair::checkPrinterSpool(), repair::service::kStopped);
    const auto run = runSalvane("0");
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_TRUE(run.output.startsWith("restart spooler: ok")) << run.output.toStdString();
    EXPECT_EQ(repair::checkPrinterSpool(), repair::service::kRunning);
}

TEST_F(RepairDbus, SalvaneReportsARestartThatFailed)
{
    ASSERT_TRUE(m_bus.startMock("systemd_units.py", kSystemd,
                                QJsonObject{{"units", QJsonObject{{"cups.service", "failed"}}},
                                            {"restart_outcome", QJsonObject{{"cups.service", "failed"}}}}));
    const auto run = runSalvane("0");
    EXPECT_EQ(run.exitCode, repair::exitcode::kSpoolerFailed) << run.output.toStdString();
    EXPECT_TRUE(run.output.startsWith("restart spooler: FAILED")) << run.output.toStdString();
    EXPECT_EQ(repair::checkPrinterSpool(), repair::service::kStopped);
}

TEST_F(RepairDbus, SalvaneFailsWhenCupsIsNotInstalled)
{
    ASSERT_TRUE(m_bus.startMock("systemd_units.py", kSystemd));
    const auto run = runSalvane("0");
    EXPECT_EQ(run.exitCode, repair::exitcode::kSpoolerFailed) << run.output.toStdString();
}

TEST_F(RepairDbus, FirewallGroupsFollowTheActiveZones)
{
    struct Case {
        const char* what;
        QJsonObject zoneServices;
        bool discovery;
        bool sharing;
    };
    const Case cases[] = {
        {"nothing for printing", {{"public", QJsonArray{"ssh"}}}, false, false},
        {"mdns only", {{"public", QJsonArray{"ssh", "mdns"}}}, true, false},
        {"ipp without samba", {{"public", QJsonArray{"ipp", "mdns"}}}, true, false},
        {"everything", {{"home", QJsonArray{"mdns", "ipp", "samba"}}}, true, true},
        {"one of two zones lacks it",
         {{"home", QJsonArray{"mdns", "ipp", "samba"}}, {"work", QJsonArray{"mdns"}}},
         true,
         false},
    };
    for (const Case& c : cases) {
        PrivateSystemBus bus;
        ASSERT_TRUE(bus.startMock("firewalld_zones.py", kFirewalld, zones(c.zoneServices))) << c.what;
        EXPECT_EQ(repair::checkFirewall(0), c.discovery) << c.what;
        EXPECT_EQ(repair::checkFirewall(1), c.sharing) << c.what;
        EXPECT_EQ(repair::checkFirewall(-7), c.sharing) << c.what;
    }
}

TEST_F(RepairDbus, SalvaneOpensTheZonesAtRunTimeAndPermanently)
{
    ASSERT_TRUE(m_bus.startMock("firewalld_zones.py", kFirewalld, zones({{"public", QJsonArray{"ssh"}}})));
    ASSERT_FALSE(repair::checkFirewall(0));
    const auto run = runSalvane("1");
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_TRUE(run.output.startsWith("open firewall: ok")) << run.output.toStdString();
    EXPECT_TRUE(repair::checkFirewall(0));
    EXPECT_TRUE(repair::checkFirewall(1));
    const QString permanent = m_bus.send(kFirewalld, "/org/fedoraproject/FirewallD1",
                                         "org.freedesktop.DBus.Mock.GetPermanentServices", {"string:public"});
    for (const char* service : {"mdns", "ipp", "samba"})
        EXPECT_TRUE(permanent.contains(QStringLiteral("\"%1\"").arg(service))) << permanent.toStdString();
}

TEST_F(RepairDbus, SalvaneReportsAPermanentChangeThatWasRefused)
{
    QJsonObject parameters = zones({{"public", QJsonArray{"ssh"}}});
    parameters.insert("refuse_permanent", true);
    ASSERT_TRUE(m_bus.startMock("firewalld_zones.py", kFirewalld, parameters));
    const auto run = runSalvane("1");
    EXPECT_EQ(run.exitCode, repair::exitcode::kFirewallFailed) << run.output.toStdString();
    EXPECT_TRUE(run.output.startsWith("open firewall: FAILED")) << run.output.toStdString();
}

TEST_F(RepairDbus, WithoutAnyFirewallTrafficCountsAsAllowed)
{
    EXPECT_TRUE(repair::checkFirewall(0));
    EXPECT_TRUE(repair::checkFirewall(1));
    const auto run = runSalvane("1");
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
}

TEST_F(RepairDbus, UfwRulesAreReadAndAdded)
{
    // A stand-in for ufw that keeps its rules in a file, as the real one does.
    const QString rules = m_dir.filePath("ufw-rules");
    const QString ufw = m_dir.filePath("ufw");
    ASSERT_TRUE(testsupport::writeFile(rules, "22/tcp                     ALLOW IN    Anywhere\n"));
    ASSERT_TRUE(testsupport::writeFile(ufw, QStringLiteral(R"(#!/bin/sh
rules='%1'
case "$1" in
  status) printf 'Status: active\nLogging: on (low)\nDefault: deny (incoming), allow (outgoing), disabled (routed)\nNew profiles: skip\n\nTo                         Action      From\n--                         ------      ----\n'; cat "$rules" ;;
  allow) printf '%-27sALLOW IN    Anywhere\n' "$2" >>"$rules"; echo "Rule added" ;;
  *) exit 1 ;;
esac
)").arg(rules).toUtf8(), true));
    ScopedEnv useUfw("KORVANE_UFW", ufw.toUtf8());
    EXPECT_FALSE(repair::checkFirewall(0));
    EXPECT_FALSE(repair::checkFirewall(1));
    const auto run = runSalvane("1");
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_TRUE(repair::checkFirewall(0));
    EXPECT_TRUE(repair::checkFirewall(1));
}
