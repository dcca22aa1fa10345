// Scheduler addresses as the repair tool accepts them on its command line.

#include "repair/scheduleraddress.h"

#include <gtest/gtest.h>

namespace {

struct AddressCase {
    const char* address;
    bool valid;
    bool local;
    bool system;
};

const AddressCase kCases[] = {
    {"/run/cups/cups.sock", true, true, true},
    {"/var/run/cups/cups.sock", true, true, true},
    {"/tmp/bed/cups.sock", true, true, false},
    {"/tmp/with space;and(semicolon)/cups.sock", true, true, false},
    {"/tmp/文档/cups.sock", true, true, false},
    {"localhost", true, true, true},
    {"LOCALHOST:631", true, true, true},
    {"localhost:8631", true, true, false},
    {"127.0.0.1", true, true, true},
    {"127.3.2.1:631", true, true, true},
    {"[::1]", true, true, true},
    {"[::1]:8631", true, true, false},
    {"::1", true, true, true},
    {"printserver.example.org", true, false, false},
    {"printserver:631", true, false, false},
    {"10.203.9.9:631", true, false, false},
    {"[fe80::1]:631", true, false, false},
    {"", false, false, false},
    {"-h", false, false, false},
    {"-oProxyCommand=x", false, false, false},
    {"host:0", false, false, false},
    {"host:65536", false, false, false},
    {"host:+631", false, false, false},
    {"host:", false, false, false},
    {"host name", false, false, false},
    {"host;touch /tmp/x", false, false, false},
    {"$(touch /tmp/x)", false, false, false},
    {"`id`:631", false, false, false},
    {"host..example", false, false, false},
    {"[::1", false, false, false},
    {"[not-v6]:631", false, false, false},
    {"::1:631x", false, false, false},
    {"relative/cups.sock", false, false, false},
    {"/tmp/line\nbreak.sock", false, false, false},
    {"/tmp/tab\t.sock", false, false, false},
    {"/tmp/delete\x7f.sock", false, false, false},
};

TEST(SchedulerAddress, IsCheckedBeforeItIsUsed)
{
    for (const AddressCase& c : kCases) {
        const QString address = QString::fromUtf8(c.address);
        EXPECT_EQ(repair::isValidSchedulerAddress(address), c.valid) << c.address;
        EXPECT_EQ(repair::isLocalSchedulerAddress(address), c.local) << c.address;
        EXPECT_EQ(repair::isSystemSchedulerAddress(address, repair::standardSchedulerSockets()), c.system) << c.address;
    }
}

TEST(SchedulerAddress, LengthsAreBounded)
{
    const QString longest = QLatin1Char('/') + QString(repair::kMostSocketPathBytes - 1, QLatin1Char('s'));
    EXPECT_TRUE(repair::isValidSchedulerAddress(longest));
    EXPECT_FALSE(repair::isValidSchedulerAddress(longest + QLatin1Char('s')));
    // A character of two UTF-8 bytes counts twice.
    EXPECT_FALSE(repair::isValidSchedulerAddress(longest.left(longest.size() - 1) + QChar(0x00e9)));
    const QString host(repair::kMostHostNameChars, QLatin1Char('h'));
    EXPECT_TRUE(repair::isValidSchedulerAddress(host + QStringLiteral(":631")));
    EXPECT_FALSE(repair::isValidSchedulerAddress(host + QLatin1Char('h')));
    // Unpaired halves of a surrogate pair are not text.
    EXPECT_FALSE(repair::isValidSchedulerAddress(QStringLiteral("/tmp/") + QChar(0xd800) + QStringLiteral(".sock")));
}

TEST(SchedulerAddress, AnotherSocketCanBeTheMachinesOwn)
{
    EXPECT_TRUE(repair::isSystemSchedulerAddress(QStringLiteral("/srv/cups.sock"), {QStringLiteral("/srv/cups.sock")}));
    EXPECT_FALSE(repair::isSystemSchedulerAddress(QStringLiteral("/run/cups/cups.sock"), {QStringLiteral("/srv/cups.sock")}));
    EXPECT_FALSE(repair::isSystemSchedulerAddress(QStringLiteral("server:631"), {QStringLiteral("/srv/cups.sock")}));
}

}  // namespace
