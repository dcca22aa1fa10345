#include "mainwindow/mainblkwindow.h"

#include "devicetree/devicetree.h"
#include "discovery/installmonitor.h"
#include "discovery/printersearcherthread.h"
#include "discovery/usbreport.h"
#include "i18n/international.h"
#include "mainwindow/pagecommands.h"
#include "mainwindow/workerthread.h"
#include "online/user.h"
#include "repair/firewallstate.h"
#include "sysinfo/hardwaresummary.h"
#include "sysutil/systeminfo.h"
#include "sysutil/textconv.h"
#include "webui/jsargs.h"
#include "webui/winconstants.h"

#include <QApplication>
#include <QDebug>
#include <QJsonDocument>
#include <QPointer>
#include <QWidget>

#ifndef KORVANE_PAGE_BASE_URL
#define KORVANE_PAGE_BASE_URL "https://pages.korvane.example/"
#endif

using webui::WindowMessage;
namespace msg = webui::msg;
namespace jsargs = webui::jsargs;

QString MainBlkWindow::pageBaseUrl()
{
    return QStringLiteral(KORVANE_PAGE_BASE_URL);
}

QString MainBlkWindow::mainPageUrl()
{
    return pageBaseUrl() + QStringLiteral("index.html");
}

MainBlkWindow::MainBlkWindow(const QString& url)
    : BaseBlkWinow(0, false, url, kWindowType), m_usbServiceFilter(defaultUsbServiceFilter())
{
    setPageBaseUrl(pageBaseUrl());
    bindCommands();
    online::User& user = online::User::instance();
    connect(&user, &online::User::configReceived, this, &MainBlkWindow::onConfigReceived);
    connect(&user, &online::User::pageLoaded, this, &MainBlkWindow::loginReport);
    connect(&user, &online::User::scanRequested, this, [this] {
        startWorker([](int flag, std::uintptr_t argument) {
            return sysutil::fromWide(sysinfo::hardwareSummaryJob(flag, std::intptr_t(argument)));
        }, 0, 0, &MainBlkWindow::pciinfoResults);
    });
}

MainBlkWindow::~MainBlkWindow() = default;

bool MainBlkWindow::createMainWindow()
{
    setWindowRect(0, 0, 1000, 600);
    setDragRect(-1, 0, -1, 60);
    setBorderFlags(true, true, false, false, sysutil::isOlderThanWin8() ? 1 : 0);
    setCloseParams(false, true, true, 0, false, 30);
    if (!create(webui::showcmd::kShowNormal))
        return false;
    online::User::instance().setMainWindow(hostWindow());
    return true;
}

// ---- search ---------------------------------------------------------------

int MainBlkWindow::startScan()
{
    m_taskbar.setNormal();
    if (m_searchThread) {
        const std::int32_t state = m_searchThread->state();
        if (state == PrinterSearcher::kRunning || state == PrinterSearcher::kInterruptRequested)
            return 1;
        // The last search has ended but its thread's clean-up has not run yet
        // (a page may start again from its finish report): retire it now, so
        // its late clean-up cannot touch the new search.
        retireSearchThread(m_searchThread);
    }
    auto* thread = new PrinterSearcherThread(this);
    thread->claim();
    thread->setMdnsBlockedBy([]() -> std::string {
        return repair::firewallAllows(repair::FirewallGroup::NetworkDiscovery) ? std::string()
                                                                               : std::string("the firewall");
    });
    PrinterSearcherThread::registerMetaTypes();
    const bool connected = connect(thread, &PrinterSearcherThread::progress, this, &MainBlkWindow::onSearchProgress,
                                   Qt::QueuedConnection)
        && connect(thread, &PrinterSearcherThread::usb1, this, &MainBlkWindow::onUsbPrinters, Qt::QueuedConnection)
        && connect(thread, &PrinterSearcherThread::usb2, this, &MainBlkWindow::onUsbDevices, Qt::QueuedConnection)
        && connect(thread, &PrinterSearcherThread::netPrinter, this, &MainBlkWindow::onNetworkPrinter,
                   Qt::QueuedConnection)
        && connect(thread, &PrinterSearcherThread::finish, this, &MainBlkWindow::onSearchFinished,
                   Qt::QueuedConnection);
    if (!connected) {
        delete thread;
        return 2;
    }
    connect(thread, &QThread::finished, this, &MainBlkWindow::onSearchThreadFinished, Qt::QueuedConnection);
    m_searchThread = thread;
    thread->start(QThread::InheritPriority);
    return 0;
}

