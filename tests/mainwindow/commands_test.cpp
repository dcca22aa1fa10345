// The main page's commands: exact names and declared counts, and the answers
// to good and bad arguments.

#include "mainwindowfixture.h"

#include "mainwindow/workerthread.h"
#include "webui/bindings.h"

#include <QTemporaryDir>
#include <csignal>

using mainwindowtest::MainWindowTest;

TEST_F(MainWindowTest, EveryCommandIsBoundWithItsDeclaredCount)
{
    const std::pair<const char*, int> commands[] = {
        {"startScan", 0}, {"interrupt", 0}, {"eMsg", 5}, {"click", 1}, {"appType", 0}, {"countryID", 0},
        {"isLogin", 0}, {"setUserData", 0}, {"downDir", 5}, {"Down", 3}, {"printerList", 5}, {"exec", 1},
        {"enumPrinters", 1}, {"getPrinterInfo", 0}, {"checkPrinterSpool", 0}, {"checkOcrFont", 0},
        {"restartPrinterSpool", 0}, {"enableFirewall", 0}, {"installOcrFont", 0}, {"resetSpool_firewall_queue", 0},
        {"checkFirewall", 0}, {"checkPrinterSharing", 1}, {"checkPrinterQueue", 1}, {"enablePrinterSharing", 1},
        {"cleanPrinterQueue", 1}, {"installDriverPackage", 3}, {"openManager", 2}, {"printTestPage", 2},
        {"sharePrinter", 2}, {"deletePrinter", 2}, {"setDefaultPrinter", 2}, {"viewPrintQueue", 2},
        {"addPrinter", 2}, {"showPrintPreferencesPage", 2}, {"showPrinterPropertiesPage", 2}, {"checkMMCExists", 1},
        {"setUSBServiceFilter", 1}, {"cleanPrinterQueueOf", 1}, {"openInstallMonitor", 1},
        {"getManagerTool", 1},
        {"addNetworkPrinter", 3}, {"probeNetworkPrinter", 1},
        {"addUsbPrinter", 2},
    };
    for (const auto& [name, count] : commands) {
        EXPECT_EQ(webui::BindingRegistry::instance().declaredCount(name), count) << name;
        EXPECT_EQ(page(QString("typeof %1").arg(name)).toString(), "function") << name;
    }
}

TEST_F(MainWindowTest, SimpleAnswers)
{
    EXPECT_EQ(command("appType()"), QJsonValue("printer"));
    EXPECT_EQ(command("countryID()"), QJsonValue(44));
    EXPECT_EQ(command("isLogin()"), QJsonValue(false));
    EXPECT_EQ(command("printerList()"), QJsonValue("[]"));
}

TEST_F(MainWindowTest, BadArgumentsGetTheDocumentedFailureValues)
{
    struct Case {
        const char* call;
        QJsonValue expected;
    };
    const QJsonValue undefined(QJsonValue::Undefined);
    const Case cases[] = {
        {"click()", undefined},
        {"click(5)", undefined},
        {"click(null)", undefined},
        {"click({})", undefined},
        {"click('someOtherButton')", true},
        {"eMsg()", undefined},
        {"eMsg(42)", undefined},
        {"eMsg('no such command')", true},
        {"downDir(12)", undefined},
        {"exec()", false},
        {"exec('/bin/true', 2)", false},
        {"exec('/bin/true', -1)", false},
        {"exec(null, 0)", false},
        {"exec('javascript:alert(1)', 0)", false},
        {"setUSBServiceFilter('not an array')", true},
        {"interrupt()", true},
        {"getPrinterInfo('x'.repeat(100000)).code", 1801},
        {"printTestPage(undefined, undefined)", 1801},
        {"checkPrinterSharing({})", false},
        {"checkPrinterQueue('a\\nb')", 0},
        {"cleanPrinterQueueOf()", 1801},
        {"cleanPrinterQueueOf('laser; rm -rf ~')", 1801},
        {"cleanPrinterQueueOf('x'.repeat(100000))", 1801},
        {"setUserData(123)", undefined},
        {"enumPrinters('x')", undefined},
        {"openInstallMonitor()", false},
        {"openInstallMonitor(1853)", false},
        {"openInstallMonitor('USB\\\\VID_03F0')", false},
        {"openInstallMonitor('USB\\\\VID_03F0&PID_1853\\\\a b')", false},
        {"openInstallMonitor('USB\\\\VID_03F0&PID_1853\\\\' + 'x'.repeat(300))", false},
        {"openInstallMonitor(['USB\\\\VID_03F0&PID_1853'])", false},
        {"addUsbPrinter().code", 87},
        {"addUsbPrinter(42, 'PHB1').code", 87},
        {"addUsbPrinter('USB\\\\VID_03F0&PID_1853', 'a\\nb').code", 87},
        {"addUsbPrinter('USB\\\\VID_03F0&PID_1853; rm -rf ~', '').code", 87},
    };
    for (const Case& c : cases)
        EXPECT_EQ(command(c.call), c.expected) << c.call;
    EXPECT_TRUE(window->usbServiceFilter().isEmpty()) << "a non-array empties the filter";
    EXPECT_TRUE(started.isEmpty()) << "nothing may start from bad arguments";
}

