#pragma once
// What the pages may ask of the desktop: open a URL or file, show a file in
// its folder, pick a folder, start a program. Each is one replaceable
// function, so tests can watch them without starting anything.

#include "sysutil/win32errors.h"

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

class QWidget;

namespace webui {

struct DesktopActions {
    std::function<bool(const QUrl& url)> openUrl;
    // Opens the folder holding the item, with the item selected where the
    // file manager can do that.
    std::function<bool(const QString& path)> showItemInFolder;
    // The chosen folder, or empty when cancelled.
    std::function<QString(QWidget* owner)> pickFolder;
    // Starts argv[0] (searched in PATH) with the rest as its arguments, no
    // shell, not waited for.
    std::function<win32::ErrorCode(const QStringList& argv, const QString& workingDirectory)> startProgram;
};

DesktopActions& desktopActions();
// Puts back the real desktop functions.
void resetDesktopActions();

}  // namespace webui