void MainBlkWindow::retireSearchThread(PrinterSearcherThread* thread)
{
    disconnect(thread, nullptr, this, nullptr);
    thread->wait();  // it has ended its search; only its return is left
    thread->deleteLater();
    if (thread == m_searchThread)
        m_searchThread = nullptr;
}

bool MainBlkWindow::interrupt()
{
    setInterrupt();
    return true;
}

void MainBlkWindow::setInterrupt()
{
    if (m_searchThread)
        m_searchThread->requestInterrupt();
}

void MainBlkWindow::onSearchProgress(int current, int total, int progressEvent, int curMachine, int totalMachine)
{
    m_taskbar.setValue(current, total);
    callPage(QStringLiteral("notifyScanProgressByCpp"),
             QJsonArray{current, total, progressEvent, curMachine, totalMachine});
}

void MainBlkWindow::onUsbPrinters(std::vector<USBPrinterInfo> printers)
{
    for (const USBPrinterInfo& printer : printers) {
        const QString text = usbPrinterJson(printer);
        qDebug().noquote() << text;
        callPage(QStringLiteral("notifyUsbPrinterByCpp"), QJsonArray{text});
    }
}

void MainBlkWindow::onUsbDevices(const DeviceTree* tree, std::vector<DeviceItem*>* usbItems)
{
    // Both belong to us from here on.
    std::unique_ptr<const DeviceTree> ownedTree(tree);
    std::unique_ptr<std::vector<DeviceItem*>> ownedItems(usbItems);
    if (!usbItems)
        return;
    for (DeviceItem* item : *usbItems) {
        if (const std::optional<QJsonArray> devices = usbDeviceReport(item, m_usbServiceFilter))
            callPage(QStringLiteral("notifyUsbPrinterByCpp2"), QJsonArray{*devices});
    }
}

void MainBlkWindow::onNetworkPrinter(NetPrinterInfo printer)
{
    const QString ip = QString::fromStdString(printer.ip);
    const QString mfg = sysutil::fromUntrustedBytes(QByteArray::fromStdString(printer.mfg));
    const QString mdl = sysutil::fromUntrustedBytes(QByteArray::fromStdString(printer.mdl));
    qDebug().noquote() << "ip: " + ip + " mdl: " + mdl + " mfg: " + mfg;
    // The details (a JSON text) follow the three arguments every page reads.
    QJsonArray args{ip, mfg, mdl};
    if (!printer.details.empty())
        args.append(QString::fromStdString(printer.details));
    callPage(QStringLiteral("notifyNetworkPrinterByCpp"), args);
}

void MainBlkWindow::onSearchFinished()
{
    const auto* thread = qobject_cast<const PrinterSearcherThread*>(sender());
    const int state = thread ? int(thread->state()) : 0;
    callPage(QStringLiteral("notifyScanFinishiByCpp"), QJsonArray{state, QStringLiteral("ok")});
    qDebug() << "m_interrupt: " << (state == PrinterSearcher::kEndedByInterrupt);
    m_taskbar.clear();
    TaskbarProgress::flash(hostWindow());
}

void MainBlkWindow::onSearchThreadFinished()
{
    auto* thread = qobject_cast<PrinterSearcherThread*>(sender());
    if (thread && thread == m_searchThread)
        retireSearchThread(thread);
    if (m_quitAfterSearch)
        QCoreApplication::quit();
}

// ---- window commands --------------------------------------------------------

QJsonValue MainBlkWindow::click(const QJsonArray& args)
{
    const QJsonValue name = jsargs::at(args, 0);
    if (!name.isString())
        return QJsonValue(QJsonValue::Undefined);
    clickEvent(name.toString().toStdString());
    return true;
}

void MainBlkWindow::clickEvent(std::string objectName)
{
    if (objectName == "minimizeBtn")
        showWindow(webui::showcmd::kMinimize);
    else if (objectName == "closeBtn")
        closeSequence();
}

void MainBlkWindow::closeSequence()
{
    online::User::instance().save();
    if (m_searchThread && m_searchThread->isRunning()) {
        // The search stops at its next check; the application quits when its
        // thread has finished.
        if (QWidget* host = hostWindow())
            host->hide();
        m_searchThread->requestInterrupt();
        m_quitAfterSearch = true;
        return;
    }
    webui::postWindowMessage(handle(), msg::kClose);
}

QJsonValue MainBlkWindow::setUSBServiceFilter(const QJsonArray& args)
{
    m_usbServiceFilter.clear();
    const QJsonValue list = jsargs::at(args, 0);
    if (list.isArray()) {
        for (const QJsonValue& name : list.toArray()) {
            if (std::optional<QString> text = jsargs::toText(name, 1024))
                m_usbServiceFilter << *text;
        }
    }
    return true;
}

