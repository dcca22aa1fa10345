// glib names a struct member "signals", which Qt defines as a keyword: glib first.
#include <umockdev.h>

#include "devicetree/umockdevbed.h"

UmockdevBed::UmockdevBed()
    : m_bed(umockdev_testbed_new())
{
}

UmockdevBed::~UmockdevBed()
{
    // Removes the bed's folder.
    g_object_unref(m_bed);
}

bool UmockdevBed::addFixture(const QString& name)
{
    const QByteArray path = (testsupport::sourceDir() + QStringLiteral("/tests/data/umockdev/") + name).toUtf8();
    GError* error = nullptr;
    if (umockdev_testbed_add_from_file(m_bed, path.constData(), &error))
        return true;
    m_error = QString::fromUtf8(error ? error->message : "unknown error");
    g_clear_error(&error);
    return false;
}

bool UmockdevBed::addText(const QString& text)
{
    GError* error = nullptr;
    if (umockdev_testbed_add_from_string(m_bed, text.toUtf8().constData(), &error))
        return true;
    m_error = QString::fromUtf8(error ? error->message : "unknown error");
    g_clear_error(&error);
    return false;
}

void UmockdevBed::removeDevice(const QString& devpath)
{
    umockdev_testbed_remove_device(m_bed, (QStringLiteral("/sys") + devpath).toUtf8().constData());
}

QString UmockdevBed::sysfsRoot() const
{
    return QString::fromUtf8(umockdev_testbed_get_root_dir(m_bed)) + QStringLiteral("/sys");
}
