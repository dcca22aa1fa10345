#pragma once
// Installed printers, printer operations and the printer change monitor.
//
// The rest of the program reaches the print system only through this header.
// The scheduler is the CUPS server named by CUPS_SERVER (a host, host:port or
// the path of a unix socket), else the local one. Every connection gives up
// after about two seconds without an answer (sooner inside a
// SchedulerWaitLimit), so a hung scheduler costs a page command at most that
// long; an unreachable one makes listings "[]" and commands 1722.
//
// Page commands: each function below is what one page command does, with the
// page's arguments by position ("args[0]" ...) and the page's result type, so
// the main window's binding only converts arguments and results. Printer names
// from the page are untrusted: a name CUPS could never have (empty, longer than
// 127 bytes of UTF-8, an ASCII control character, space or DEL, quotes,
// slashes, '#', '?', '\') is answered with 1801 (ERROR_INVALID_PRINTER_NAME)
// or false, and no name ever reaches a shell. Every other name is passed on as
// it is, non-ASCII spaces included, exactly as the scheduler would take it.

#include "sysutil/win32errors.h"
#include "webui/windowmessage.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace PrinterAPI {

// A queue's supplies as the scheduler keeps them (marker-names, marker-colors,
// marker-levels, marker-types, at most 32 values each): what the queue's
// backend or driver last reported.
struct MarkerValues {
    QStringList names;
    QStringList colors;
    std::vector<int> levels;
    QStringList types;
    bool operator==(const MarkerValues& other) const
    {
        return names == other.names && colors == other.colors && levels == other.levels && types == other.types;
    }
    bool operator!=(const MarkerValues& other) const { return !(*this == other); }
};

// One installed print queue, in the shape of PRINTER_INFO_2 plus the driver
// capabilities the pages show.
struct PrinterInfoRecord {
    bool isDefault = false;
    bool isShare = false;
    bool isLocal = false;
    QString serverName;      // "" for a queue of our scheduler, else the remote host
    QString printerName;
    QString shareName;       // the queue name when shared, else ""
    QString portName;        // device-uri
    QString driverName;      // printer-make-and-model
    QString comment;         // printer-info
    QString location;        // printer-location
    QString sepFile;         // start banner of job-sheets-default, "" for none
    QString printProcessor;  // always "cups"
    QString dataType;        // document-format-default (application/octet-stream)
    QString parameters;      // not sent to the page
    std::uint32_t attributes = 0;
    std::uint32_t priority = 0;  // job-priority-default
    std::uint32_t startTime = 0;
    std::uint32_t untilTime = 0;
    std::uint32_t status = 0;
    std::uint32_t cjobs = 0;
    std::uint32_t averagePPM = 0;
    std::int16_t printQuality = 0;  // y of the default resolution in dpi, else 0
    bool duplex = false;
    bool color = false;
    std::int32_t printPagePerMinute = 0;
    std::vector<std::int32_t> resolutions;  // x1, y1, x2, y2 ... in dpi
    std::uint32_t driverAttributes = 0;
    MarkerValues markers;  // not sent to the page (see getPrinterSupplies)
    bool accepting = true;  // printer-is-accepting-jobs; not sent to the page (see getPrinterJobs)
};

// The state of one printer as told to the page, for a query or a change.
struct PrinterChange {
    std::uint32_t changed = 0;               // win32printer::kChange* bits, 0 for a query
    std::vector<std::uint32_t> notifyFields;  // win32printer::kField* codes
    QString printerName;
    QString printerServer;
    std::uint32_t attributes = 0;
    std::uint32_t printerStatus = 0;
    std::uint32_t jobStatus = 0;  // always 0
    std::uint32_t cjobs = 0;
    QString newPrinterName;       // always "": CUPS has no rename (see PrinterMonitor)
    QString portName;             // the queue's device-uri (not sent to pages); "" when unknown
};

// One job of a queue, its state as JOB_STATUS_* bits.
struct PrintJobRecord {
    int id = 0;
    QString name;
    QString user;
    std::uint32_t status = 0;
};

// ---- Installed printers --------------------------------------------------

// Selector 0: the queues of our scheduler; any other value: queues it only
// relays from another server. An unreachable scheduler gives an empty list.
std::vector<PrinterInfoRecord> listPrinters(int selector);
// The queues of both selectors from one reading of the scheduler; nullopt
// when it could not be read (unreachable, refused).
std::optional<std::vector<PrinterInfoRecord>> listAllPrinters();

// "enumPrinters"(args[0] selector): the main window runs this on a worker
// thread and passes the text to "enumPrinterCbkByCpp". Compact JSON array,
// keys sorted, "[]" when there is nothing.
QString enumInstalledPrinters(int selector);

// Fills the record's name, server, attributes, status and cjobs. 0, or 1801
// unknown/invalid name, 1722 scheduler unreachable, 5 refused, 31 other.
win32::ErrorCode queryPrinterState(const QString& printerName, PrinterChange& change);

// The page object of a change: dwChanged, dwNotifyField, printerName,
// printerServer, newPrinterName, dwAttribute, dwPrinterStatus, dwJobStatus,
// dwCjobs. The main window passes it to "notifyPrinterChangeByCpp".
QJsonObject printerChangeToPageObject(const PrinterChange& change);

