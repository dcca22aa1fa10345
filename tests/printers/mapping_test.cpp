// How CUPS states become the Win32-shaped values a page sees, how changes are
// derived from two readings, and which names are refused before any request.

#include "printers/cupsconnection.h"
#include "printers/cupsspooler.h"
#include "printers/printerapi.h"
#include "printers/printerdiff.h"
#include "printers/win32printer.h"
#include "webui/pagejson.h"

#include <QJsonArray>
#include <gtest/gtest.h>

using namespace PrinterAPI;
namespace w = PrinterAPI::win32printer;

TEST(PrinterStatus, StateAndReasonsMapToStatusBits)
{
    struct Case {
        int state;
        QStringList reasons;
        std::uint32_t bits;
    };
    const Case cases[] = {
        {IPP_PSTATE_IDLE, {}, 0},
        {IPP_PSTATE_STOPPED, {"paused"}, w::kStatusPaused},
        {IPP_PSTATE_PROCESSING, {}, w::kStatusPrinting},
        {IPP_PSTATE_IDLE, {"media-empty-error"}, w::kStatusPaperOut},
        {IPP_PSTATE_IDLE, {"media-needed"}, w::kStatusPaperOut},
        {IPP_PSTATE_IDLE, {"media-jam-error"}, w::kStatusPaperJam},
        {IPP_PSTATE_IDLE, {"media-low-report"}, w::kStatusPaperProblem},
        {IPP_PSTATE_IDLE, {"input-tray-missing-warning"}, w::kStatusPaperProblem},
        {IPP_PSTATE_IDLE, {"offline-report"}, w::kStatusOffline},
        {IPP_PSTATE_IDLE, {"shutdown"}, w::kStatusOffline},
        {IPP_PSTATE_IDLE, {"timed-out"}, w::kStatusOffline},
        {IPP_PSTATE_IDLE, {"toner-low-warning"}, w::kStatusTonerLow},
        {IPP_PSTATE_IDLE, {"marker-supply-low-report"}, w::kStatusTonerLow},
        {IPP_PSTATE_IDLE, {"toner-empty-error"}, w::kStatusNoToner},
        {IPP_PSTATE_IDLE, {"marker-supply-empty-error"}, w::kStatusNoToner},
        {IPP_PSTATE_IDLE, {"door-open-error"}, w::kStatusDoorOpen},
        {IPP_PSTATE_IDLE, {"cover-open"}, w::kStatusDoorOpen},
        {IPP_PSTATE_IDLE, {"output-area-full-warning"}, w::kStatusOutputBinFull},
        {IPP_PSTATE_IDLE, {"connecting-to-device"}, w::kStatusWaiting},
        {IPP_PSTATE_IDLE, {"cups-missing-filter-error"}, w::kStatusError},
        {IPP_PSTATE_IDLE, {"cups-waiting-for-job-completed"}, 0},
        {IPP_PSTATE_STOPPED,
         {"media-empty-error", "offline-report", "toner-low-warning"},
         w::kStatusPaused | w::kStatusPaperOut | w::kStatusOffline | w::kStatusTonerLow},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cups::statusBits(c.state, c.reasons), c.bits) << c.reasons.join(',').toStdString();
}

TEST(PrinterAttributes, SharingDefaultNetworkRawAndPublishing)
{
    cups::QueueAttributes local;
    local.deviceUri = "usb://HP/LaserJet";
    EXPECT_EQ(cups::attributeBits(local, false), w::kAttributeLocal);
    local.shared = true;
    EXPECT_EQ(cups::attributeBits(local, true), w::kAttributeLocal | w::kAttributeShared | w::kAttributeDefault);

    for (const char* uri : {"ipp://h/p", "ipps://h/p", "http://h", "https://h", "socket://h:9100", "lpd://h/q",
                            "smb://h/q", "dnssd://x"}) {
        cups::QueueAttributes network;
        network.deviceUri = uri;
        EXPECT_EQ(cups::attributeBits(network, false), w::kAttributeNetwork) << uri;
    }
    cups::QueueAttributes remote;
    remote.type = CUPS_PRINTER_REMOTE;
    EXPECT_EQ(cups::attributeBits(remote, false), w::kAttributeNetwork);

    cups::QueueAttributes raw;
    raw.deviceUri = "file:///dev/null";
    raw.makeAndModel = "Local Raw Printer";
    raw.dnsSdName = "Raw @ host";
    EXPECT_EQ(cups::attributeBits(raw, false), w::kAttributeLocal | w::kAttributeRawOnly | w::kAttributePublished);
}

