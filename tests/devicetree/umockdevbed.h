#pragma once
// A fake /sys for one test, materialised from umockdev text files under
// tests/data/umockdev/ by libumockdev's test bed (no preload involved: the
// code under test is pointed at the bed's folder).

#include "support/testsupport.h"

#include <QString>
#include <memory>
#include <ostream>

// Readable QString values in assertion messages.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

struct _UMockdevTestbed;

class UmockdevBed {
public:
    UmockdevBed();
    ~UmockdevBed();
    UmockdevBed(const UmockdevBed&) = delete;
    UmockdevBed& operator=(const UmockdevBed&) = delete;

    // Adds the devices of tests/data/umockdev/<name>; false (with the reason
    // in error()) when the file does not parse.
    bool addFixture(const QString& name);
    bool addText(const QString& text);
    void removeDevice(const QString& devpath);  // "/devices/..."

    // The folder that stands in for /sys.
    QString sysfsRoot() const;
    QString error() const { return m_error; }

private:
    _UMockdevTestbed* m_bed;
    QString m_error;
};

// Points the code under test at a bed for the lifetime of the object.
class UsingBed {
public:
    explicit UsingBed(const UmockdevBed& bed)
        : m_env("KORVANE_SYSFS_ROOT", bed.sysfsRoot().toUtf8())
    {
    }

private:
    testsupport::ScopedEnv m_env;
};
