#include "mainwindow/taskbar.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>
#include <QWidget>

TaskbarProgress::TaskbarProgress(QString desktopFileId)
    : m_appUri(QStringLiteral("application://") + desktopFileId)
{
}

void TaskbarProgress::setNormal()
{
    m_visible = true;
    m_fraction = 0.0;
    send();
}

void TaskbarProgress::setValue(int completed, int total)
{
    m_visible = total > 0;
    m_fraction = total > 0 ? qBound(0.0, double(completed) / double(total), 1.0) : 0.0;
    send();
}

void TaskbarProgress::clear()
{
    m_visible = false;
    m_fraction = 0.0;
    send();
}

void TaskbarProgress::flash(QWidget* window)
{
    // Like a tray flash with "until foreground": the hint is dropped by the
    // window manager when the window gets focus; 0 keeps it until then.
    if (window && !window->isActiveWindow())
        QApplication::alert(window, 0);
}

void TaskbarProgress::send()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;  // no desktop session: nobody shows it
    QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/com/canonical/unity/launcherentry/korvane"),
                                                     QStringLiteral("com.canonical.Unity.LauncherEntry"),
                                                     QStringLiteral("Update"));
    QVariantMap properties;
    properties.insert(QStringLiteral("progress-visible"), m_visible);
    properties.insert(QStringLiteral("progress"), m_fraction);
    signal << m_appUri << properties;
    bus.send(signal);
}
