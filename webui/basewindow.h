#pragma once
// Korvane's page windows. A BaseBlkWinow is a top-level host window holding
// one web view, with the behaviour that lets a borderless page act as an
// application window: drag rectangle, resize edges, maximise to the work
// area, close-as-hide, close-as-quit, modality, tray icon and address box.
// Its window procedure receives the numbered window messages (see
// windowmessage.h) on the UI thread.
//
// Lifetime: create with new. destroyWindow() (a close, message 0x10, or
// command 107) tears the window down, tells the parent window (message 1124
// with this window's handle) and deletes the object from the event loop.
// Deleting the object directly does the same teardown at once.

#include "webui/viewfactory.h"
#include "webui/webview.h"
#include "webui/windowchrome.h"
#include "webui/windowmessage.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QRect>
#include <QString>
#include <memory>
#include <vector>

class QLineEdit;
class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace webui {

class HostWindow;

// The creation parameters every page window has, with their initial values.
class BaseWindow {
public:
    BaseWindow(WindowHandle parent, bool createAsModal, const QString& url, int windowType);
    virtual ~BaseWindow() = default;
    virtual WindowHandle handle() const = 0;

    int windowType() const { return m_windowType; }
    WindowHandle parentHandle() const { return m_parent; }
    bool isModal() const { return m_modal; }
    const QString& url() const { return m_url; }
    const WindowRect& windowRect() const { return m_windowRect; }
    const DragRect& dragRect() const { return m_dragRect; }
    bool borderless() const { return m_borderless; }
    bool borderlessShadow() const { return m_borderlessShadow; }
    bool borderlessDrag() const { return m_borderlessDrag; }
    bool borderlessResize() const { return m_borderlessResize; }
    int inset() const { return m_inset; }
    bool closeAsHide() const { return m_closeAsHide; }
    bool centerWindow() const { return m_centerWindow; }
    bool closeAsQuit() const { return m_closeAsQuit; }
    bool editVisible() const { return m_editVisible; }
    int editHeight() const { return m_editHeight; }
    unsigned dwExStyle() const { return m_dwExStyle; }

    // Before create().
    void setWindowRect(int left, int top, int right, int bottom);
    void setDragRect(int left, int top, int right, int bottom);
    void setBorderFlags(bool borderless, bool borderlessShadow, bool borderlessDrag, bool borderlessResize,
                        int inset);
    void setCloseParams(bool closeAsHide, bool centerWindow, bool closeAsQuit, unsigned dwExStyle, bool editVisible,
                        int editHeight);

protected:
    int m_windowType;
    WindowHandle m_parent;
    bool m_modal;
    QString m_url;
    WindowRect m_windowRect;
    DragRect m_dragRect;
    bool m_borderlessResize = true;
    bool m_borderlessDrag = true;
    bool m_borderless = true;
    bool m_borderlessShadow = true;
    int m_inset = 1;
    bool m_closeAsHide = false;
    bool m_centerWindow = false;
    bool m_editVisible = false;
    int m_editHeight = 30;
    bool m_closeAsQuit = false;
    unsigned m_dwExStyle = 0;
};

struct TrayMenuItem {
    QString text;
    int id = 0;
    QString function;
};

class BaseBlkWinow : public BaseWindow, public WindowMessageTarget {
public:
    BaseBlkWinow(WindowHandle parent, bool createAsModal, const QString& url, int windowType);
    ~BaseBlkWinow() override;
    BaseBlkWinow(const BaseBlkWinow&) = delete;
    BaseBlkWinow& operator=(const BaseBlkWinow&) = delete;

    // Before create(): the root of the page server whose files are served
    // from html/, and the folders for local storage and cookies.
    void setPageBaseUrl(const QString& url);
    QString pageBaseUrl() const { return m_pageBaseUrl; }
    void setStoragePaths(const QString& localStoragePath, const QString& cookieJarPath);

    // Builds the host window and its view, binds the framework functions and
    // starts loading the page. False when the host window cannot be made.
    bool create(int showCommand = 1);
    bool isCreated() const { return m_host != nullptr; }
    bool isDestroyed() const { return m_destroyed; }

    WindowHandle handle() const override { return m_handle; }
    QWidget* hostWindow() const;
    WebView* view() const { return m_view.get(); }
    QLineEdit* addressBox() const { return m_addressBox; }

    // Binds a page-callable function for every page (bindings are
    // process-wide; a later binding of the same name replaces this one).
    void bindCommand(const QString& name, int declaredCount, NativeFunction function);
    // Calls a global function of this window's page, asynchronously; calls
    // arrive in the order made. The callback never runs once the window is
    // destroyed.
    void callPage(const QString& name, const QJsonArray& args = {}, PageResultCallback onResult = {});
    void loadUrl(const QString& url);

    // A Win32 show command; true when the window was visible before.
    bool showWindow(int showCommand);
    void destroyWindow();
    void setDragRectNow(const DragRect& rect) { m_dragRect = rect; }

    // Tray icon: action 0 add, 1 modify, 2 delete; the menu object as the
    // pages send it. True on success.
    bool shellNotifyIcon(int action, const QString& tip, const QJsonValue& menu);
    bool hasTrayIcon() const { return m_tray != nullptr; }
    QString trayDoubleClickFunction() const { return m_trayDoubleClick; }
    const std::vector<TrayMenuItem>& trayMenuItems() const { return m_trayItems; }
    QString trayTip() const;

    double zoomFactor() const { return m_zoomFactor; }
    // The process-wide zoom level in percent.
    static int zoomLevel();

    std::intptr_t windowProc(const WindowMessage& message) override;

    // Host window events (called by the host window).
    void layout();
    void onHostCloseRequested();
    void onViewMouseEvent(QObject* watched, QEvent* event);

protected:
    // Runs when a page load ends; the default gives the page its globals
    // "handle" and "pid" when it is one of ours.
    virtual void onLoadFinished(bool ok);
    virtual QString windowClassName() const { return QStringLiteral("commonWin"); }
    // Runs a command id of a tray menu item (message 0x111).
    virtual void runCommand(int id);
    void startCommandLine(const QString& commandLine);
    QWidget* parentWindow() const;
    void enableParent();

private:
    void applyScale();
    void attachView();
    void onTrayActivated(int reason);
    void showRenderFailure();
    void showTrayMenu();
    void rebuildTrayMenu();

    QString m_pageBaseUrl;
    ViewOptions m_viewOptions;
    HostWindow* m_host = nullptr;
    QLineEdit* m_addressBox = nullptr;
    std::unique_ptr<WebView> m_view;
    WindowHandle m_handle = 0;
    bool m_destroyed = false;
    bool m_editable = false;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    double m_zoomFactor = 1.0;
    int m_scaledWidth = 0;
    int m_scaledHeight = 0;
    QRect m_normalGeometry;  // valid while maximised
    // Drag state when the platform cannot move the window itself.
    bool m_dragging = false;
    QPoint m_dragStartWindow;
    QPoint m_dragStartMouse;
    // Tray.
    QString m_trayDoubleClick;
    std::vector<TrayMenuItem> m_trayItems;
    QSystemTrayIcon* m_tray = nullptr;
    QMenu* m_trayMenu = nullptr;
    QWidget* m_renderFailure = nullptr;  // the open message, owned by the host window
};

}  // namespace webui
