#include "webui/hostwindow.h"

#include "webui/basewindow.h"

#include <QChildEvent>
#include <QCloseEvent>
#include <QMouseEvent>

namespace webui {

HostWindow::HostWindow(BaseBlkWinow* owner) : m_owner(owner)
{
    QPalette grey = palette();
    grey.setColor(QPalette::Window, QColor(170, 170, 170));
    setPalette(grey);
    setAutoFillBackground(true);
    setMouseTracking(true);
}

void HostWindow::watch(QWidget* widget)
{
    widget->installEventFilter(this);
    widget->setMouseTracking(true);
    for (QObject* child : widget->children())
        if (child->isWidgetType())
            watch(static_cast<QWidget*>(child));
}

void HostWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_owner)
        m_owner->layout();
}

void HostWindow::closeEvent(QCloseEvent* event)
{
    // The window decides: hide, quit or destroy.
    event->ignore();
    if (m_owner)
        m_owner->onHostCloseRequested();
}

void HostWindow::mousePressEvent(QMouseEvent* event)
{
    if (m_owner)
        m_owner->onViewMouseEvent(this, event);
    QWidget::mousePressEvent(event);
}

void HostWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (m_owner)
        m_owner->onViewMouseEvent(this, event);
    QWidget::mouseMoveEvent(event);
}

void HostWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_owner)
        m_owner->onViewMouseEvent(this, event);
    QWidget::mouseReleaseEvent(event);
}

bool HostWindow::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::ChildAdded: {
        // The web engine adds its render widget after the view exists.
        QObject* child = static_cast<QChildEvent*>(event)->child();
        if (child->isWidgetType())
            watch(static_cast<QWidget*>(child));
        break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease:
        if (m_owner)
            m_owner->onViewMouseEvent(watched, event);
        break;
    default:
        break;
    }
    return false;  // the page gets every event too
}

}  // namespace webui
