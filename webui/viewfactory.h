#pragma once
// Which web view new windows get. The program uses Qt WebEngine; tests (or
// KORVANE_WEB_ENGINE=headless) switch the whole process to the headless view.

#include "webui/webview.h"

#include <QString>
#include <memory>

namespace webui {

enum class EngineKind { WebEngine, Headless };

EngineKind engineKind();
void setEngineKind(EngineKind kind);

struct ViewOptions {
    QString localStoragePath;  // empty: the program's profile under the user's data folder
    QString cookieJarPath;
};

std::unique_ptr<WebView> createWebView(QWidget* parent, const ViewOptions& options = {});

// Why Qt WebEngine cannot start here (its helper process or resources are
// missing), or empty when it can.
QString webEngineProblem();

// Qt WebEngine refuses to start as root with its sandbox on: turn it off then,
// with a warning. Call before the application object exists.
void disableSandboxWhenRoot();

// Prepares the process for Qt WebEngine: the private scheme, shared GL
// contexts, the sandbox rule above. Call before the application object exists.
void prepareWebEngine();

// Destroys every web window, lets pending deletions run and releases the
// engine profiles. Call before the application object goes.
void shutdownWebUi();

}  // namespace webui
