#pragma once
// Every live page window of the process, in creation order, and the news of
// their coming and going (the download manager keeps each window's view by
// its window type through these signals).

#include "webui/windowmessage.h"

#include <QObject>
#include <set>
#include <vector>

namespace webui {

class BaseBlkWinow;

class WebWindows : public QObject {
    Q_OBJECT
public:
    static WebWindows& instance();

    // The created, not yet destroyed window with that handle, or null.
    BaseBlkWinow* find(WindowHandle handle) const;
    std::vector<BaseBlkWinow*> windows() const { return m_windows; }

    // Deletes every window, newest first (at exit, before the engine goes).
    void destroyAll();

    // Called by the windows themselves.
    void added(BaseBlkWinow* window);
    void removed(BaseBlkWinow* window, WindowHandle handle);
    void deleteLater(BaseBlkWinow* window);
    void forget(BaseBlkWinow* window);

signals:
    void windowCreated(webui::BaseBlkWinow* window);
    void windowDestroyed(webui::WindowHandle handle);

private:
    WebWindows() = default;
    std::vector<BaseBlkWinow*> m_windows;
    std::set<BaseBlkWinow*> m_pendingDelete;
    std::set<BaseBlkWinow*> m_all;
};

}  // namespace webui
