// The tray icon of a page window and its menu.

#include "webui/basewindow.h"
#include "webui/hostwindow.h"
#include "webui/winconstants.h"

#include <QApplication>
#include <QCursor>
#include <QIcon>
#include <QJsonObject>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QWidget>

namespace webui {

namespace {

// The tip field of the shell's notification record holds 127 characters.
constexpr int kMaxTip = 127;
constexpr int kMaxMenuItems = 64;
constexpr int kMaxName = 256;

QIcon trayIcon()
{
    QIcon icon = QApplication::windowIcon();
    if (!icon.isNull())
        return icon;
    QPixmap pixmap(32, 32);
    pixmap.fill(QColor(170, 170, 170));
    QPainter painter(&pixmap);
    painter.setPen(Qt::white);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("K"));
    return QIcon(pixmap);
}

}  // namespace

QString BaseBlkWinow::trayTip() const
{
    return m_tray ? m_tray->toolTip() : QString();
}

bool BaseBlkWinow::shellNotifyIcon(int action, const QString& tip, const QJsonValue& menu)
{
    if (!m_host)
        return false;
    const QJsonObject menuObject = menu.toObject();
    const QJsonValue doubleClick = menuObject.value(QStringLiteral("LBTN_DBCLK")).toObject().value(QStringLiteral("function"));
    if (doubleClick.isString())
        m_trayDoubleClick = doubleClick.toString().left(kMaxName);
    const QJsonArray items = menuObject.value(QStringLiteral("RBTN_CLK")).toArray();
    for (const QJsonValue& value : items) {
        if (m_trayItems.size() >= size_t(kMaxMenuItems))
            break;
        const QJsonObject item = value.toObject();
        if (item.isEmpty())
            continue;
        m_trayItems.push_back(TrayMenuItem{item.value(QStringLiteral("menu")).toString().left(kMaxName),
                                           item.value(QStringLiteral("id")).toInt(),
                                           item.value(QStringLiteral("function")).toString().left(kMaxName)});
    }
    if (!items.isEmpty())
        rebuildTrayMenu();

    switch (action) {
    case trayaction::kAdd:
        if (m_tray)
            return false;
        m_tray = new QSystemTrayIcon(trayIcon());
        m_tray->setToolTip(tip.left(kMaxTip));
        QObject::connect(m_tray, &QSystemTrayIcon::activated, m_host,
                         [this](QSystemTrayIcon::ActivationReason reason) { onTrayActivated(int(reason)); });
        m_tray->show();
        return true;
    case trayaction::kModify:
        if (!m_tray)
            return false;
        m_tray->setToolTip(tip.left(kMaxTip));
        return true;
    case trayaction::kDelete:
        if (!m_tray)
            return false;
        m_tray->hide();
        m_tray->deleteLater();
        m_tray = nullptr;
        return true;
    default:
        return false;
    }
}

void BaseBlkWinow::onTrayActivated(int reason)
{
    // Through the window procedure, as the shell's callback message would.
    if (reason == QSystemTrayIcon::DoubleClick)
        postWindowMessage(m_handle, msg::kTrayCallback, 1, mouse::kLeftButtonDoubleClick);
    else if (reason == QSystemTrayIcon::Context)
        postWindowMessage(m_handle, msg::kTrayCallback, 1, mouse::kRightButtonDown);
}

void BaseBlkWinow::rebuildTrayMenu()
{
    // Each window keeps its own menu, rebuilt when items arrive, so items
    // added after the first right-click still show.
    if (!m_trayMenu)
        m_trayMenu = new QMenu;
    m_trayMenu->clear();
    for (const TrayMenuItem& item : m_trayItems) {
        QAction* action = m_trayMenu->addAction(item.text);
        const int id = item.id;
        const WindowHandle self = m_handle;
        QObject::connect(action, &QAction::triggered, m_trayMenu,
                         [self, id] { postWindowMessage(self, msg::kCommand, std::uintptr_t(id) & 0xFFFF); });
    }
}

void BaseBlkWinow::showTrayMenu()
{
    if (m_host) {
        m_host->raise();
        m_host->activateWindow();
    }
    if (m_trayMenu && !m_trayMenu->isEmpty())
        m_trayMenu->popup(QCursor::pos());
}

}  // namespace webui
