#pragma once
// The main window: the hub between the main page and the subsystems. Each
// page command forwards to the subsystem that does the work; results that
// arrive from other threads (queued signals, window messages) become page
// calls here, on the UI thread.

#include "discovery/netprinterinfo.h"
#include "discovery/usbprinterinfo.h"
#include "mainwindow/taskbar.h"
#include "webui/basewindow.h"

#include <QJsonArray>
#include <QObject>
#include <QStringList>
#include <string>
#include <vector>

class DeviceItem;
class DeviceTree;
class PrinterSearcherThread;
class WorkerThread;

class MainBlkWindow : public QObject, public webui::BaseBlkWinow {
    Q_OBJECT
public:
    static constexpr int kWindowType = 3;
    // The device the install monitor watches when the timer message opens it.
    static constexpr char kDefaultWatchedUsbId[] = "USB\\VID_03F0&PID_1853";

    // The page server's root and main page (files under it come from html/).
    static QString pageBaseUrl();
    static QString mainPageUrl();

    explicit MainBlkWindow(const QString& url = mainPageUrl());
    ~MainBlkWindow() override;

    // The start-up parameters of the main window, then create().
    bool createMainWindow();

    // Page commands, each as the page sees it (arguments by position).
    int startScan();
    bool interrupt();
    QJsonValue click(const QJsonArray& args);
    QJsonValue setUSBServiceFilter(const QJsonArray& args);
    bool exec(const QJsonArray& args);
    void enumPrinters(const QJsonArray& args);
    QJsonValue eMsg(const QJsonArray& args);
    // "openInstallMonitor"(args[0] USB id): opens the install monitor watching
    // that device (USB\VID_vvvv&PID_pppp, optionally with its instance part);
    // false for any other id or when the window could not be made.
    bool openInstallMonitor(const QJsonArray& args);

    // The close sequence of the close button and the system close command.
    void closeSequence();
    // The login report, made when the page says it has loaded.
    void loginReport();
    void settingsReport();

    const QStringList& usbServiceFilter() const { return m_usbServiceFilter; }
    bool pageReady() const { return m_pageReady; }
    PrinterSearcherThread* searchThread() const { return m_searchThread; }
    TaskbarProgress& taskbar() { return m_taskbar; }

    std::intptr_t windowProc(const webui::WindowMessage& message) override;

public slots:
    void clickEvent(std::string objectName);
    void pciinfoResults(QString pcinfo);
    void printersInfoResults(QString printerInfo);
    void userLogined(bool islogined, QString nickname);
    bool notifySetting(bool showContactUS, bool showManual, bool showCommonProblem);
    void setInterrupt();

    // The search thread's reports.
    void onSearchProgress(int current, int total, int progressEvent, int curMachine, int totalMachine);
    void onUsbPrinters(std::vector<USBPrinterInfo> printers);
    void onUsbDevices(const DeviceTree* tree, std::vector<DeviceItem*>* usbItems);
    void onNetworkPrinter(NetPrinterInfo printer);
    void onSearchFinished();
    void onSearchThreadFinished();

    void onConfigReceived();

signals:
    // The page's answer to the settings report, when it arrives.
    void settingAnswered(bool answer);

protected:
    void onLoadFinished(bool ok) override;
    QString windowClassName() const override { return QStringLiteral("mainWindow"); }

private:
    void bindCommands();
    void bindPrinterCommands();
    void bindQueueCommands();
    void bindRepairCommands();
    void startWorker(std::function<QString(int, std::uintptr_t)> job, int mode, std::uintptr_t argument,
                     void (MainBlkWindow::*slot)(QString));
    bool openInstallMonitor(const QString& usbId);
    void retireSearchThread(PrinterSearcherThread* thread);
    void notifyPrinterChange(const webui::WindowMessage& message);
    int installedPrinterCount() const;

    bool m_pageReady = false;
    bool m_configReceived = false;
    bool m_quitAfterSearch = false;
    int m_printerCount = -1;
    PrinterSearcherThread* m_searchThread = nullptr;
    TaskbarProgress m_taskbar;
    QStringList m_usbServiceFilter;
};
