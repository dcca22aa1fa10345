// glib names a struct member "signals", which Qt defines as a keyword: glib first.
#include <umockdev.h>

#include "discovery/monitor_bed.h"

#include <algorithm>

namespace monitortest {

EventBed::EventBed()
    : m_bed(umockdev_testbed_new())
{
}

EventBed::~EventBed()
{
    g_object_unref(m_bed);
}

bool EventBed::plug(const QString& name)
{
    const QByteArray path =
        (testsupport::sourceDir() + QStringLiteral("/tests/data/installmonitor/") + name + ".umockdev").toUtf8();
    GError* error = nullptr;
    if (umockdev_testbed_add_from_file(m_bed, path.constData(), &error))
        return true;
    m_error = QString::fromUtf8(error ? error->message : "unknown error");
    g_clear_error(&error);
    return false;
}

void EventBed::unplug(const QStringList& devpaths)
{
    QStringList childrenFirst = devpaths;
    std::reverse(childrenFirst.begin(), childrenFirst.end());
    for (const QString& devpath : childrenFirst)
        uevent(devpath, "remove");
    for (const QString& devpath : childrenFirst)
        umockdev_testbed_remove_device(m_bed, (QStringLiteral("/sys") + devpath).toUtf8().constData());
}

void EventBed::uevent(const QString& devpath, const char* action)
{
    umockdev_testbed_uevent(m_bed, (QStringLiteral("/sys") + devpath).toUtf8().constData(), action);
}

QString EventBed::sysfsRoot() const
{
    return QString::fromUtf8(umockdev_testbed_get_root_dir(m_bed)) + QStringLiteral("/sys");
}

}  // namespace monitortest
