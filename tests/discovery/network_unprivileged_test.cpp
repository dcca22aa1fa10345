// The network phase of a user who may open no ICMP socket: not root, and
// net.ipv4.ping_group_range closed ("1 0"), on the LAN bed's "unpriv" /24.
// The case running as root closes the range in the scanner namespace and runs
// this binary again as nobody (setpriv), which runs the scan in
// UnprivilegedChild; the child's own assertions decide.

#include "discovery/netscan.h"
#include "discovery/printersearcher.h"
#include "network_lanbed.h"
#include "network_recordingsearcher.h"

#include "support/testsupport.h"

#include <QCoreApplication>
#include <QProcess>
#include <gtest/gtest.h>

#include <map>
#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

using namespace discovery;
using scantest::Progress;
using scantest::RecordingSearcher;

namespace {

constexpr const char* kChildVariable = "KORVANE_UNPRIVILEGED_SCAN";

TEST(UnprivilegedScan, asksEveryAddressOverSnmpWhenNoIcmpSocketOpens)
{
    ASSERT_TRUE(lanbed::inside()) << lanbed::whyNotInside().toStdString();
    ASSERT_EQ(::geteuid(), 0u) << "run through ctest, as root";
    const lanbed::ScopedSysctl closed(QStringLiteral("/proc/sys/net/ipv4/ping_group_range"), "1 0");
    ASSERT_TRUE(closed.ok());

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kChildVariable), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("setpriv"),
                {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
                 QStringLiteral("--inh-caps=-all"), QStringLiteral("--bounding-set=-all"), QStringLiteral("--"),
                 QCoreApplication::applicationFilePath(), QStringLiteral("--gtest_filter=UnprivilegedChild.*")});
    ASSERT_TRUE(child.waitForStarted(10000)) << child.errorString().toStdString();
    ASSERT_TRUE(child.waitForFinished(90000)) << "the unprivileged scan did not end";
    const QByteArray output = child.readAll();
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test.")) << output.toStdString();
}

TEST(UnprivilegedChild, scanFindsThePrintersWithoutPinging)
{
    if (qEnvironmentVariableIsEmpty(kChildVariable))
        GTEST_SKIP() << "runs only as the unprivileged step of UnprivilegedScan";
    ASSERT_NE(::geteuid(), 0u);
    for (int type : {SOCK_DGRAM, SOCK_RAW}) {
        const int fd = ::socket(AF_INET, type, IPPROTO_ICMP);
        EXPECT_LT(fd, 0) << "an ICMP socket opened (type " << type << ")";
        if (fd >= 0)
            ::close(fd);
    }

    std::map<std::string, std::string> printers;
    const lanbed::Profile profile =
        lanbed::readProfile(testsupport::sourceDir() + QStringLiteral("/tests/testbeds/lan/profiles/unpriv.lan"));
    for (const lanbed::ProfileLine& line : profile.lines) {
        if (line.kind == lanbed::ProfileLine::Printer)
            printers[line.address] = line.deviceId;
    }
    ASSERT_EQ(printers.size(), 2u);

    RecordingSearcher searcher;
    NetScanStats stats;
    NetScanOptions options;
    options.stats = &stats;
    searchNetwork(searcher, options);

    EXPECT_EQ(stats.sweep.probesSent, 0);
    EXPECT_EQ(stats.sweep.socketsOpened, 0);
    EXPECT_EQ(stats.sweep.unswept.size(), 1u);
    EXPECT_EQ(stats.askedUnswept, 254);
    EXPECT_EQ(stats.liveHosts, 254);
    EXPECT_EQ(stats.queriesStarted, 254);

    std::map<std::string, std::string> reported;
    for (const NetPrinterInfo& printer : searcher.printers())
        EXPECT_TRUE(reported.emplace(printer.ip, printer.deviceId).second) << printer.ip << " reported twice";
    EXPECT_EQ(reported, printers);

    // More hosts than steps: the bar follows the share of hosts done.
    const std::int32_t n = 254;
    std::vector<Progress> expected = {{5, 0, 1, 0, 0}, {15, 0, 2, 0, 0}};
    for (std::int32_t k = 1; k <= n; ++k)
        expected.push_back({15 + k * 80 / n, 0, 0, k, n});
    EXPECT_EQ(searcher.progressEvents(), expected);
    EXPECT_EQ(searcher.percentPerHost, 0);
    EXPECT_EQ(searcher.hostsDone, n);
}

}  // namespace
