// The framework functions that make, show and move page windows.

#include "webui/basewindow.h"
#include "webui/bindings.h"
#include "webui/framework.h"
#include "webui/jsargs.h"
#include "webui/webwindows.h"
#include "webui/winconstants.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>

namespace webui {

namespace {

using namespace jsargs;

const QJsonValue kUndefined(QJsonValue::Undefined);

BaseBlkWinow* windowOf(const QJsonValue& handle)
{
    return WebWindows::instance().find(toHandle(handle));
}

int clampedSum(int a, int b)
{
    return int(qBound<qint64>(INT_MIN, qint64(a) + qint64(b), INT_MAX));
}

QJsonValue handleValue(const BaseBlkWinow* window)
{
    return double(window->handle());
}

// A window made for a page: it owns itself from here on (it goes when closed).
QJsonValue createPageWindow(BaseBlkWinow* window)
{
    if (!window->create(1)) {
        delete window;
        return 0;
    }
    return handleValue(window);
}

QJsonValue createWindow(const QJsonArray& args)
{
    if (args.isEmpty())
        return kUndefined;
    const std::optional<QString> url = toText(at(args, 4), kMaxCreateWindowUrl);
    if (!url)
        return kUndefined;
    auto* window = new BaseBlkWinow(toHandle(at(args, 0)), toBool(at(args, 3)), *url, toInt(at(args, 5)));
    window->setWindowRect(0, 0, toInt(at(args, 1)), toInt(at(args, 2)));
    window->setDragRect(-1, 0, -1, 30);
    window->setBorderFlags(true, true, false, false, 0);
    window->setCloseParams(false, false, false, 0, false, 30);
    return createPageWindow(window);
}

QJsonValue createWindow2(const QJsonArray& args)
{
    if (args.isEmpty())
        return kUndefined;
    const QJsonObject parent = at(args, 0).toObject();
    const QJsonObject rect = at(args, 1).toObject();
    const QJsonObject drag = at(args, 2).toObject();
    const QJsonObject border = at(args, 3).toObject();
    const QJsonObject close = at(args, 4).toObject();
    auto key = [](const QJsonObject& object, const char* name) { return object.value(QLatin1String(name)); };
    const std::optional<QString> url = toText(key(parent, "url"), kMaxCreateWindowUrl);
    if (!url)
        return kUndefined;
    auto* window = new BaseBlkWinow(toHandle(key(parent, "hParent")), toBool(key(parent, "createAsModal")), *url, 0);
    window->setWindowRect(toInt(key(rect, "left")), toInt(key(rect, "top")), toInt(key(rect, "right")),
                          toInt(key(rect, "bottom")));
    window->setDragRect(toInt(key(drag, "left")), toInt(key(drag, "top")), toInt(key(drag, "right")),
                        toInt(key(drag, "bottom")));
    window->setBorderFlags(toBool(key(border, "borderless")), toBool(key(border, "borderlessShadow")),
                           toBool(key(border, "borderlessDrag")), toBool(key(border, "borderlessResize")), 0);
    window->setCloseParams(toBool(key(close, "closeAsHide")), toBool(key(close, "centerWindow")),
                           toBool(key(close, "closeAsQuit")), unsigned(toInt(key(close, "dwExStyle"))),
                           toBool(key(close, "editVisible")), toInt(key(close, "editHeight")));
    return createPageWindow(window);
}

QJsonValue showWindow(const QJsonArray& args)
{
    BaseBlkWinow* window = windowOf(at(args, 0));
    return window ? window->showWindow(toInt(at(args, 1))) : false;
}

QJsonValue showAndLoad(const QJsonArray& args, bool show)
{
    BaseBlkWinow* window = windowOf(at(args, 0));
    if (!window)
        return false;
    const std::optional<QString> url = toText(at(args, show ? 2 : 1), kMaxUrlBytes);
    if (show)
        window->showWindow(toInt(at(args, 1)));
    if (!url)
        return false;
    if (!url->isEmpty())
        window->loadUrl(*url);
    return true;
}

QJsonValue closeWindow(const QJsonArray& args)
{
    BaseBlkWinow* window = windowOf(at(args, 0));
    if (!window)
        return false;
    window->showWindow(showcmd::kMinimize);
    return true;
}

QJsonValue setDragRect(const QJsonArray& args)
{
    const WindowHandle handle = toHandle(at(args, 1));
    const int x = toInt(at(args, 2));
    const int y = toInt(at(args, 3));
    auto rect = std::make_shared<DragRect>(
        DragRect{x, y, clampedSum(x, toInt(at(args, 4))), clampedSum(y, toInt(at(args, 5)))});
    sendWindowMessage(handle, WindowMessage{msg::kDragRect, 0, 0, std::move(rect)});
    return kUndefined;
}

QJsonValue resizeWindow(const QJsonArray& args)
{
    BaseBlkWinow* window = windowOf(at(args, 0));
    const int width = toInt(at(args, 1));
    const int height = toInt(at(args, 2));
    if (!window || !window->hostWindow() || width < 0 || height < 0 || width > 32767 || height > 32767)
        return 0;
    window->hostWindow()->resize(width, height);
    return 1;
}

QJsonValue getWindowRect(const QJsonArray& args)
{
    BaseBlkWinow* window = windowOf(at(args, 0));
    if (!window || !window->hostWindow())
        return rectObject(0, 0, 0, 0);
    const QRect frame = window->hostWindow()->frameGeometry();
    return rectObject(frame.left(), frame.top(), frame.left() + frame.width(), frame.top() + frame.height());
}

QJsonValue enumDisplayMonitors(const QJsonArray&)
{
    QJsonArray monitors;
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (const QScreen* screen : screens) {
        for (const QRect& r : {screen->geometry(), screen->availableGeometry()})
            monitors.append(rectObject(r.left(), r.top(), r.left() + r.width(), r.top() + r.height()));
    }
    return monitors;
}

QJsonValue sendMessage(const QJsonArray& args)
{
    const unsigned message = unsigned(toInt(at(args, 1)));
    // These carry a record a page cannot give: their receivers rely on it.
    if (message == msg::kDragRect || message == msg::kPrinterChanged)
        return 0;
    const std::intptr_t result = sendWindowMessage(
        toHandle(at(args, 0)),
        WindowMessage{message, std::uintptr_t(std::uint32_t(toInt(at(args, 2)))), toInt(at(args, 3)), {}});
    return double(result);
}

QJsonValue setForegroundWindow(const QJsonArray& args)
{
    if (BaseBlkWinow* window = windowOf(at(args, 0))) {
        if (QWidget* host = window->hostWindow()) {
            host->raise();
            host->activateWindow();
        }
    }
    return true;
}

}  // namespace

void bindWindowFunctions(BaseBlkWinow* bindingWindow)
{
    BindingRegistry& registry = BindingRegistry::instance();
    const WindowHandle bindingHandle = bindingWindow ? bindingWindow->handle() : 0;
    registry.bind(QStringLiteral("createWindow"), 5, createWindow);
    registry.bind(QStringLiteral("createWindow2"), 5, createWindow2);
    registry.bind(QStringLiteral("showWindow"), 2, showWindow);
    registry.bind(QStringLiteral("showWinow"), 2, showWindow);
    registry.bind(QStringLiteral("showWindow2"), 2, [](const QJsonArray& a) { return showAndLoad(a, true); });
    registry.bind(QStringLiteral("showWinow2"), 2, [](const QJsonArray& a) { return showAndLoad(a, true); });
    registry.bind(QStringLiteral("loadurl"), 0, [](const QJsonArray& a) { return showAndLoad(a, false); });
    registry.bind(QStringLiteral("closeWindow"), 1, closeWindow);
    registry.bind(QStringLiteral("setDragRect"), 5, setDragRect);
    registry.bind(QStringLiteral("resizeWindow"), 3, resizeWindow);
    registry.bind(QStringLiteral("getWindowRect"), 1, getWindowRect);
    registry.bind(QStringLiteral("enumDisplayMonitors"), 0, enumDisplayMonitors);
    registry.bind(QStringLiteral("sendMessage"), 3, sendMessage);
    registry.bind(QStringLiteral("setForegroundWindow"), 1, setForegroundWindow);
    registry.bind(QStringLiteral("shellNotifyIcon"), 4, [bindingHandle](const QJsonArray& args) -> QJsonValue {
        // The tray belongs to the window the page names; the binding window
        // stands in only when the handle names none.
        BaseBlkWinow* window = windowOf(at(args, 1));
        if (!window)
            window = WebWindows::instance().find(bindingHandle);
        if (!window)
            return false;
        const std::optional<QString> tip = toText(at(args, 2), 4096);
        return window->shellNotifyIcon(toInt(at(args, 0)), tip.value_or(QString()), at(args, 4));
    });
}

void bindFrameworkFunctions(BaseBlkWinow* bindingWindow)
{
    bindWindowFunctions(bindingWindow);
    bindSystemFunctions();
}

const std::vector<FunctionSpec>& frameworkFunctions()
{
    static const std::vector<FunctionSpec> list = {
        {"createWindow", 5},        {"createWindow2", 5},
        {"showWindow", 2},          {"showWinow", 2},
        {"showWindow2", 2},         {"showWinow2", 2},
        {"loadurl", 0},             {"closeWindow", 1},
        {"setDragRect", 5},         {"resizeWindow", 3},
        {"getWindowRect", 1},       {"enumDisplayMonitors", 0},
        {"sendMessage", 3},         {"setForegroundWindow", 1},
        {"shellNotifyIcon", 4},     {"shellExecute", 6},
        {"selectDir", 0},           {"openDirAndSelectFile", 0},
        {"pathFileExists", 1},      {"isProcessRunning", 1},
        {"getCurrentModuleFileDirectory", 0}, {"getModuleFileName", 1},
        {"shGetKnownFolderPath", 3}, {"formatMessage", 1},
        {"kernelVersion", 0},       {"getDeviceid", 0},
        {"getUserDefaultUILanguage", 0}, {"baseSystemInfo", 1},
        {"addToStartupList", 2},    {"deleteFromStartupList", 1},
        {"checkStartupList", 2},
    };
    return list;
}

}  // namespace webui