// "getPrinterInfo"(args[0] name) -> {"code": n} or {"code": 0, "info": {...}}.
QJsonObject getPrinterInfo(const QString& printerName);

// "notifyPrinterCountByCpp": the number of installed queues (both selectors);
// 0 when the scheduler is unreachable.
int installedPrinterCount();

// The jobs the scheduler still holds for a queue (not completed ones).
std::vector<PrintJobRecord> listPrinterJobs(const QString& printerName, win32::ErrorCode* error = nullptr);

// ---- Printer operations (page commands) -----------------------------------
// In each, args[1] is the server name; only "deletePrinter" looks at it.

// "printTestPage"(name, server): sends the CUPS test page as job "Test Page".
// The page is a banner template sent as a banner document, which the
// queue's driver renders. 0, 1801, 2 when the test page file is missing, 1797
// (unknown driver) when a printer the job could reach has no driver that
// renders it (a raw queue, a class with one among its members: the device
// would get the template's source text), 1722, 5, 31.
int printTestPage(const QString& printerName, const QString& serverName);
// "setDefaultPrinter"(name, server): makes it the user's default destination.
bool setDefaultPrinter(const QString& printerName, const QString& serverName);
// "deletePrinter"(name, server): 0, 1801, 1722, 5 (also when the privileged
// retry was refused), 31.
int deletePrinter(const QString& printerName, const QString& serverName);
// "sharePrinter"(name, server, args[2] share): 0, 1801, 1722, 5, 31.
int sharePrinter(const QString& printerName, const QString& serverName, bool share);
// "showPrintPreferencesPage", "showPrinterPropertiesPage", "viewPrintQueue"
// (name, server): the desktop's printer tool, else the scheduler's web page of
// the printer in the default browser. 0, 1801, or 2 when nothing could start.
int showPrintPreferencesPage(const QString& printerName, const QString& serverName);
int showPrinterPropertiesPage(const QString& printerName, const QString& serverName);
int viewPrintQueue(const QString& printerName, const QString& serverName);
// "addPrinter"(args[0] owner, args[1] kind 0..3): opens the add-printer tool,
// else the scheduler's add page in the browser. 0 when one was started, 2 when
// nothing could start, 87 for another kind.
int addPrinter(webui::WindowHandle owner, int kind);
// "openManager"(args[0] owner, args[1] kind): 0 print management, 1 devices,
// 2 the printers list. 0, 2 when nothing could start, 87 for another kind;
// the binding answers win32printer::kOpenManagerMissingArgument itself when
// the page passed fewer than two arguments.
int openManager(webui::WindowHandle owner, int kind);
// "checkMMCExists"(args[0] kind): whether the tool openManager would use for
// that kind (0 or 1) is installed; false for other kinds.
bool checkMMCExists(int kind);
// "getManagerTool"(args[0] kind 0..2): what openManager(kind) would open on
// this machine: the printer tool's program name ("system-config-printer",
// "gnome-control-center"), "web-admin" or "web-printers" for the scheduler's
// web pages in the browser, "" when nothing could start or for another kind.
QString managerTool(int kind);
// "installDriverPackage"(args[0] notice, args[1] path), bound with the main
// window as owner. 3 when the file does not exist. A program (executable, or
// named .run, .sh, .AppImage) is started at once and 0 returned; when it and
// every process it started have ended, message 2127 (kPackageInstalled) is
// posted to the owner with wParam = the wait's result (0, or the Win32 error
// that kept it from starting) and payload = std::shared_ptr<QString> holding
// the notice text. Any other file is shown selected in the file manager:
// 1 when that worked, else 0.
int installDriverPackage(webui::WindowHandle owner, const QString& notice, const QString& packagePath);

// ---- Authorisation --------------------------------------------------------

// Asks the user for the password the scheduler wants for an administrative
// request; nullopt when the user declines (the operation then fails with 5).
// The application installs a dialog; without one every request for a password
// is declined. Called on the thread making the request; at most three times
// per request.
using PasswordPrompt = std::function<std::optional<QString>(const QString& prompt, const QString& user)>;
void setPasswordPrompt(PasswordPrompt prompt);

// ---- The scheduler as a whole ----------------------------------------------
// What the print environment checks and repairs ask of the scheduler beyond
// single printers.

// While it lives, every connection this thread opens to the scheduler gives up
// after waitMs for connecting and again after waitMs for each answer, instead
// of about two seconds each. A check that must answer quickly even when the
// scheduler accepts and then says nothing puts its requests inside one. The
// innermost limit counts; the one before is back when it ends.
class SchedulerWaitLimit {
public:
    explicit SchedulerWaitLimit(int waitMs);
    ~SchedulerWaitLimit();
    SchedulerWaitLimit(const SchedulerWaitLimit&) = delete;
    SchedulerWaitLimit& operator=(const SchedulerWaitLimit&) = delete;

private:
    int m_previousMs;
};

// The scheduler this program talks to, as CUPS names it: a host name, or the
// path of a local socket (starting with "/").
QString schedulerName();