QJsonValue MainBlkWindow::eMsg(const QJsonArray& args)
{
    return online::User::instance().eMsg(args);
}

// ---- reports ----------------------------------------------------------------

void MainBlkWindow::loginReport()
{
    const online::User& user = online::User::instance();
    callPage(QStringLiteral("userLoginByCpp"), QJsonArray{user.isLogined(), user.record().nickname});
    m_pageReady = true;
    // The standard edition's switches are constants: they need no answer of
    // the back end, which only the international edition asks for them.
    if (m_configReceived || !i18n::International::instance().isInternational())
        settingsReport();
}

void MainBlkWindow::settingsReport()
{
    // The standard edition shows every help link.
    notifySetting(true, true, true);
}

bool MainBlkWindow::notifySetting(bool showContactUS, bool showManual, bool showCommonProblem)
{
    // The page answers asynchronously: the answer arrives as settingAnswered.
    QPointer<MainBlkWindow> self(this);
    callPage(QStringLiteral("notifySettingByCpp"),
             QJsonArray{QStringLiteral("printer"), showContactUS, showManual, showCommonProblem},
             [self](const QJsonValue& answer) {
                 if (self)
                     emit self->settingAnswered(jsargs::toBool(answer));
             });
    return true;
}

void MainBlkWindow::onConfigReceived()
{
    m_configReceived = true;
    if (m_pageReady && i18n::International::instance().isInternational())
        settingsReport();
}

void MainBlkWindow::userLogined(bool islogined, QString nickname)
{
    callPage(QStringLiteral("userLoginByCpp"), QJsonArray{islogined, nickname});
}

void MainBlkWindow::pciinfoResults(QString pcinfo)
{
    callPage(QStringLiteral("scanCbkByCpp"), QJsonArray{pcinfo});
}

void MainBlkWindow::printersInfoResults(QString printerInfo)
{
    callPage(QStringLiteral("enumPrinterCbkByCpp"), QJsonArray{printerInfo});
}

void MainBlkWindow::startWorker(std::function<QString(int, std::uintptr_t)> job, int mode, std::uintptr_t argument,
                                void (MainBlkWindow::*slot)(QString))
{
    auto* worker = new WorkerThread(this, std::move(job), mode, argument);
    connect(worker, &WorkerThread::resultReady, this, slot, Qt::QueuedConnection);
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start(QThread::InheritPriority);
}

// ---- window procedure ----------------------------------------------------------

std::intptr_t MainBlkWindow::windowProc(const WindowMessage& message)
{
    switch (message.message) {
    case msg::kSysCommand:
        if ((message.wParam & 0xFFF0) == msg::kScClose) {
            closeSequence();
            return 0;
        }
        break;
    case msg::kResetAllFinished:
        callPage(QStringLiteral("notifyFinishResetAllByCpp"));
        return 1;
    case msg::kPrinterChanged:
        notifyPrinterChange(message);
        return 0;
    case msg::kTimer:
        if (message.wParam == msg::kInstallMonitorTimer) {
            openInstallMonitor(QString::fromLatin1(kDefaultWatchedUsbId));
            return 0;
        }
        break;
    default:
        break;
    }
    return BaseBlkWinow::windowProc(message);
}

void MainBlkWindow::onLoadFinished(bool ok)
{
    const int count = installedPrinterCount();
    if (count != m_printerCount) {
        m_printerCount = count;
        callPage(QStringLiteral("notifyPrinterCountByCpp"), QJsonArray{count});
    }
    BaseBlkWinow::onLoadFinished(ok);
}

bool MainBlkWindow::openInstallMonitor(const QString& usbId)
{
    // The message is the timer's only tick: there is no timer left to kill.
    auto* monitor = new InstallMonitorBlkWindow(0, false, pageBaseUrl() + QStringLiteral("installmonitor.html"),
                                                InstallMonitorBlkWindow::kWindowType);
    monitor->setWatchedUsbId(usbId);
    monitor->setPageBaseUrl(pageBaseUrl());
    monitor->setWindowRect(0, 0, 800, 600);
    monitor->setDragRect(-1, 0, -1, 60);
    monitor->setBorderFlags(true, true, false, false, sysutil::isOlderThanWin8() ? 1 : 0);
    // Closing the monitor closes only the monitor: the main window and its
    // work stay.
    monitor->setCloseParams(false, true, false, 0, false, 30);
    if (!monitor->create(webui::showcmd::kShowNormal)) {
        qWarning() << "MainBlkWindow: the install monitor window could not be made";
        delete monitor;
        return false;
    }
    return true;
}
