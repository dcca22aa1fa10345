#pragma once
// Running a test binary inside the LAN test bed (tests/testbeds/lan).
//
// A binary built with network_lanbed.cpp and started with KORVANE_LAN_DIR and
// KORVANE_LAN_ROLE set re-executes itself, before main, inside the namespace
// of that role (`ip netns exec`, which also gives it the namespace's
// /sys/class/net). Listing the tests (--gtest_list_tests) stays outside, so
// CTest can discover them before the bed is up.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

namespace lanbed {

// True when this process runs inside the bed's namespace of its role.
bool inside();
// Why not, for the failure message.
QString whyNotInside();

struct ProfileLine {
    // SlowPrinter answers late; WrongOid, Silent and OtherPort run an agent
    // that gives no device id (see tests/testbeds/lan/fakeagent).
    enum Kind { Scanner, Gateway, Host, Printer, SlowPrinter, WrongOid, Silent, OtherPort };
    Kind kind = Host;
    std::string address;
    std::string deviceId;  // printers (and OtherPort), as the agent sends it
};
struct Profile {
    int prefixLength = 0;
    bool routed = false;
    std::vector<ProfileLine> lines;  // every address, scanner included
};
// A profile file of the bed (tests/testbeds/lan/profiles/NAME.lan), read as
// the bed reads it.
Profile readProfile(const QString& path);

// Writes a sysctl of the current namespace for the lifetime of the object.
class ScopedSysctl {
public:
    ScopedSysctl(const QString& path, const QByteArray& value);
    ~ScopedSysctl();
    ScopedSysctl(const ScopedSysctl&) = delete;
    ScopedSysctl& operator=(const ScopedSysctl&) = delete;
    bool ok() const { return m_ok; }

private:
    QString m_path;
    QByteArray m_old;
    bool m_ok = false;
};

}  // namespace lanbed