TEST(JobStatus, JobStatesMapToJobStatusBits)
{
    struct Case {
        int state;
        QStringList reasons;
        std::uint32_t bits;
    };
    const Case cases[] = {
        {IPP_JSTATE_PENDING, {"none"}, 0},
        {IPP_JSTATE_PENDING, {"job-incoming"}, w::kJobSpooling},
        {IPP_JSTATE_HELD, {"job-hold-until-specified"}, w::kJobPaused},
        {IPP_JSTATE_PROCESSING, {}, w::kJobPrinting},
        {IPP_JSTATE_STOPPED, {}, w::kJobPaused},
        {IPP_JSTATE_STOPPED, {"printer-stopped"}, w::kJobBlockedDevQ},
        {IPP_JSTATE_CANCELED, {}, w::kJobDeleted},
        {IPP_JSTATE_ABORTED, {}, w::kJobError},
        {IPP_JSTATE_COMPLETED, {}, w::kJobPrinted | w::kJobComplete},
        {IPP_JSTATE_PROCESSING, {"job-printing"}, w::kJobPrinting},
        {IPP_JSTATE_STOPPED, {"job-stopped"}, w::kJobPaused},
        {IPP_JSTATE_CANCELED, {"job-canceled-by-user"}, w::kJobDeleted},
        {IPP_JSTATE_ABORTED, {"aborted-by-system"}, w::kJobError},
        {IPP_JSTATE_COMPLETED, {"job-completed-successfully"}, w::kJobPrinted | w::kJobComplete},
        {42, {}, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cups::jobStatusBits(c.state, c.reasons), c.bits) << c.state;
}

TEST(PrinterRecord, CapabilitiesComeFromQueueAttributes)
{
    cups::QueueAttributes queue;
    queue.name = "laser";
    queue.deviceUri = "file:///dev/null";
    queue.shared = true;
    queue.startBanner = "none";
    queue.twoSided = true;
    queue.pagesPerMinute = 8;
    queue.resolutions = {{300, 300}, {600, 1200}};
    queue.defaultResolution = std::make_pair(600, 1200);
    const PrinterInfoRecord record = cups::toRecord(queue, true);
    EXPECT_TRUE(record.isDefault);
    EXPECT_TRUE(record.isShare);
    EXPECT_TRUE(record.isLocal);
    EXPECT_EQ(record.shareName, "laser");
    EXPECT_EQ(record.sepFile, "");
    EXPECT_EQ(record.printProcessor, "cups");
    EXPECT_EQ(record.dataType, "application/octet-stream");
    EXPECT_EQ(record.resolutions, (std::vector<std::int32_t>{300, 300, 600, 1200}));
    EXPECT_EQ(record.printQuality, 1200);
    EXPECT_EQ(record.averagePPM, 8u);
    EXPECT_EQ(record.printPagePerMinute, 8);
    EXPECT_TRUE(record.duplex);
    EXPECT_FALSE(record.color);

    cups::QueueAttributes plain;
    plain.name = "plain";
    EXPECT_EQ(cups::toRecord(plain, false).printQuality, 0);
    EXPECT_EQ(cups::toRecord(plain, false).shareName, "");
}

TEST(PrinterChangeObject, PageObjectCarriesEveryKey)
{
    PrinterChange change;
    change.changed = w::kChangeSetPrinter;
    change.notifyFields = {w::kFieldAttributes, w::kFieldStatus};
    change.printerName = QStringLiteral("Büro");
    change.printerServer = "host";
    change.attributes = 0x48;
    change.printerStatus = w::kStatusServerUnknown;
    change.cjobs = 3;
    const QJsonObject page = printerChangeToPageObject(change);
    EXPECT_EQ(webui::memberOrder(page),
              (QStringList{"dwChanged", "dwNotifyField", "printerName", "printerServer", "newPrinterName",
                           "dwAttribute", "dwPrinterStatus", "dwJobStatus", "dwCjobs"}));
    EXPECT_EQ(webui::pageJson(page),
              QString::fromUtf8(R"({"dwChanged":2,"dwNotifyField":[13,18],"printerName":"Büro","printerServer":"host",)"
                                R"("newPrinterName":"","dwAttribute":72,"dwPrinterStatus":8388608,"dwJobStatus":0,)"
                                R"("dwCjobs":3})"));
    EXPECT_EQ(page["dwChanged"].toInt(), 2);
    EXPECT_EQ(page["dwNotifyField"].toArray(), (QJsonArray{0x0D, 0x12}));
    EXPECT_EQ(page["printerName"].toString(), QStringLiteral("Büro"));
    EXPECT_EQ(page["dwAttribute"].toInt(), 0x48);
    EXPECT_EQ(page["dwPrinterStatus"].toInt(), 0x800000);
    EXPECT_EQ(page["dwJobStatus"].toInt(), 0);
    EXPECT_EQ(page["dwCjobs"].toInt(), 3);
    EXPECT_EQ(page["newPrinterName"].toString(), "");
}

namespace {
PrinterInfoRecord queue(const QString& name, std::uint32_t status = 0, std::uint32_t cjobs = 0)
{
    PrinterInfoRecord record;
    record.printerName = name;
    record.attributes = w::kAttributeLocal;
    record.status = status;
    record.cjobs = cjobs;
    return record;
}
}  // namespace

TEST(PrinterDiff, AddedDeletedAndModifiedQueuesInThatOrder)
{
    PrinterInfoRecord described = queue("b");
    described.location = "Room 9";
    const std::vector<PrinterInfoRecord> before = {queue("a"), queue("b"), queue("c"), queue("gone")};
    const std::vector<PrinterInfoRecord> after = {queue("a"), described, queue("c", w::kStatusPaused, 2),
                                                  queue("new")};
    const std::vector<PrinterChange> changes = diffPrinters(before, after);
    ASSERT_EQ(changes.size(), 4u);
    EXPECT_EQ(changes[0].changed, w::kChangeDeletePrinter);
    EXPECT_EQ(changes[0].printerName, "gone");
    EXPECT_EQ(changes[1].changed, w::kChangeAddPrinter);
    EXPECT_EQ(changes[1].printerName, "new");
    EXPECT_EQ(changes[2].changed, w::kChangeSetPrinter);
    EXPECT_EQ(changes[2].printerName, "b");
    EXPECT_EQ(changes[2].notifyFields, (std::vector<std::uint32_t>{w::kFieldAttributes}));
    EXPECT_EQ(changes[3].printerName, "c");
    EXPECT_EQ(changes[3].notifyFields, (std::vector<std::uint32_t>{w::kFieldStatus, w::kFieldCJobs}));
    EXPECT_EQ(changes[3].printerStatus, w::kStatusPaused);
    EXPECT_EQ(changes[3].cjobs, 2u);
}

TEST(PrinterDiff, RenameIsDeleteThenAdd)
{
    const std::vector<PrinterChange> changes = diffPrinters({queue("old")}, {queue("renamed")});
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].changed, w::kChangeDeletePrinter);
    EXPECT_EQ(changes[0].printerName, "old");
    EXPECT_EQ(changes[1].changed, w::kChangeAddPrinter);
    EXPECT_EQ(changes[1].printerName, "renamed");
    EXPECT_EQ(changes[1].newPrinterName, "");
}

