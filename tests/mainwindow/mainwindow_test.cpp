// What the main page hears from the main window: search reports, login and
// settings reports, printer changes and the end of repairs.

#include "mainwindowfixture.h"

#include "devicetree/devicetree.h"
#include "discovery/printersearcherthread.h"
#include "i18n/international.h"
#include "online/user.h"
#include "printers/printerapi.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QPointer>

using mainwindowtest::MainWindowTest;

namespace {

USBPrinterInfo usbRecord(const QString& name, QStringList compatible)
{
    USBPrinterInfo info;
    info.deviceClass = "Printer";
    info.hardwareids = QStringList{"USB\\VID_03F0&PID_1853&REV_0100", "USB\\VID_03F0&PID_1853"};
    info.compatibleids = std::move(compatible);
    info.deviceDesc = name;
    info.friendlyName = name;
    info.mfg = "HP";
    info.searchMethod = 0;
    return info;
}

}  // namespace

TEST_F(MainWindowTest, EachUsbRecordIsItsOwnCallWithSortedCompactJson)
{
    window->onUsbPrinters({usbRecord("A", {"USBPRINT\\HPA"}), usbRecord("B", {}), usbRecord("C", {"x"})});
    ASSERT_TRUE(waitForCall("notifyUsbPrinterByCpp", 3));
    const QJsonArray calls = callsOf("notifyUsbPrinterByCpp");
    ASSERT_EQ(calls.size(), 3);
    EXPECT_EQ(calls[1].toArray()[1].toString(),
              R"({"compatibleids":[],"deviceDesc":"B","friendlyName":"B","hardwareids":["USB\\VID_03F0&PID_1853&REV_0100","USB\\VID_03F0&PID_1853"],"mfg":"HP","searchMethod":0})");
    EXPECT_TRUE(calls[0].toArray()[1].toString().startsWith(R"({"compatibleids":["USBPRINT\\HPA"])"));
}

TEST_F(MainWindowTest, SearchReportsKeepTheirArgumentsAndOrder)
{
    window->onSearchProgress(15, 100, 2, 0, 0);
    window->onNetworkPrinter(NetPrinterInfo{"10.203.7.20", "MFG:HP;MDL:LaserJet;", "HP", "LaserJet"});
    window->onSearchProgress(55, 100, 0, 1, 2);
    window->onSearchFinished();
    ASSERT_TRUE(waitForCall("notifyScanFinishiByCpp"));
    QJsonArray calls;
    for (const QJsonValue& call : allCalls()) {
        if (call.toArray()[0].toString() != "notifyPrinterCountByCpp")
            calls.append(call);
    }
    QStringList order;
    for (const QJsonValue& call : calls)
        order << call.toArray()[0].toString();
    EXPECT_EQ(order, QStringList({"notifyScanProgressByCpp", "notifyNetworkPrinterByCpp", "notifyScanProgressByCpp",
                                  "notifyScanFinishiByCpp"}));
    EXPECT_EQ(calls[0].toArray(), QJsonArray({"notifyScanProgressByCpp", 15, 100, 2, 0, 0}));
    EXPECT_EQ(calls[1].toArray(), QJsonArray({"notifyNetworkPrinterByCpp", "10.203.7.20", "HP", "LaserJet"}));
    EXPECT_EQ(calls[2].toArray(), QJsonArray({"notifyScanProgressByCpp", 55, 100, 0, 1, 2}));
    EXPECT_EQ(calls[3].toArray(), QJsonArray({"notifyScanFinishiByCpp", 0, "ok"}));
    EXPECT_FALSE(window->taskbar().visible()) << "the finished search removes the task bar progress";
}

TEST_F(MainWindowTest, NetworkPrinterTextFromTheWireIsMadeSafe)
{
    window->onNetworkPrinter(NetPrinterInfo{"10.203.7.21", "", std::string("Bad\xff\xfeMaker"), "M"});
    ASSERT_TRUE(waitForCall("notifyNetworkPrinterByCpp"));
    const QString mfg = callsOf("notifyNetworkPrinterByCpp")[0].toArray()[2].toString();
    EXPECT_TRUE(mfg.startsWith("Bad"));
    EXPECT_TRUE(mfg.contains(QChar(0xFFFD)));
}

