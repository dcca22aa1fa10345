#pragma once
// A headless page window on bridge.html, with the desktop replaced by
// recorders and the user's folders by temporary ones.

#include "webuitest.h"

#include "webui/bindings.h"
#include "webui/desktopactions.h"
#include "webui/webwindows.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

namespace webuitest {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        webui::setEngineKind(webui::EngineKind::Headless);
        webui::pages::setBaseUrl(QString::fromLatin1(kBase));
        webui::DesktopActions& desktop = webui::desktopActions();
        desktop.openUrl = [this](const QUrl& url) {
            openedUrls << url.toString(QUrl::FullyEncoded);
            return true;
        };
        desktop.showItemInFolder = [this](const QString& path) {
            shownItems << path;
            return QFileInfo::exists(path);
        };
        desktop.pickFolder = [this](QWidget* owner) {
            pickerOwners.push_back(owner);
            return pickedFolder;
        };
        desktop.startProgram = [this](const QStringList& argv, const QString& dir) {
            started.push_back({argv, dir});
            return win32::kSuccess;
        };
        window = openWindow(QStringLiteral("bridge.html"));
        ASSERT_TRUE(window->isCreated());
        ASSERT_EQ(window->loads, 1);
    }

    void TearDown() override
    {
        webui::WebWindows::instance().destroyAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        webui::resetDesktopActions();
    }

    QJsonValue page(const QString& script) { return evaluate(window->view(), script); }
    static QString js(const QString& text) { return QStringLiteral("'") + text + QStringLiteral("'"); }

    QTemporaryDir home;
    testsupport::ScopedEnv html{"KORVANE_HTML_DIR", pagesDir().toUtf8()};
    testsupport::ScopedEnv config{"XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8()};
    testsupport::ScopedEnv data{"XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toUtf8()};
    RecordingWindow* window = nullptr;
    QStringList openedUrls;
    QStringList shownItems;
    std::vector<QWidget*> pickerOwners;
    QString pickedFolder;
    std::vector<std::pair<QStringList, QString>> started;
};

}  // namespace webuitest