TEST(PrinterDiff, IdenticalReadingsAreSilent)
{
    EXPECT_TRUE(diffPrinters({queue("a", 0, 1)}, {queue("a", 0, 1)}).empty());
    EXPECT_TRUE(diffPrinters({}, {}).empty());
}

TEST(PrinterDiff, NewSupplyValuesAreASuppliesChangeOnly)
{
    PrinterInfoRecord before = queue("a", 0, 1);
    before.markers = {{"Black", "Cyan"}, {"#000000", "#00FFFF"}, {80, 60}, {"toner", "toner"}};
    PrinterInfoRecord after = before;
    after.markers.levels = {79, 60};
    const std::vector<PrinterChange> changes = diffPrinters({before}, {after});
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].changed, w::kChangeSetPrinter);
    EXPECT_EQ(changes[0].notifyFields, std::vector<std::uint32_t>{w::kFieldSupplies});
    EXPECT_EQ(changes[0].cjobs, 1u);
    // A supply that appears, or a colour that changes, is one as well.
    after = before;
    after.markers.names << "Magenta";
    EXPECT_EQ(diffPrinters({before}, {after}).size(), 1u);
    after = before;
    after.markers.colors[1] = "#00FFFE";
    EXPECT_EQ(diffPrinters({before}, {after}).size(), 1u);
    EXPECT_TRUE(diffPrinters({before}, {before}).empty());
}