TEST_F(MainWindowTest, UsbServiceFilterTakesTheArrayInOrder)
{
    EXPECT_TRUE(window->usbServiceFilter().contains("USBSTOR")) << "the initial list";
    EXPECT_EQ(command("setUSBServiceFilter(['usbhub', 7, 'HidUsb'])"), QJsonValue(true));
    EXPECT_EQ(window->usbServiceFilter(), QStringList({"usbhub", "7", "HidUsb"}));
}

TEST_F(MainWindowTest, ExecStartsProgramsAndOpensFilesWithoutAShell)
{
    QTemporaryDir dir;
    const QString program = dir.filePath("setup; rm -rf ~");
    ASSERT_TRUE(testsupport::writeFile(program, "#!/bin/sh\n", true));
    const QString document = dir.filePath("readme.txt");
    ASSERT_TRUE(testsupport::writeFile(document, "hello"));
    EXPECT_EQ(command("exec(" + QString::fromUtf8(QJsonDocument(QJsonArray{program}).toJson(QJsonDocument::Compact)).mid(1).chopped(1)
                      + ", 0)"),
              QJsonValue(true));
    ASSERT_EQ(started.size(), 1);
    EXPECT_EQ(started[0], QStringList{program}) << "the whole name is one argument";
    EXPECT_EQ(command("exec('" + document + "', 0)"), QJsonValue(true));
    EXPECT_EQ(openedUrls, QStringList{"file://" + document});
    EXPECT_EQ(command("exec('https://example.invalid/help', 0)"), QJsonValue(true));
    EXPECT_EQ(command("exec('" + dir.filePath("missing") + "', 0)"), QJsonValue(false));
}

TEST_F(MainWindowTest, DownloadFolderCanBeReadAndSet)
{
    QTemporaryDir target;
    const QString initial = command("downDir()").toString();
    EXPECT_FALSE(initial.isEmpty());
    EXPECT_EQ(command("downDir('" + target.path() + "')"), QJsonValue(true));
    EXPECT_EQ(command("downDir()"), QJsonValue(target.path()));
    command("downDir('" + initial + "')");
}

// A fault on a job's thread (a stack overflow above all) must still reach the
// crash hand-off, which runs on the thread's alternate signal stack.
TEST(WorkerThreadTest, JobsRunWithAnAlternateSignalStack)
{
    WorkerThread worker(nullptr, [](int, std::uintptr_t) {
        stack_t stack{};
        sigaltstack(nullptr, &stack);
        return (stack.ss_flags & SS_DISABLE) ? QStringLiteral("none") : QStringLiteral("ready");
    }, 0);
    QString answer;
    QObject::connect(&worker, &WorkerThread::resultReady, [&](const QString& text) { answer = text; });
    worker.start();
    ASSERT_TRUE(worker.wait(30000));
    EXPECT_EQ(answer, "ready");
}
