#include "webui/basewindow.h"

#include "sysutil/launch.h"
#include "sysutil/systeminfo.h"
#include "webui/bindings.h"
#include "webui/desktopactions.h"
#include "webui/framework.h"
#include "webui/hostwindow.h"
#include "webui/localpages.h"
#include "webui/webengineview.h"
#include "webui/webwindows.h"
#include "webui/winconstants.h"

#include <QApplication>
#include <QCursor>
#include <QDebug>
#include <QLineEdit>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QWindow>
#include <unistd.h>

namespace webui {

namespace {

int& processZoomLevel()
{
    static int level = kDefaultZoomLevel;
    return level;
}

}  // namespace

BaseWindow::BaseWindow(WindowHandle parent, bool createAsModal, const QString& url, int windowType)
    : m_windowType(windowType), m_parent(parent), m_modal(parent != 0 && createAsModal), m_url(url)
{
}

void BaseWindow::setWindowRect(int left, int top, int right, int bottom)
{
    m_windowRect = WindowRect{left, top, right, bottom};
}

void BaseWindow::setDragRect(int left, int top, int right, int bottom)
{
    m_dragRect = DragRect{left, top, right, bottom};
}

void BaseWindow::setBorderFlags(bool borderless, bool borderlessShadow, bool borderlessDrag, bool borderlessResize,
                                int inset)
{
    m_borderless = borderless;
    m_borderlessShadow = borderlessShadow;
    m_borderlessDrag = borderlessDrag;
    m_borderlessResize = borderlessResize;
    m_inset = qBound(0, inset, 64);
}

void BaseWindow::setCloseParams(bool closeAsHide, bool centerWindow, bool closeAsQuit, unsigned dwExStyle,
                                bool editVisible, int editHeight)
{
    m_closeAsHide = closeAsHide;
    m_centerWindow = centerWindow;
    m_closeAsQuit = closeAsQuit;
    m_dwExStyle = dwExStyle;
    m_editVisible = editVisible;
    m_editHeight = qBound(0, editHeight, 4096);
}

BaseBlkWinow::BaseBlkWinow(WindowHandle parent, bool createAsModal, const QString& url, int windowType)
    : BaseWindow(parent, createAsModal, url, windowType)
{
}

BaseBlkWinow::~BaseBlkWinow()
{
    *m_alive = false;
    if (m_host && !m_destroyed) {
        m_destroyed = true;
        m_view.reset();
        const WindowHandle self = m_handle;
        if (m_parent)
            sendWindowMessage(m_parent, WindowMessage{msg::kChildDestroyed, self, 0, {}});
        WindowRegistry::instance().remove(self);
        WebWindows::instance().removed(this, self);
    }
    WebWindows::instance().forget(this);
    delete m_tray;
    delete m_trayMenu;
    if (m_host) {
        m_host->detach();
        m_host->hide();
        m_host->deleteLater();
    }
}

void BaseBlkWinow::setPageBaseUrl(const QString& url)
{
    m_pageBaseUrl = url;
}

void BaseBlkWinow::setStoragePaths(const QString& localStoragePath, const QString& cookieJarPath)
{
    m_viewOptions.localStoragePath = localStoragePath;
    m_viewOptions.cookieJarPath = cookieJarPath;
}

QWidget* BaseBlkWinow::hostWindow() const
{
    return m_host;
}

QWidget* BaseBlkWinow::parentWindow() const
{
    if (!m_parent)
        return nullptr;
    if (BaseBlkWinow* window = WebWindows::instance().find(m_parent))
        return window->hostWindow();
    return QWidget::find(WId(m_parent));
}

void BaseBlkWinow::enableParent()
{
    if (!m_modal)
        return;
    if (QWidget* parent = parentWindow())
        parent->setEnabled(true);
}

bool BaseBlkWinow::create(int showCommand)
{
    if (m_host || m_destroyed || !qobject_cast<QApplication*>(QCoreApplication::instance()))
        return false;
    if (!m_pageBaseUrl.isEmpty())
        pages::setBaseUrlIfUnset(m_pageBaseUrl);

    m_host = new HostWindow(this);
    m_host->setObjectName(windowClassName());
    m_host->setWindowTitle(QStringLiteral("标题"));
    Qt::WindowFlags flags = Qt::Window;
    if (m_borderless)
        flags |= Qt::FramelessWindowHint;
    if (m_dwExStyle & kExStyleTopmost)
        flags |= Qt::WindowStaysOnTopHint;
    m_host->setWindowFlags(flags);
    m_host->move(100, 120);
    m_handle = WindowHandle(m_host->winId());
    if (m_handle == 0) {
        qWarning() << "window: the host window could not be made";
        m_host->deleteLater();
        m_host = nullptr;
        return false;
    }
    QWidget* owner = parentWindow();
    if (owner && owner->windowHandle() && m_host->windowHandle())
        m_host->windowHandle()->setTransientParent(owner->windowHandle());

    applyScale();
    if (QWindow* native = m_host->windowHandle()) {
        // Moved to a screen of another density: scale again, as at creation.
        QObject::connect(native, &QWindow::screenChanged, m_host, [this](QScreen*) {
            applyScale();
            if (m_view)
                m_view->setZoomFactor(m_zoomFactor * zoomLevel() / 100.0);
        });
    }
    if (m_modal && owner)
        owner->setEnabled(false);
    const QScreen* screen = m_host->screen() ? m_host->screen() : QGuiApplication::primaryScreen();
    const QRect workArea = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    // Every window is centred, whatever centerWindow says.
    m_host->move(centredPosition(m_host->size(), owner ? owner->frameGeometry() : QRect(), workArea));

    WindowRegistry::instance().add(m_handle, this);
    showWindow(showCommand);

    m_view = createWebView(m_host, m_viewOptions);
    // Announced once the view exists: the download manager keeps it by type.
    WebWindows::instance().added(this);
    if (QWidget* widget = m_view->widget())
        m_host->watch(widget);
    bindFrameworkFunctions(this);
    attachView();

    m_addressBox = new QLineEdit(m_host);
    m_addressBox->setMaxLength(1024);
    QObject::connect(m_addressBox, &QLineEdit::returnPressed, m_addressBox, [this] {
        const QString line = m_addressBox->text().left(1024);
        const QString scheme = QStringLiteral("javascript:");
        if (line.startsWith(scheme, Qt::CaseInsensitive)) {
            m_view->runScript(line.mid(scheme.size()));
        } else {
            m_view->loadUrl(line);
            m_addressBox->clearFocus();
        }
    });
    layout();
    if (!m_url.isEmpty())
        m_view->loadUrl(m_url);
    if (QWidget* widget = m_view->widget())
        widget->show();
    if (m_editVisible)
        m_addressBox->setFocus();
    return true;
}

void BaseBlkWinow::applyScale()
{
    const int width = std::max(0, m_windowRect.right - m_windowRect.left);
    const int height = std::max(0, m_windowRect.bottom - m_windowRect.top);
    const sysutil::ScaledSize scaled = sysutil::scaleSize(m_host, width, height);
    m_zoomFactor = scaled.scaleFactor > 0 ? scaled.scaleFactor : 1.0;
    m_scaledWidth = qBound(0, scaled.width, 32767);
    m_scaledHeight = qBound(0, scaled.height, 32767);
    const int margin = m_borderless ? m_inset : 0;
    m_host->resize(m_scaledWidth + 2 * margin, m_scaledHeight + 2 * margin);
}

void BaseBlkWinow::attachView()
{
    WebView* view = m_view.get();
    view->setZoomFactor(m_zoomFactor * zoomLevel() / 100.0);
    view->onTitleChanged = [this](const QString& title) {
        if (m_host)
            m_host->setWindowTitle(title.left(1024));
    };
    view->onUrlChanged = [this](const QString& url) {
        if (m_addressBox)
            m_addressBox->setText(url.left(1024));
    };
    view->onExecRequested = [this](const QString& commandLine) { startCommandLine(commandLine); };
    view->onDownloadRequested = [](const QString& url) {
        // The view never downloads: the desktop opens web links.
        const QUrl link(url);
        if (link.scheme() == QLatin1String("https") || link.scheme() == QLatin1String("http"))
            desktopActions().openUrl(link);
    };
    const auto alive = m_alive;
    view->onLoadFinished = [this, alive](bool ok) {
        if (*alive)
            onLoadFinished(ok);
    };
    view->onRenderProcessGone = [this, alive] {
        if (*alive)
            showRenderFailure();
    };
}

void BaseBlkWinow::showRenderFailure()
{
    if (!m_host || m_renderFailure)
        return;
    // A native message, as the page can no longer show anything (a borderless
    // window would have no way to close).
    auto* box = new QMessageBox(QMessageBox::Critical, QCoreApplication::applicationName(),
                                QCoreApplication::translate("webui", "This window's page keeps stopping and "
                                                                     "cannot be shown."),
                                QMessageBox::NoButton, m_host);
    box->setObjectName(QStringLiteral("renderFailure"));
    QPushButton* retry = box->addButton(QCoreApplication::translate("webui", "Try again"), QMessageBox::AcceptRole);
    box->addButton(QCoreApplication::translate("webui", "Quit"), QMessageBox::RejectRole);
    box->setAttribute(Qt::WA_DeleteOnClose);
    m_renderFailure = box;
    const auto alive = m_alive;
    QObject::connect(box, &QMessageBox::finished, box, [this, alive, box, retry] {
        if (!*alive)
            return;
        m_renderFailure = nullptr;
        if (box->clickedButton() == retry) {
            if (auto* engine = dynamic_cast<WebEngineView*>(m_view.get()))
                engine->retryAfterRenderProcessGone();
            return;
        }
        qWarning() << "window: quitting as the page cannot be shown";
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
    });
    box->open();
}

void BaseBlkWinow::layout()
{
    if (!m_host || !m_view)
        return;
    const int x = m_borderless ? m_inset : 0;
    const int width = std::max(0, m_host->width() - 2 * x);
    const int height = std::max(0, m_host->height() - 2 * x);
    QWidget* viewWidget = m_view->widget();
    if (m_editVisible && m_addressBox) {
        m_addressBox->setGeometry(x, x, width, m_editHeight);
        m_addressBox->show();
        if (viewWidget)
            viewWidget->setGeometry(x, m_editHeight + x, width, std::max(0, height - m_editHeight));
    } else {
        if (m_addressBox) {
            m_addressBox->hide();
            m_addressBox->setGeometry(0, 0, 0, 0);
        }
        if (viewWidget)
            viewWidget->setGeometry(x, x, width, height);
    }
}

void BaseBlkWinow::bindCommand(const QString& name, int declaredCount, NativeFunction function)
{
    if (m_view)
        m_view->bindFunction(name, declaredCount, std::move(function));
    else
        BindingRegistry::instance().bind(name, declaredCount, std::move(function));
}

void BaseBlkWinow::callPage(const QString& name, const QJsonArray& args, PageResultCallback onResult)
{
    if (!m_view)
        return;
    if (!onResult) {
        m_view->callPageFunction(name, args, {});
        return;
    }
    const auto alive = m_alive;
    m_view->callPageFunction(name, args, [alive, onResult](const QJsonValue& result) {
        if (*alive)
            onResult(result);
    });
}

void BaseBlkWinow::loadUrl(const QString& url)
{
    if (m_view)
        m_view->loadUrl(url);
}

bool BaseBlkWinow::showWindow(int showCommand)
{
    if (!m_host)
        return false;
    return applyShowCommand(m_host, showCommand, m_normalGeometry);
}

void BaseBlkWinow::destroyWindow()
{
    if (m_destroyed || !m_host)
        return;
    m_destroyed = true;
    // What Windows does at WM_DESTROY: the view goes, the loop may end.
    m_host->hide();
    m_view.reset();
    if (m_closeAsQuit)
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
    // And at WM_NCDESTROY: the parent hears of it, the registry forgets it.
    const WindowHandle self = m_handle;
    if (m_parent)
        sendWindowMessage(m_parent, WindowMessage{msg::kChildDestroyed, self, 0, {}});
    WindowRegistry::instance().remove(self);
    WebWindows::instance().removed(this, self);
    if (m_tray)
        m_tray->hide();
    WebWindows::instance().deleteLater(this);
}

void BaseBlkWinow::onHostCloseRequested()
{
    windowProc(WindowMessage{msg::kSysCommand, msg::kScClose, 0, {}});
}

void BaseBlkWinow::onLoadFinished(bool ok)
{
    if (!m_view)
        return;
    qInfo().noquote() << (ok ? "window: loaded" : "window: failed to load") << m_view->url().left(300)
                      << QStringLiteral("\"%1\"").arg(m_view->title().left(200));
    m_view->runTrustedScript(QStringLiteral("window.handle = %1; window.pid = %2;")
                          .arg(QString::number(qulonglong(m_handle)), QString::number(qint64(getpid()))));
}

void BaseBlkWinow::startCommandLine(const QString& commandLine)
{
    const std::optional<QStringList> argv = sysutil::splitCommandLine(commandLine.left(32767));
    if (!argv || argv->isEmpty()) {
        qWarning().noquote() << "exec: nothing to start in" << commandLine.left(200);
        return;
    }
    const win32::ErrorCode error = desktopActions().startProgram(*argv, QString());
    if (error != win32::kSuccess)
        qWarning().noquote() << "exec: could not start" << argv->first().left(200) << "error" << error;
}

int BaseBlkWinow::zoomLevel()
{
    return processZoomLevel();
}

void BaseBlkWinow::runCommand(int id)
{
    switch (id) {
    case command::kAbout:
        QMessageBox::about(m_host, QCoreApplication::applicationName(),
                           QCoreApplication::applicationName() + QLatin1Char(' ') +
                               QCoreApplication::applicationVersion());
        return;
    case command::kNothing:
        return;
    case command::kDestroy:
        destroyWindow();
        return;
    case command::kBack:
        if (m_view)
            m_view->goBack();
        return;
    case command::kForward:
        if (m_view)
            m_view->goForward();
        return;
    case command::kZoomIn:
    case command::kZoomOut:
    case command::kZoomReset: {
        int& level = processZoomLevel();
        level = id == command::kZoomIn ? nextZoomLevel(level)
                                       : id == command::kZoomOut ? previousZoomLevel(level) : kDefaultZoomLevel;
        if (m_view)
            m_view->setZoomFactor(level / 100.0);
        return;
    }
    case command::kToggleEditable:
        if (m_view) {
            m_editable = !m_editable;
            m_view->setEditable(m_editable);
        }
        return;
    case command::kShowCookies:
        if (m_view)
            QMessageBox::information(m_host, QStringLiteral("Cookie"), m_view->cookies());
        return;
    default:
        break;
    }
    for (const TrayMenuItem& item : m_trayItems) {
        if (item.id == id) {
            callPage(item.function);
            return;
        }
    }
}

std::intptr_t BaseBlkWinow::windowProc(const WindowMessage& message)
{
    switch (message.message) {
    case msg::kChildDestroyed:
        callPage(QStringLiteral("notifyWindowMSGByCpp"), QJsonArray{double(message.wParam), 1});
        return 0;
    case msg::kDragRect:
        if (message.payload)
            m_dragRect = *std::static_pointer_cast<DragRect>(message.payload);
        return 0;
    case msg::kTrayCallback:
        if (message.lParam == mouse::kLeftButtonDoubleClick && !m_trayDoubleClick.isEmpty())
            callPage(m_trayDoubleClick);
        else if (message.lParam == mouse::kRightButtonDown)
            showTrayMenu();
        return 0;
    case msg::kCommand:
        runCommand(int(message.wParam & 0xFFFF));
        return 0;
    case msg::kSysCommand:
        switch (message.wParam & 0xFFF0) {
        case msg::kScClose:
            if (m_closeAsQuit) {
                postWindowMessage(m_handle, msg::kClose);
                return 0;
            }
            enableParent();
            if (m_closeAsHide) {
                if (m_host)
                    m_host->hide();
                return 0;
            }
            destroyWindow();
            return 0;
        case syscmd::kMinimize:
            showWindow(showcmd::kMinimize);
            return 0;
        case syscmd::kMaximize:
            showWindow(showcmd::kMaximize);
            return 0;
        case syscmd::kRestore:
            showWindow(showcmd::kRestore);
            return 0;
        default:
            return 0;
        }
    case msg::kClose:
        enableParent();
        destroyWindow();
        return 0;
    default:
        return 0;
    }
}

void BaseBlkWinow::onViewMouseEvent(QObject* watched, QEvent* event)
{
    if (!m_host || !m_borderless)
        return;
    auto* mouseEvent = static_cast<QMouseEvent*>(event);
    const QPoint global = mouseEvent->globalPos();
    QWindow* window = m_host->windowHandle();
    const int hit = borderlessHitTest(m_host->frameGeometry(), global, m_borderlessResize, m_borderlessDrag);
    const Qt::Edges edges = edgesForHitTest(hit);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        if (mouseEvent->button() != Qt::LeftButton)
            return;
        if (edges && window && window->startSystemResize(edges))
            return;
        QWidget* viewWidget = m_view ? m_view->widget() : nullptr;
        const QPoint inView = viewWidget ? viewWidget->mapFromGlobal(global) : m_host->mapFromGlobal(global);
        if (!inDragRect(m_dragRect, inView))
            return;
        if (window && window->startSystemMove())
            return;
        m_dragging = true;
        m_dragStartWindow = m_host->pos();
        m_dragStartMouse = global;
        return;
    }
    case QEvent::MouseMove:
        if (m_dragging) {
            m_host->move(m_dragStartWindow + (global - m_dragStartMouse));
            return;
        }
        if (auto* widget = qobject_cast<QWidget*>(watched); widget && m_borderlessResize) {
            static const Qt::CursorShape shapes[] = {Qt::SizeHorCursor, Qt::SizeVerCursor, Qt::SizeFDiagCursor,
                                                     Qt::SizeBDiagCursor};
            if (edges == Qt::LeftEdge || edges == Qt::RightEdge)
                m_host->setCursor(shapes[0]);
            else if (edges == Qt::TopEdge || edges == Qt::BottomEdge)
                m_host->setCursor(shapes[1]);
            else if (edges == (Qt::TopEdge | Qt::LeftEdge) || edges == (Qt::BottomEdge | Qt::RightEdge))
                m_host->setCursor(shapes[2]);
            else if (edges)
                m_host->setCursor(shapes[3]);
            else
                m_host->unsetCursor();
        }
        return;
    case QEvent::MouseButtonRelease:
        m_dragging = false;
        return;
    default:
        return;
    }
}

}  // namespace webui
