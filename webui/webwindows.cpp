#include "webui/webwindows.h"

#include "webui/basewindow.h"

#include <algorithm>

namespace webui {

WebWindows& WebWindows::instance()
{
    static WebWindows* windows = new WebWindows;  // outlives every window
    return *windows;
}

BaseBlkWinow* WebWindows::find(WindowHandle handle) const
{
    if (handle == 0)
        return nullptr;
    for (BaseBlkWinow* window : m_windows)
        if (window->handle() == handle)
            return window;
    return nullptr;
}

void WebWindows::destroyAll()
{
    while (!m_all.empty()) {
        // Newest first: children go before the windows that opened them.
        BaseBlkWinow* window = m_windows.empty() ? *m_all.begin() : m_windows.back();
        delete window;
    }
}

void WebWindows::added(BaseBlkWinow* window)
{
    m_all.insert(window);
    if (std::find(m_windows.begin(), m_windows.end(), window) == m_windows.end())
        m_windows.push_back(window);
    emit windowCreated(window);
}

void WebWindows::removed(BaseBlkWinow* window, WindowHandle handle)
{
    m_windows.erase(std::remove(m_windows.begin(), m_windows.end(), window), m_windows.end());
    emit windowDestroyed(handle);
}

void WebWindows::deleteLater(BaseBlkWinow* window)
{
    m_all.insert(window);
    m_pendingDelete.insert(window);
    QMetaObject::invokeMethod(
        this,
        [this, window] {
            if (m_pendingDelete.count(window))
                delete window;  // its destructor calls forget()
        },
        Qt::QueuedConnection);
}

void WebWindows::forget(BaseBlkWinow* window)
{
    m_pendingDelete.erase(window);
    m_all.erase(window);
    m_windows.erase(std::remove(m_windows.begin(), m_windows.end(), window), m_windows.end());
}

}  // namespace webui
