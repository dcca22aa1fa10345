// The framework functions that answer about the machine and reach the
// desktop, called from a page; and every framework function against the
// arguments an untrusted page may send.

#include "windowfixture.h"

#include "sysutil/formatmessage.h"
#include "sysutil/paths.h"
#include "sysutil/systeminfo.h"
#include "webui/framework.h"
#include "webui/uilanguage.h"

#include <QJsonObject>
#include <QStandardPaths>
#include <set>

using namespace webui;
using webuitest::WindowTest;

namespace {

using WebuiSystemFunctions = WindowTest;

TEST_F(WebuiSystemFunctions, machineFactsComeFromTheSystemUtilities)
{
    EXPECT_EQ(page(QStringLiteral("kernelVersion()")), QJsonValue(sysutil::platformDecoration()));
    EXPECT_EQ(page(QStringLiteral("getDeviceid()")), QJsonValue(sysutil::machineIdentifier()));
    EXPECT_EQ(page(QStringLiteral("formatMessage(2)")), QJsonValue(sysutil::formatMessage(2)));
    EXPECT_EQ(page(QStringLiteral("getUserDefaultUILanguage()")), QJsonValue(userDefaultUILanguage()));
    EXPECT_EQ(page(QStringLiteral("getCurrentModuleFileDirectory()")), QJsonValue(sysutil::programDir()));
    EXPECT_FALSE(page(QStringLiteral("getCurrentModuleFileDirectory()")).toString().endsWith(QLatin1Char('/')));
    EXPECT_EQ(page(QStringLiteral("getModuleFileName()")), QJsonValue(sysutil::programFilePath()));
    EXPECT_EQ(page(QStringLiteral("shGetKnownFolderPath(0, 0, 0)")),
              QJsonValue(QStandardPaths::writableLocation(QStandardPaths::DownloadLocation)));
    EXPECT_EQ(page(QStringLiteral("shGetKnownFolderPath(1, 0, 0)")), QJsonValue(QString()));
}

TEST_F(WebuiSystemFunctions, baseSystemInfoAnswersEachSelector)
{
    const QString expected[] = {QStringLiteral("7.0.0.0"),
                                QStringLiteral("printer"),
                                sysutil::packageName(),
                                sysutil::machineIdentifier(),
                                QStringLiteral("false"),
                                sysutil::osVersion(),
                                QStringLiteral("5"),
                                sysutil::platformDecoration(),
                                QStringLiteral("1.0.0.0"),
                                QString()};
    QCoreApplication::setApplicationVersion(QStringLiteral("7.0.0.0"));
    for (int selector = 0; selector < 10; ++selector)
        EXPECT_EQ(page(QStringLiteral("baseSystemInfo(%1)").arg(selector)), QJsonValue(expected[selector])) << selector;
    EXPECT_EQ(page(QStringLiteral("baseSystemInfo(-1)")), QJsonValue(QString()));
    EXPECT_EQ(page(QStringLiteral("baseSystemInfo('6')")), QJsonValue(QStringLiteral("5")));
}

TEST_F(WebuiSystemFunctions, filesAndProcessesAreLookedUp)
{
    EXPECT_EQ(page(QStringLiteral("pathFileExists(%1)").arg(js(webuitest::pagesDir()))), QJsonValue(true));
    EXPECT_EQ(page(QStringLiteral("pathFileExists(%1)").arg(js(webuitest::pagesDir() + QStringLiteral("/nope")))),
              QJsonValue(false));
    EXPECT_EQ(page(QStringLiteral("pathFileExists('')")), QJsonValue(false));
    const QString self = sysutil::programFilePath();
    EXPECT_EQ(page(QStringLiteral("isProcessRunning(%1)").arg(js(self))), QJsonValue(true));
    EXPECT_EQ(page(QStringLiteral("isProcessRunning(%1)").arg(js(QFileInfo(self).fileName()))), QJsonValue(true));
    EXPECT_EQ(page(QStringLiteral("isProcessRunning(%1)").arg(js(QFileInfo(self).fileName() + QStringLiteral(".exe")))),
              QJsonValue(true));
    EXPECT_EQ(page(QStringLiteral("isProcessRunning('no-such-program-korvane')")), QJsonValue(false));
}

TEST_F(WebuiSystemFunctions, desktopRequestsReachTheDesktop)
{
    pickedFolder = QStringLiteral("/home/user/Drivers");
    EXPECT_EQ(page(QStringLiteral("selectDir()")), QJsonValue(pickedFolder));
    EXPECT_EQ(page(QStringLiteral("selectDir(handle)")), QJsonValue(pickedFolder));
    ASSERT_EQ(pickerOwners.size(), size_t(2));
    EXPECT_EQ(pickerOwners[0], nullptr);
    EXPECT_EQ(pickerOwners[1], window->hostWindow());

    const QString file = webuitest::pagesDir() + QStringLiteral("/bridge.html");
    EXPECT_EQ(page(QStringLiteral("openDirAndSelectFile(%1)").arg(js(file))), QJsonValue(true));
    EXPECT_EQ(page(QStringLiteral("openDirAndSelectFile('/no/such/file')")), QJsonValue(false));
    EXPECT_EQ(page(QStringLiteral("openDirAndSelectFile()")), QJsonValue(false));
    EXPECT_EQ(shownItems.first(), file);
}

TEST_F(WebuiSystemFunctions, shellExecuteOpensLinksAndDocumentsAndStartsPrograms)
{
    EXPECT_EQ(page(QStringLiteral("shellExecute(0, 'open', 'https://www.example.com/a b', '', '', 1)")), QJsonValue(0));
    EXPECT_EQ(openedUrls.value(0), QStringLiteral("https://www.example.com/a%20b"));
    const QString document = webuitest::pagesDir() + QStringLiteral("/plain.html");
    EXPECT_EQ(page(QStringLiteral("shellExecute(0, 'open', %1, '', '', 1)").arg(js(document))), QJsonValue(0));
    EXPECT_EQ(openedUrls.value(1), QUrl::fromLocalFile(document).toString());
    EXPECT_EQ(page(QStringLiteral("shellExecute(0, 'open', 'true', '--a \"b c\"', '/tmp', 1)")), QJsonValue(0));
    ASSERT_EQ(started.size(), size_t(1));
    EXPECT_EQ(started[0].first,
              (QStringList{QStandardPaths::findExecutable(QStringLiteral("true")), QStringLiteral("--a"), QStringLiteral("b c")}));
    EXPECT_EQ(started[0].second, QStringLiteral("/tmp"));
    EXPECT_EQ(page(QStringLiteral("shellExecute(0, 'runas', '/bin/true', '', '', 1)")), QJsonValue(0));
    EXPECT_EQ(started[1].first, (QStringList{QStringLiteral("pkexec"), QStringLiteral("/bin/true")}));
    EXPECT_EQ(page(QStringLiteral("shellExecute(0, 'open', 'no-such-program-korvane', '', '', 1)")), QJsonValue(2));
    EXPECT_EQ(page(QStringLiteral("shellExecute(0, 'open', '', '', '', 1)")), QJsonValue(2));
    EXPECT_EQ(page(QStringLiteral("shellExecute(0, 'open', '/bin/true', '\"open', '', 1)")), QJsonValue(87));
    EXPECT_EQ(started.size(), size_t(2));
}

TEST_F(WebuiSystemFunctions, theStartupListIsKeptInAutostartEntries)
{
    EXPECT_EQ(page(QStringLiteral("checkStartupList('Korvane', '/opt/korvane/korvane')")), QJsonValue(false));
    EXPECT_EQ(page(QStringLiteral("addToStartupList('Korvane', '/opt/korvane/korvane')")), QJsonValue(0));
    EXPECT_TRUE(QFile::exists(home.path() + QStringLiteral("/config/autostart/Korvane.desktop")));
    EXPECT_EQ(page(QStringLiteral("checkStartupList('Korvane', '/opt/korvane/korvane')")), QJsonValue(true));
    EXPECT_EQ(page(QStringLiteral("checkStartupList('Korvane', '/opt/other')")), QJsonValue(false));
    EXPECT_EQ(page(QStringLiteral("deleteFromStartupList('Korvane')")), QJsonValue(0));
    EXPECT_EQ(page(QStringLiteral("deleteFromStartupList('Korvane')")), QJsonValue(2));
    EXPECT_EQ(page(QStringLiteral("addToStartupList('../x', '/bin/true')")), QJsonValue(87));
}

// Every framework function with arguments a page should never send. Each
// must answer a value of its documented type (its failure value where the
// arguments name no window) and leave the program running.
struct Expectation {
    const char* name;
    const char* type;            // typeof of every answer
    const char* unknownHandle;   // JSON of the answer for a handle of no window, or nullptr
};

const Expectation kExpectations[] = {
    {"createWindow", "undefined|number", nullptr},
    {"createWindow2", "undefined|number", nullptr},
    {"showWindow", "boolean", "false"},
    {"showWinow", "boolean", "false"},
    {"showWindow2", "boolean", "false"},
    {"showWinow2", "boolean", "false"},
    {"loadurl", "boolean", "false"},
    {"closeWindow", "boolean", "false"},
    {"setDragRect", "undefined", nullptr},
    {"resizeWindow", "number", "0"},
    {"getWindowRect", "object", "{\"left\":0,\"top\":0,\"right\":0,\"bottom\":0}"},
    {"enumDisplayMonitors", "object", nullptr},
    {"sendMessage", "number", "0"},
    {"setForegroundWindow", "boolean", "true"},
    {"shellNotifyIcon", "boolean", nullptr},
    {"shellExecute", "number", nullptr},
    {"selectDir", "string", nullptr},
    {"openDirAndSelectFile", "boolean", nullptr},
    {"pathFileExists", "boolean", nullptr},
    {"isProcessRunning", "boolean", nullptr},
    {"getCurrentModuleFileDirectory", "string", nullptr},
    {"getModuleFileName", "string", nullptr},
    {"shGetKnownFolderPath", "string", nullptr},
    {"formatMessage", "string", nullptr},
    {"kernelVersion", "string", nullptr},
    {"getDeviceid", "string", nullptr},
    {"getUserDefaultUILanguage", "number", nullptr},
    {"baseSystemInfo", "string", nullptr},
    {"addToStartupList", "number", nullptr},
    {"deleteFromStartupList", "number", nullptr},
    {"checkStartupList", "boolean", nullptr},
};

const char* const kBadArguments[] = {
    "[]",
    "[null, null, null, null, null, null]",
    "[undefined, undefined, undefined, undefined, undefined, undefined]",
    "['abc', 'def', {}, [], true, 'x']",
    "[-1, -100, -100, -1, -1, -1, -1]",
    "[1e308, NaN, Infinity, -Infinity, 0.5, -0]",
    "[{a: 1}, [1, [2, [3]]], function () {}, {left: 'x', url: 5}, {hParent: -1}, [null]]",
    "[huge, huge, huge, huge, huge, huge]",
    "['0', huge, '-5', 'false', 7, {RBTN_CLK: 'x', LBTN_DBCLK: 5}]",
    "[987654321, 1, 2, 3, 4, 5]",
};

using WebuiUntrustedArguments = WindowTest;

TEST_F(WebuiUntrustedArguments, everyFunctionAnswersItsFailureValueAndNothingBreaks)
{
    ASSERT_EQ(std::size(kExpectations), frameworkFunctions().size());
    page(QStringLiteral("var huge = new Array(1 << 20).join('\u00e9'); 0"));
    const std::set<BaseBlkWinow*> before = [] {
        const auto list = WebWindows::instance().windows();
        return std::set<BaseBlkWinow*>(list.begin(), list.end());
    }();
    for (const Expectation& e : kExpectations) {
        for (const char* arguments : kBadArguments) {
            const QString call = QStringLiteral("(function () { var r = %1.apply(null, %2);"
                                                " return {type: typeof r, json: JSON.stringify(r)}; })()")
                                     .arg(QString::fromLatin1(e.name), QString::fromLatin1(arguments));
            const QJsonObject answer = page(call).toObject();
            const QString where = QStringLiteral("%1(%2)").arg(QString::fromLatin1(e.name), QString::fromLatin1(arguments));
            EXPECT_TRUE(QString::fromLatin1(e.type).split(QLatin1Char('|')).contains(answer.value(QStringLiteral("type")).toString()))
                << where.toStdString() << " answered " << webuitest::json(answer).toStdString();
            if (e.unknownHandle && QString::fromLatin1(arguments).startsWith(QStringLiteral("[987654321"))) {
                EXPECT_EQ(answer.value(QStringLiteral("json")).toString(), QString::fromLatin1(e.unknownHandle))
                    << where.toStdString();
            }
            // Windows made by createWindow from such arguments are let go at once.
            for (BaseBlkWinow* made : WebWindows::instance().windows())
                if (!before.count(made))
                    made->destroyWindow();
            QCoreApplication::processEvents();
        }
    }
    // The page and its window still work.
    EXPECT_EQ(page(QStringLiteral("kernelVersion()")), QJsonValue(sysutil::platformDecoration()));
    EXPECT_TRUE(window->hostWindow()->isVisible());
    EXPECT_FALSE(window->isDestroyed());
    EXPECT_TRUE(started.empty());
}

}  // namespace