TEST(PrinterDiff, RefusingNewJobsIsAnAcceptingChangeOnly)
{
    PrinterInfoRecord before = queue("a");
    PrinterInfoRecord after = before;
    after.accepting = false;
    const std::vector<PrinterChange> changes = diffPrinters({before}, {after});
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].notifyFields, std::vector<std::uint32_t>{w::kFieldAccepting});
    EXPECT_EQ(diffPrinters({after}, {before}).size(), 1u);
}

TEST(PrinterRecord, SuppliesComeFromTheMarkerAttributes)
{
    cups::QueueAttributes attributes;
    attributes.name = "a";
    attributes.markers = {{"Black"}, {"#000000"}, {42}, {"toner"}};
    EXPECT_EQ(cups::toRecord(attributes, false).markers, attributes.markers);
}

TEST(PrinterNames, NamesCupsCouldNeverHaveAreRefused)
{
    const QString refused[] = {
        "",
        QString(10 * 1024, QLatin1Char('a')),
        QString(128, QLatin1Char('b')),
        "with space",
        "quote\"d",
        "single'quote",
        "slash/ed",
        "back\\slash",
        "new\nline",
        "tab\t",
        "hash#",
        "question?",
        QString::fromUtf8("bad\xff\xfe bytes"),
        QString(QChar(0xD800)),
        "a b",
        "a/b",
        "..\\x",
        "it's",
        "what?",
        "tab\tname",
        QString(4096, QLatin1Char('x')),
        QString("del") + QChar(0x7F),
        QString("unit") + QChar(0x1F) + "sep",
        // 126 ASCII bytes and a two-byte character: 128 bytes.
        QString(126, QLatin1Char('d')) + QChar(0xE9),
    };
    for (const QString& name : refused)
        EXPECT_FALSE(cups::isValidPrinterName(name)) << name.left(40).toStdString();
    const QString accepted[] = {QStringLiteral("laser"), QStringLiteral("HP_LaserJet-4.0"), QStringLiteral("Büro"),
                                QStringLiteral("Drucker-Büro_2"), QString(127, QLatin1Char('c')),
                                // Spaces outside ASCII are ordinary characters to CUPS.
                                QString("no") + QChar(0xA0) + "break", QString("ideographic") + QChar(0x3000) + "space",
                                QString("replacement") + QChar(0xFFFD), QString(125, QLatin1Char('e')) + QChar(0xE9),
                                QStringLiteral("semi;colon$(x)`y`&|<>*~!@%^=+,.:[]{}"),
                                QString::fromUtf8("\xF0\x9F\x96\xA8printer")};
    for (const QString& name : accepted)
        EXPECT_TRUE(cups::isValidPrinterName(name)) << name.toStdString();
}

TEST(PrinterDiff, AddedAndDeletedQueuesCarryTheirDeviceUri)
{
    PrinterInfoRecord gone = queue("gone");
    gone.portName = "usb://HP/LaserJet?serial=A1";
    PrinterInfoRecord added = queue("new");
    added.portName = "usb://HP/LaserJet?serial=B2";
    const std::vector<PrinterChange> changes = diffPrinters({gone}, {added});
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].portName, "usb://HP/LaserJet?serial=A1");
    EXPECT_EQ(changes[1].portName, "usb://HP/LaserJet?serial=B2");
    EXPECT_FALSE(webui::pageJson(printerChangeToPageObject(changes[1])).contains("usb://"))
        << "the device-uri is not for the page";
}
