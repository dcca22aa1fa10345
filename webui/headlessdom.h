#pragma once
// The pieces of a page the headless view needs: its scripts and title, read
// from the HTML text, and the small window/document stub its scripts run on.

#include <QString>
#include <QUrl>
#include <vector>

namespace webui::headless {

struct PageScript {
    QString source;  // inline code; empty when src is set
    QString src;     // as written in the page
    int line = 1;    // first line of the inline code in the page
};

struct PageParts {
    QString title;
    std::vector<PageScript> scripts;
};

PageParts parsePage(const QString& html);

// The stub of window, document, console, timers, storage and location; it
// expects the native host as the global "__korvaneHost".
QString preludeScript(const QUrl& pageUrl, const QString& title);

}  // namespace webui::headless