// The scheduler as "lpadmin -h" takes it: the socket path, or the host with
// ":port" when the port is not 631.
QString schedulerAddress();

// Whether the scheduler gives any IPP answer at all; a refusal counts as one.
bool schedulerAnswers();

// The scheduler's own "share published printers" setting; nullopt when its
// settings cannot be read.
std::optional<bool> schedulerSharesPrinters();
// Turns that setting on; the scheduler rewrites its configuration and
// restarts. 0, 1722, 5, 31.
win32::ErrorCode enableSchedulerSharing();

struct CancelAllJobsResult {
    win32::ErrorCode error = win32::kSuccess;  // the first failure
    int cancelledJobs = 0;                     // unfinished jobs that were cancelled
    int jobsLeft = 0;                          // unfinished jobs still there at the end
};
// Cancels every unfinished job on every queue with one Cancel-Jobs for all
// printers (everyone's jobs, as `cancel -a`), then waits up to 15 s until the
// scheduler holds none: a job being printed ends only when its filters have
// stopped. error: 1722 when the scheduler cannot be reached, 5 when it refuses
// the cancel, 31 when jobs are still left at the end.
CancelAllJobsResult cancelAllJobs();
// The same for the jobs of one queue (a printer or a class) only. 1801 for a
// name CUPS could not have or a queue that does not exist.
CancelAllJobsResult cancelPrinterJobs(const QString& printerName);

// ---- Change monitor -------------------------------------------------------

// Watches the scheduler and posts message 2128 (webui::msg::kPrinterChanged)
// with wParam = the change bits and payload = std::shared_ptr<PrinterChange>
// to every subscribed window whose mask shares a bit with the change:
//   added    0x1, name, server and the new values;
//   deleted  0x4, name and server;
//   modified 0x2, notifyFields listing 0x0D (attributes, sharing, default,
//            description, driver or device changed), 0x12 (status), 0x14
//            (queued jobs), 0x100 (supplies: a marker-* value changed, as a
//            backend reports during a job; no field of the change carries
//            them, "getPrinterSupplies" reads them), 0x101 (the queue began
//            or stopped taking new jobs; "getPrinterJobs" tells which),
//            0x102 (a job of the queue changed state, e.g. was held or
//            released, as the scheduler's events tell; not noticed while
//            the scheduler grants no subscription), and the new values.
// CUPS has no rename: a renamed queue arrives as deleted + added. Changes that
// raise no scheduler event (the default chosen in another program) arrive
// within about 30 s (a minute with D-Bus notifications). While the scheduler does not answer at all every known
// printer is reported once with status 0x800000 (server unknown); when it
// answers again the differences (printers that appeared, vanished or changed
// meanwhile) are reported. A scheduler that answers but refuses a
// subscription is still watched, by reading it every few seconds.
class PrinterMonitor {
public:
    static PrinterMonitor& instance();

    // Subscribes the window and starts watching (once per process).
    void start(webui::WindowHandle window, std::uint32_t mask);
    void subscribe(webui::WindowHandle window, std::uint32_t mask);
    void unsubscribe(webui::WindowHandle window);
    // Asks for a prompt re-read, e.g. after the program changed a printer
    // itself. Does nothing before start().
    void refreshSoon();
    // Stops watching and waits for the thread; start() may follow. Also run
    // when the application object goes away.
    void stop();

    // How the running monitor hears of changes: "dbus" (signals of the CUPS
    // D-Bus notifier), "ippget" (a pull subscription), "poll" (the scheduler
    // grants no subscription, e.g. its table is full: every queue is read
    // every few seconds), or "" when stopped or the scheduler does not answer.
    QString notificationMethod() const;

    // Whether the monitor runs (between start() and stop()).
    bool running() const;
    // The queues of its latest reading of the scheduler, as (name, device-uri)
    // of our own scheduler's queues; published before the changes that
    // reading found are posted. nullopt while it runs without a reading (the
    // scheduler has not answered yet or stopped answering) or is stopped.
    // Never waits for the scheduler.
    std::optional<std::vector<std::pair<QString, QString>>> knownQueuePorts() const;
    // Monitor thread: the latest reading, or nullopt when it was lost.
    void publishQueues(const std::optional<std::vector<PrinterInfoRecord>>& records);

    PrinterMonitor(const PrinterMonitor&) = delete;
    PrinterMonitor& operator=(const PrinterMonitor&) = delete;

    struct Subscriber {
        webui::WindowHandle window = 0;
        std::uint32_t mask = 0;
    };
    // Posts one change to the subscribers whose mask matches (monitor thread).
    void post(const PrinterChange& change);

private:
    PrinterMonitor() = default;
    ~PrinterMonitor();

    class Thread;
    mutable std::mutex m_lock;  // guards the subscribers and the thread
    std::vector<Subscriber> m_subscribers;
    mutable std::mutex m_queuesLock;  // guards m_queuePorts only
    std::optional<std::vector<std::pair<QString, QString>>> m_queuePorts;
    std::unique_ptr<Thread> m_thread;
};

}  // namespace PrinterAPI