TEST_F(MainWindowTest, NetworkPrinterDetailsFollowTheThreeArguments)
{
    NetPrinterInfo printer{"10.203.7.40", "MFG:Brother;MDL:MFC;", "Brother", "MFC"};
    printer.details = R"({"driverless":true,"uri":"ipp://10.203.7.40:8631/ipp/print"})";
    window->onNetworkPrinter(printer);
    ASSERT_TRUE(waitForCall("notifyNetworkPrinterByCpp"));
    EXPECT_EQ(callsOf("notifyNetworkPrinterByCpp")[0].toArray(),
              QJsonArray({"notifyNetworkPrinterByCpp", "10.203.7.40", "Brother", "MFC",
                          R"({"driverless":true,"uri":"ipp://10.203.7.40:8631/ipp/print"})"}));
}

TEST_F(MainWindowTest, UsbDeviceReportTakesOwnershipOfTreeAndList)
{
    // An empty snapshot: nothing to report, and both objects are freed here
    // (the sanitizer build would report them otherwise).
    window->onUsbDevices(new DeviceTree(devicetree::HardwareDatabase::empty()), new std::vector<DeviceItem*>());
    window->onUsbDevices(nullptr, nullptr);
    EXPECT_TRUE(callsOf("notifyUsbPrinterByCpp2").isEmpty());
}

TEST_F(MainWindowTest, StandardEditionSendsTheSettingsRightAfterTheLoginReport)
{
    // No configuration from the back end at all: the switches are constants.
    ASSERT_FALSE(i18n::International::instance().isInternational());
    std::optional<bool> answer;
    QObject::connect(window, &MainBlkWindow::settingAnswered, [&answer](bool value) { answer = value; });
    EXPECT_EQ(command("eMsg('loadedjs')"), QJsonValue(true));
    ASSERT_TRUE(waitForCall("notifySettingByCpp"));
    EXPECT_EQ(callsOf("notifySettingByCpp")[0].toArray(), QJsonArray({"notifySettingByCpp", "printer", true, true, true}));
    QStringList order;
    for (const QJsonValue& call : allCalls())
        order << call.toArray()[0].toString();
    EXPECT_EQ(order.indexOf("userLoginByCpp") + 1, order.indexOf("notifySettingByCpp"));
    EXPECT_TRUE(testsupport::waitFor([&] { return answer.has_value(); }));
    EXPECT_TRUE(*answer);
    const QJsonArray login = callsOf("userLoginByCpp")[0].toArray();
    EXPECT_EQ(login.size(), 3);
    EXPECT_EQ(login[1], QJsonValue(false));

    // A configuration arriving later changes nothing the page was told.
    window->onConfigReceived();
    command("1");
    EXPECT_EQ(callsOf("notifySettingByCpp").size(), 1);
}

TEST_F(MainWindowTest, ConfigurationBeforeThePageGivesSettingsRightAfterLogin)
{
    window->onConfigReceived();
    EXPECT_TRUE(callsOf("notifySettingByCpp").isEmpty()) << "the page is not ready yet";
    command("eMsg('loadedjs')");
    ASSERT_TRUE(waitForCall("notifySettingByCpp"));
    EXPECT_EQ(callsOf("notifySettingByCpp").size(), 1);
    QStringList order;
    for (const QJsonValue& call : allCalls())
        order << call.toArray()[0].toString();
    EXPECT_EQ(order.indexOf("userLoginByCpp") + 1, order.indexOf("notifySettingByCpp"));
}

TEST_F(MainWindowTest, PrinterCountIsReportedOnlyWhenItChanges)
{
    // No scheduler at CUPS_SERVER: the count is 0, reported once for the first
    // load and not again for a reload.
    ASSERT_TRUE(waitForCall("notifyPrinterCountByCpp"));
    EXPECT_EQ(callsOf("notifyPrinterCountByCpp")[0].toArray(), QJsonArray({"notifyPrinterCountByCpp", 0}));
    window->loadUrl(MainBlkWindow::mainPageUrl());
    ASSERT_TRUE(testsupport::waitFor([this] { return page("typeof calls").toString() == "object"; }));
    EXPECT_TRUE(callsOf("notifyPrinterCountByCpp").isEmpty());
}

TEST_F(MainWindowTest, WindowMessagesBecomePageCalls)
{
    auto change = std::make_shared<PrinterAPI::PrinterChange>();
    change->changed = 0x1;
    change->printerName = "Office Laser";
    webui::postWindowMessage(window->handle(), webui::msg::kPrinterChanged, 0x1, 0, change);
    change.reset();
    webui::postWindowMessage(window->handle(), webui::msg::kResetAllFinished);
    ASSERT_TRUE(waitForCall("notifyFinishResetAllByCpp"));
    const QJsonArray changes = callsOf("notifyPrinterChangeByCpp");
    ASSERT_EQ(changes.size(), 1);
    const QJsonObject object = changes[0].toArray()[1].toObject();
    EXPECT_EQ(object.value("printerName").toString(), "Office Laser");
    EXPECT_EQ(object.value("dwChanged").toInt(), 1);
    EXPECT_EQ(callsOf("notifyFinishResetAllByCpp")[0].toArray().size(), 1) << "called without arguments";
}

TEST_F(MainWindowTest, WorkerJobsReachTheirCallbacks)
{
    command("enumPrinters(0)");
    command("eMsg('scan')");
    ASSERT_TRUE(waitForCall("enumPrinterCbkByCpp"));
    ASSERT_TRUE(waitForCall("scanCbkByCpp"));
    EXPECT_EQ(callsOf("enumPrinterCbkByCpp")[0].toArray(), QJsonArray({"enumPrinterCbkByCpp", "[]"}))
        << "no scheduler: an empty list, promptly";
    const QJsonObject summary =
        QJsonDocument::fromJson(callsOf("scanCbkByCpp")[0].toArray()[1].toString().toUtf8()).object();
    EXPECT_TRUE(summary.contains("host"));
    EXPECT_TRUE(summary.contains("bit"));
}

TEST_F(MainWindowTest, ASearchWithoutDevicesOrNetworkReportsItsStepsAndEnds)
{
    // Two requests in one page script: the second comes while the first
    // search is running.
    EXPECT_EQ(command("JSON.stringify([startScan(), startScan()])"), QJsonValue("[0,1]"));
    ASSERT_TRUE(waitForCall("notifyScanFinishiByCpp"));
    QList<int> steps;
    for (const QJsonValue& call : callsOf("notifyScanProgressByCpp"))
        steps << call.toArray()[1].toInt();
    EXPECT_EQ(steps, QList<int>({1, 3, 3, 3, 5, 15}));
    EXPECT_EQ(callsOf("notifyScanFinishiByCpp")[0].toArray(), QJsonArray({"notifyScanFinishiByCpp", 0, "ok"}));
    // Once finished, the same command starts a new search.
    ASSERT_TRUE(testsupport::waitFor([this] { return !window->searchThread(); }));
    EXPECT_EQ(command("startScan()"), QJsonValue(0));
    ASSERT_TRUE(waitForCall("notifyScanFinishiByCpp", 2));
}

TEST_F(MainWindowTest, APageMayStartTheNextSearchFromTheFinishReport)
{
    // The finish report can arrive before the ended thread has been cleaned
    // up; the new search must still run and report in full.
    page("restartsLeft = 2");
    EXPECT_EQ(command("startScan()"), QJsonValue(0));
    ASSERT_TRUE(waitForCall("notifyScanFinishiByCpp", 3));
    EXPECT_EQ(page("JSON.stringify(restartResults)"), QJsonValue("[0,0]"));
    EXPECT_EQ(callsOf("notifyScanProgressByCpp").size(), 18) << "three searches of six steps";
    ASSERT_TRUE(testsupport::waitFor([this] { return !window->searchThread(); }));
}

TEST_F(MainWindowTest, InterruptWithoutASearchTouchesNothing)
{
    EXPECT_EQ(command("interrupt()"), QJsonValue(true));
    window->setInterrupt();
    EXPECT_EQ(window->searchThread(), nullptr);
}

TEST_F(MainWindowTest, CloseButtonSavesTheUserFileAndClosesTheWindow)
{
    const QString file = online::User::instance().dataFilePath();
    QDir().mkpath(QFileInfo(file).absolutePath());  // the user record outlives each test's home
    QFile::remove(file);
    QPointer<MainBlkWindow> guard(window);
    EXPECT_EQ(command("click('closeBtn')"), QJsonValue(true));
    EXPECT_TRUE(QFile::exists(file));
    EXPECT_TRUE(testsupport::waitFor([&guard] { return !guard || guard->isDestroyed(); }));
}

namespace {

// Two nodes, the root and one USB device, each answering every slot.
class TwoNodeSource : public devicetree::DeviceSource {
public:
    std::uint32_t open() override { return 0; }
    void close() override {}
    std::size_t count() const override { return 2; }
    devicetree::PropertyValue read(std::size_t node, int slot) const override
    {
        using namespace devicetree;
        const bool usb = node == 1;
        switch (slot) {
        case kSlotInstanceId:
            return PropertyValue::ofText(usb ? QStringLiteral("USB\\VID_03F0&PID_1853\\PHB1234567")
                                             : QStringLiteral("HTREE\\ROOT\\0"));
        case kSlotParent:
            return usb ? PropertyValue::ofText(QStringLiteral("HTREE\\ROOT\\0")) : PropertyValue::absent();
        case kSlotHardwareIds:
            return usb ? PropertyValue::ofList({QStringLiteral("USB\\VID_03F0&PID_1853&REV_0100")})
                       : PropertyValue::absent();
        case kSlotContainerId:
            return PropertyValue::ofText(QStringLiteral("{C0}"));
        case kSlotName:
            return PropertyValue::ofText(usb ? QStringLiteral("LaserJet") : QStringLiteral("pc"));
        case kSlotManufacturer:
            return PropertyValue::ofText(QStringLiteral("HP"));
        case kSlotService:
            return PropertyValue::ofText(QStringLiteral("usbprint"));
        case kSlotClass:
            return PropertyValue::ofText(QStringLiteral("USB"));
        case kSlotEnumerator:
            return PropertyValue::ofText(QStringLiteral("USB"));
        default:
            return PropertyValue::absent();
        }
    }
};

}  // namespace

TEST_F(MainWindowTest, PageObjectsArriveWithTheirMembersInTheirOrder)
{
    auto change = std::make_shared<PrinterAPI::PrinterChange>();
    change->changed = 0x2;
    change->notifyFields = {0x12};
    change->printerName = QString::fromUtf8("Büro \"Laser\"");
    change->attributes = 0x40;
    change->cjobs = 2;
    webui::postWindowMessage(window->handle(), webui::msg::kPrinterChanged, 0x2, 0, change);
    change.reset();
    ASSERT_TRUE(waitForCall("notifyPrinterChangeByCpp"));
    EXPECT_EQ(page("JSON.stringify(callsOf('notifyPrinterChangeByCpp')[0][1])").toString(),
              QString::fromUtf8(R"({"dwChanged":2,"dwNotifyField":[18],"printerName":"Büro \"Laser\"",)"
                                R"("printerServer":"","newPrinterName":"","dwAttribute":64,"dwPrinterStatus":0,)"
                                R"("dwJobStatus":0,"dwCjobs":2})"));

    auto* tree = new DeviceTree(std::make_unique<TwoNodeSource>());
    ASSERT_EQ(tree->build(), 0);
    auto* items = new std::vector<DeviceItem*>{tree->root()->firstChild()};
    window->onUsbDevices(tree, items);
    ASSERT_TRUE(waitForCall("notifyUsbPrinterByCpp2"));
    EXPECT_EQ(page("JSON.stringify(callsOf('notifyUsbPrinterByCpp2')[0][1])").toString(),
              R"([{"Name":"LaserJet","Manu":"HP","Service":"usbprint","Class":"USB","Enumerator":"USB",)"
              R"("Instanceid":"USB\\VID_03F0&PID_1853\\PHB1234567","ParentInstanceid":"",)"
              R"("Hardwareid":"USB\\VID_03F0&PID_1853&REV_0100"}])");

    // The record of the first report keeps its sorted members.
    USBPrinterInfo record;
    record.mfg = "HP";
    record.deviceDesc = "LaserJet";
    record.searchMethod = 1;
    window->onUsbPrinters({record});
    ASSERT_TRUE(waitForCall("notifyUsbPrinterByCpp"));
    EXPECT_EQ(callsOf("notifyUsbPrinterByCpp")[0].toArray()[1].toString(),
              R"({"compatibleids":[],"deviceDesc":"LaserJet","friendlyName":"","hardwareids":[],"mfg":"HP",)"
              R"("searchMethod":1})");
}
