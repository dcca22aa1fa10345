#pragma once
// The task bar button's progress and attention request. Docks that follow the
// Unity launcher API (KDE, GNOME docks, Plank) show the progress from a D-Bus
// signal; the attention request is the window system's urgency hint.

#include <QString>

class QWidget;

class TaskbarProgress {
public:
    // The desktop file id the dock knows the program by.
    explicit TaskbarProgress(QString desktopFileId = QStringLiteral("korvane.desktop"));

    void setNormal();                          // progress shown, at 0
    void setValue(int completed, int total);   // total <= 0 hides it
    void clear();                              // no progress
    static void flash(QWidget* window);        // a few blinks, only when not focused

    bool visible() const { return m_visible; }
    double fraction() const { return m_fraction; }

private:
    void send();
    QString m_appUri;
    bool m_visible = false;
    double m_fraction = 0.0;
};
