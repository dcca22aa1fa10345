#include "app/startupwiring.h"

#include "online/downloaderobjmanager.h"
#include "printers/printerapi.h"
#include "webui/basewindow.h"
#include "webui/webwindows.h"

#include <QCoreApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMetaObject>
#include <QThread>
#include <map>
#include <utility>

namespace app {

void registerWindowsWithDownloads()
{
    // windowDestroyed names only the handle: keep what was registered for it.
    static std::map<webui::WindowHandle, std::pair<webui::WebView*, int>> registered;
    webui::WebWindows& windows = webui::WebWindows::instance();
    QObject::connect(&windows, &webui::WebWindows::windowCreated, [](webui::BaseBlkWinow* window) {
        if (!window || !window->view())
            return;
        registered[window->handle()] = {window->view(), window->windowType()};
        online::DownloaderObjManager::instance().addWebstroage(window->view(), window->windowType());
    });
    QObject::connect(&windows, &webui::WebWindows::windowDestroyed, [](webui::WindowHandle handle) {
        const auto it = registered.find(handle);
        if (it == registered.end())
            return;
        online::DownloaderObjManager::instance().removeWebstroage(it->second.first, it->second.second);
        registered.erase(it);
    });
}

void askSchedulerPasswordsInDialog()
{
    // Requests come from whichever thread talks to the scheduler; the dialog
    // belongs to the UI thread, which the asking thread waits for.
    PrinterAPI::setPasswordPrompt([](const QString& prompt, const QString& user) -> std::optional<QString> {
        std::optional<QString> answer;
        auto ask = [&] {
            bool ok = false;
            const QString text = QInputDialog::getText(
                nullptr, QCoreApplication::translate("app", "Printer administration"),
                QCoreApplication::translate("app", "%1\nPassword for %2:").arg(prompt, user), QLineEdit::Password,
                QString(), &ok);
            if (ok)
                answer = text;
        };
        QObject* app = QCoreApplication::instance();
        if (!app)
            return std::nullopt;
        if (QThread::currentThread() == app->thread())
            ask();
        else
            QMetaObject::invokeMethod(app, ask, Qt::BlockingQueuedConnection);
        return answer;
    });
}

}  // namespace app
