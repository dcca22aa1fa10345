// The printer change monitor.
//
// Thread: one QThread, started by the first PrinterMonitor::start() and
// running until stop() (called at the latest when the application object is
// destroyed). It owns its own connection to the scheduler and touches nothing
// else but the subscriber list, under PrinterMonitor's mutex. It reports only
// by posting message 2128 to subscribed windows (webui::postWindowMessage),
// each with its own PrinterChange. It stops when its event loop is told to
// quit; before that it cancels its subscription.
//
// CUPS events are hints, the state is the truth: the thread holds one
// server-wide subscription and hears of events either as signals of the CUPS
// D-Bus notifier (when a system bus exists) or by asking for them every
// 750 ms (CUPS ignores notify-wait, so a pull subscription has to be polled).
// On an event it lets the burst settle, then reads again the printers the
// events named, each with one Get-Printer-Attributes, and posts the
// differences to the last reading. Whatever may touch other queues (a queue
// added or deleted, a job moved, a new default, the scheduler restarted, an
// event without a printer, many at once) is answered by reading every queue
// with one CUPS-Get-Printers instead. One change only the events tell: a job
// that changed state (held, released) leaves every value of its queue as it
// was, so the queues job-state-changed events name are reported as such.
//
// Keeping watch costs little when nothing happens: with D-Bus a
// Get-Subscription-Attributes every few seconds proves the scheduler and the
// subscription are still there. Some changes raise no event at all (a default
// printer chosen in another program's lpoptions), and a signal may be lost, so
// every queue is read again every 30 s anyway (60 s with D-Bus, where a lost
// signal is rare; a full reading of 500 queues is what idle watching costs).
//
// The scheduler's subscription table is shared by every client and small
// (100 by default, and a client that died leaves its entries for the lease),
// so a refused subscription is an ordinary state, not a lost scheduler: the
// thread then reads every queue every few seconds and asks for a subscription
// again now and then. Only a scheduler that does not answer at all is lost:
// every known printer is then reported once with status 0x800000, and the
// connection is retried every two seconds; when it answers again the thread
// subscribes anew and reports what changed meanwhile.

#include "printers/cupsconnection.h"
#include "printers/cupsspooler.h"
#include "printers/printerapi.h"
#include "printers/printerdiff.h"
#include "printers/win32printer.h"
#include "sysutil/signalstack.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDebug>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <set>

namespace PrinterAPI {

namespace {

// Get-Notifications of a pull subscription.
constexpr int kPollMs = 750;
// Past this many printers named by one burst of events, one full reading is
// cheaper than reading them one by one.
constexpr std::size_t kMostSingleReads = 8;
// Get-Subscription-Attributes of a D-Bus subscription: notices a scheduler
// that went away without saying so, or forgot the subscription.
constexpr int kKeepAliveMs = 2000;
// Without a subscription: a full reading this often.
constexpr int kUnsubscribedReadMs = 3000;
// Without a subscription: asking for one again this often.
constexpr qint64 kResubscribeAfterMs = 30 * 1000;
// With a subscription: a full reading at the latest this long after the last
// (some changes raise no event; a D-Bus signal may be lost).
constexpr qint64 kFullReadAfterMs = 30 * 1000;
constexpr qint64 kDBusFullReadAfterMs = 60 * 1000;
// CUPS sends several events per change, some still carrying the old state.
constexpr int kSettleMs = 40;
constexpr int kRetryMs = 2000;
constexpr int kLeaseSeconds = 600;
constexpr qint64 kRenewAfterMs = 240 * 1000;

const char* const kEvents[] = {"printer-added",   "printer-deleted", "printer-modified", "printer-state-changed",
                               // Queued-job counts change with jobs, not with printer events;
                               // a job moved to another queue (lpmove) is a configuration change.
                               "job-created",     "job-completed",   "job-config-changed",
                               // A job held or released changes no printer value at all.
                               "job-state-changed"};

// Every signal the notifier sends for the events above.
const char* const kNotifierSignals[] = {"PrinterAdded",   "PrinterDeleted",   "PrinterModified", "PrinterStateChanged",
                                        "PrinterStopped", "PrinterRestarted", "PrinterShutdown", "JobCreated",
                                        "JobCompleted",   "JobConfigChanged", "JobState",        "ServerStarted",
                                        "ServerRestarted"};

constexpr char kNotifierPath[] = "/org/cups/cupsd/Notifier";
constexpr char kNotifierInterface[] = "org.cups.cupsd.Notifier";

// Unsubscribed: the scheduler answers but keeps no subscription for us.
enum class Method { None, DBus, IppGet, Unsubscribed };

enum class Outcome { Done, Refused, NoAnswer };

}  // namespace

class MonitorWorker : public QObject {
    Q_OBJECT
public:
    // The timers are children so that they move to the monitor thread too.
    explicit MonitorWorker(PrinterMonitor& monitor)
        : m_monitor(monitor), m_pollTimer(this), m_settleTimer(this), m_retryTimer(this)
    {
        m_pollTimer.setSingleShot(true);
        m_settleTimer.setSingleShot(true);
        m_retryTimer.setSingleShot(true);
        m_settleTimer.setInterval(kSettleMs);
        m_retryTimer.setInterval(kRetryMs);
        connect(&m_pollTimer, &QTimer::timeout, this, &MonitorWorker::poll);
        connect(&m_settleTimer, &QTimer::timeout, this, &MonitorWorker::refreshPending);
        connect(&m_retryTimer, &QTimer::timeout, this, &MonitorWorker::connectToScheduler);
    }

    QString methodName() const
    {
        std::lock_guard<std::mutex> guard(m_methodLock);
        switch (m_method) {
        case Method::DBus: return QStringLiteral("dbus");
        case Method::IppGet: return QStringLiteral("ippget");
        case Method::Unsubscribed: return QStringLiteral("poll");
        case Method::None: break;
        }
        return {};
    }

public slots:
    void begin()
    {
        sysutil::ensureAlternateSignalStack();
        connectToScheduler();
    }

    // A full reading soon.
    void scheduleRefresh() { hint(QString()); }

    void finish()
    {
        m_pollTimer.stop();
        m_settleTimer.stop();
        m_retryTimer.stop();
        cancelSubscription();
        m_connection.reset();
        setMethod(Method::None);
    }

    // Every signal of the notifier carries the printer's name third (after
    // the event's text and the printer's URI). A job moved elsewhere changes
    // the queue it left too, which the signal does not name.
    void dbusHint(const QDBusMessage& message)
    {
        const QList<QVariant> arguments = message.arguments();
        const bool named = message.member() != QLatin1String("JobConfigChanged") && arguments.size() >= 3 &&
                           arguments.at(2).type() == QVariant::String;
        hint(named ? arguments.at(2).toString() : QString(), message.member() == QLatin1String("JobState"));
    }

private:
    // Notes what to read again once the burst has settled: the printer, or
    // every queue when the name is empty; jobState: a job of that printer
    // changed state, which the reading itself cannot tell.
    void hint(const QString& printerName, bool jobState = false)
    {
        if (!m_connection)
            return;
        if (jobState && !printerName.isEmpty())
            m_jobStateNames.insert(printerName);
        if (printerName.isEmpty())
            m_pendingFull = true;
        else
            m_pendingNames.insert(printerName);
        if (!m_settleTimer.isActive())
            m_settleTimer.start();
    }

    void refreshPending()
    {
        if (m_pendingFull || !m_snapshot || m_pendingNames.size() > kMostSingleReads) {
            refresh();
            return;
        }
        const std::set<QString> names = std::move(m_pendingNames);
        m_pendingNames.clear();
        for (const QString& name : names) {
            if (!refreshOne(name)) {
                refresh();
                return;
            }
            if (!m_connection)
                return;
        }
    }

    // Reads one known printer again and posts what changed; false when only
    // a full reading can tell (the printer is new or gone, or the default
    // moved, which changes another queue as well).
    bool refreshOne(const QString& name)
    {
        const auto old = std::find_if(m_snapshot->begin(), m_snapshot->end(),
                                      [&](const PrinterInfoRecord& r) { return r.printerName == name; });
        if (old == m_snapshot->end())
            return false;
        win32::ErrorCode error = win32::kSuccess;
        const std::optional<cups::QueueAttributes> queue = cups::readQueue(*m_connection, name, error, false);
        if (error == win32::kRpcServerUnavailable) {
            lostScheduler();
            return true;
        }
        if (!queue || queue->name != name)
            return false;
        PrinterInfoRecord now = cups::toRecord(*queue, cups::isDefaultDestination(*queue, cups::userDefaultName()));
        if (now.isDefault != old->isDefault)
            return false;
        std::vector<PrinterChange> changes = diffPrinters({*old}, {now});
        *old = std::move(now);
        addJobStateChanges(changes, {name});
        // Readers of the queue list see what a change they hear of tells.
        if (!changes.empty())
            m_monitor.publishQueues(m_snapshot);
        for (const PrinterChange& change : changes)
            m_monitor.post(change);
        return true;
    }

    void setMethod(Method method)
    {
        std::lock_guard<std::mutex> guard(m_methodLock);
        m_method = method;
    }

    Method wantedMethod() const
    {
        const QByteArray forced = qgetenv("KORVANE_PRINTER_NOTIFY");
        if (forced == "ippget")
            return Method::IppGet;
        if (forced == "dbus")
            return Method::DBus;
        // The notifier speaks on the scheduler's own system bus.
        if (cups::SpoolerConnection::serverIsLocal() && QDBusConnection::systemBus().isConnected())
            return Method::DBus;
        return Method::IppGet;
    }

    void connectToScheduler()
    {
        m_connection = std::make_unique<cups::SpoolerConnection>();
        // The scheduler keeps subscriptions across a restart: the one from
        // before a loss would hold a place in the shared table for its lease.
        if (m_connection->isOpen())
            cancelSubscription();
        if (!m_connection->isOpen() || subscribe() == Outcome::NoAnswer) {
            lostScheduler();
            return;
        }
        if (!m_snapshot) {
            const cups::QueueList list = cups::readQueues(*m_connection);
            if (list.error != win32::kSuccess) {
                lostScheduler();
                return;
            }
            m_snapshot = cups::toRecords(list.queues);
            m_monitor.publishQueues(m_snapshot);
            m_lastFullRead.start();
        } else {
            // Back after a loss: whatever appeared, vanished or changed.
            refresh();
            if (!m_connection)
                return;
        }
        m_lossReported = false;
        startPollTimer();
    }

    void startPollTimer()
    {
        switch (m_method) {
        case Method::IppGet: m_pollTimer.start(kPollMs); break;
        case Method::DBus: m_pollTimer.start(kKeepAliveMs); break;
        default: m_pollTimer.start(kUnsubscribedReadMs); break;
        }
    }

    // Creates the subscription; Refused leaves the thread reading on its own.
    Outcome subscribe()
    {
        Method method = wantedMethod();
        Outcome outcome = createSubscription(method);
        if (outcome == Outcome::Refused && method == Method::DBus) {
            qInfo("printers: no D-Bus notifier subscription, trying a pull subscription");
            method = Method::IppGet;
            outcome = createSubscription(method);
        }
        m_resubscribeClock.start();
        if (outcome != Outcome::Done) {
            if (outcome == Outcome::Refused && m_method != Method::Unsubscribed)
                qInfo("printers: the scheduler grants no subscription (%s); reading every queue every %d ms "
                      "and asking again every %lld s",
                      cups::lastReplyText(), kUnsubscribedReadMs, kResubscribeAfterMs / 1000);
            setMethod(Method::Unsubscribed);
            return outcome;
        }
        if (method == Method::DBus && !m_listening) {
            QDBusConnection bus = QDBusConnection::systemBus();
            for (const char* name : kNotifierSignals)
                bus.connect(QString(), QLatin1String(kNotifierPath), QLatin1String(kNotifierInterface),
                            QLatin1String(name), this, SLOT(dbusHint(QDBusMessage)));
            m_listening = true;
        }
        setMethod(method);
        m_renewal.start();
        return Outcome::Done;
    }

    Outcome createSubscription(Method method)
    {
        m_subscriptionId = 0;
        cups::IppPtr request = cups::newRequest(IPP_OP_CREATE_PRINTER_SUBSCRIPTIONS);
        ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/");
        ippAddStrings(request.get(), IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-events", int(std::size(kEvents)),
                      nullptr, kEvents);
        if (method == Method::DBus)
            ippAddString(request.get(), IPP_TAG_SUBSCRIPTION, IPP_TAG_URI, "notify-recipient-uri", nullptr, "dbus://");
        else
            ippAddString(request.get(), IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-pull-method", nullptr,
                         "ippget");
        ippAddInteger(request.get(), IPP_TAG_SUBSCRIPTION, IPP_TAG_INTEGER, "notify-lease-duration", kLeaseSeconds);
        const cups::Reply reply = m_connection->send(std::move(request));
        if (!reply.response)
            return Outcome::NoAnswer;
        ipp_attribute_t* id = ippFindAttribute(reply.response.get(), "notify-subscription-id", IPP_TAG_INTEGER);
        if (!reply.ok() || !id || ippGetInteger(id, 0) <= 0)
            return Outcome::Refused;
        m_subscriptionId = ippGetInteger(id, 0);
        m_nextSequence = 1;
        return Outcome::Done;
    }

    void cancelSubscription()
    {
        if (!m_connection || m_subscriptionId <= 0)
            return;
        cups::IppPtr request = cups::newRequest(IPP_OP_CANCEL_SUBSCRIPTION);
        ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/");
        ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-id", m_subscriptionId);
        m_connection->send(std::move(request));
        m_subscriptionId = 0;
    }

    void poll()
    {
        if (!m_connection)
            return;
        if (m_method == Method::Unsubscribed) {
            // Either way a full reading.
            if (m_resubscribeClock.elapsed() > kResubscribeAfterMs)
                resubscribe();
            else
                refresh();
            if (!m_connection)
                return;
        } else {
            if (m_renewal.elapsed() > kRenewAfterMs) {
                // A fresh subscription instead of renewing: it also replaces
                // one the scheduler may have dropped.
                cancelSubscription();
                if (!resubscribe())
                    return;
            }
            if (m_method == Method::IppGet && !fetchEvents())
                return;
            if (m_method == Method::DBus && !checkSubscription())
                return;
            if (m_lastFullRead.elapsed() > (m_method == Method::DBus ? kDBusFullReadAfterMs : kFullReadAfterMs)) {
                refresh();
                if (!m_connection)
                    return;
            }
        }
        startPollTimer();
    }

    // Get-Notifications; false when the scheduler was lost meanwhile.
    bool fetchEvents()
    {
        cups::IppPtr request = cups::newRequest(IPP_OP_GET_NOTIFICATIONS);
        ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/");
        ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-ids", m_subscriptionId);
        ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-sequence-numbers", m_nextSequence);
        const cups::Reply reply = m_connection->send(std::move(request));
        if (!reply.response) {
            lostScheduler();
            return false;
        }
        if (!reply.ok())
            return resubscribe();
        // One group per event: its printer, or every queue for a moved job
        // (the queue it left is not named) or an event without a printer.
        ipp_t* response = reply.response.get();
        bool inEvent = false;
        QString printer;
        bool everyQueue = false;
        bool jobState = false;
        const auto endOfEvent = [&] {
            if (inEvent)
                hint(everyQueue ? QString() : printer, jobState);
            inEvent = false;
            printer.clear();
            everyQueue = false;
            jobState = false;
        };
        for (ipp_attribute_t* a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
            if (ippGetGroupTag(a) != IPP_TAG_EVENT_NOTIFICATION || !ippGetName(a)) {
                endOfEvent();
                continue;
            }
            inEvent = true;
            const QByteArray name(ippGetName(a));
            if (name == "notify-sequence-number")
                m_nextSequence = std::max(m_nextSequence, ippGetInteger(a, 0) + 1);
            else if (name == "printer-name")
                printer = cups::attributeText(a);
            else if (name == "notify-subscribed-event") {
                const QString event = cups::attributeText(a);
                everyQueue = everyQueue || event == QLatin1String("job-config-changed");
                jobState = jobState || event == QLatin1String("job-state-changed");
            }
        }
        endOfEvent();
        return true;
    }

    bool checkSubscription()
    {
        cups::IppPtr request = cups::newRequest(IPP_OP_GET_SUBSCRIPTION_ATTRIBUTES);
        ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/");
        ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-id", m_subscriptionId);
        ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                     "notify-subscription-id");
        const cups::Reply reply = m_connection->send(std::move(request));
        if (!reply.response) {
            lostScheduler();
            return false;
        }
        return reply.ok() || resubscribe();
    }

    // A new subscription (the scheduler answers but no longer knows ours: it
    // was cancelled from outside, the scheduler restarted with its state
    // wiped, or the lease ran out), then a full reading, since events may have
    // been missed. False when the scheduler was lost meanwhile; a refusal
    // leaves the thread unsubscribed, reading on its own.
    bool resubscribe()
    {
        if (subscribe() == Outcome::NoAnswer) {
            lostScheduler();
            return false;
        }
        refresh();
        return m_connection != nullptr;
    }

    void refresh()
    {
        m_pendingFull = false;
        m_pendingNames.clear();
        if (!m_connection)
            return;
        const cups::QueueList list = cups::readQueues(*m_connection);
        if (list.error == win32::kRpcServerUnavailable) {
            lostScheduler();
            return;
        }
        // Any other failure is the scheduler answering: the next reading will tell.
        if (list.error != win32::kSuccess)
            return;
        m_lastFullRead.start();
        std::vector<PrinterInfoRecord> now = cups::toRecords(list.queues);
        // Readers of the queue list see what a change they hear of tells.
        m_monitor.publishQueues(now);
        if (m_snapshot) {
            std::vector<PrinterChange> changes = diffPrinters(*m_snapshot, now);
            m_snapshot = std::move(now);
            addJobStateChanges(changes, m_jobStateNames);
            for (const PrinterChange& change : changes)
                m_monitor.post(change);
        } else {
            m_snapshot = std::move(now);
        }
        m_jobStateNames.clear();
    }

    // The printers among `names` whose jobs changed state per the events are
    // reported as such (field 0x102): with the other fields of their change,
    // or in a change of their own. Only a printer known before and after.
    void addJobStateChanges(std::vector<PrinterChange>& changes, const std::set<QString>& names)
    {
        for (const QString& name : names) {
            if (!m_jobStateNames.count(name))
                continue;
            const auto known = std::find_if(m_snapshot->begin(), m_snapshot->end(),
                                            [&](const PrinterInfoRecord& r) { return r.printerName == name; });
            const auto change = std::find_if(changes.begin(), changes.end(),
                                             [&](const PrinterChange& c) { return c.printerName == name; });
            if (change != changes.end()) {
                if (change->changed == win32printer::kChangeSetPrinter)
                    change->notifyFields.push_back(win32printer::kFieldJobStates);
            } else if (known != m_snapshot->end()) {
                PrinterChange own = cups::toChange(*known);
                own.changed = win32printer::kChangeSetPrinter;
                own.notifyFields = {win32printer::kFieldJobStates};
                changes.push_back(std::move(own));
            }
        }
        if (&names != &m_jobStateNames)
            for (const QString& name : names)
                m_jobStateNames.erase(name);
    }

    void lostScheduler()
    {
        m_jobStateNames.clear();
        m_pollTimer.stop();
        m_settleTimer.stop();
        m_connection.reset();
        // m_subscriptionId stays: it is cancelled once the scheduler answers.
        setMethod(Method::None);
        m_monitor.publishQueues(std::nullopt);
        if (!m_lossReported && m_snapshot) {
            qInfo("printers: the scheduler stopped answering; retrying every %d ms", kRetryMs);
            for (PrinterInfoRecord& record : *m_snapshot) {
                m_monitor.post(schedulerLostChange(record));
                record.status = schedulerLostChange(record).printerStatus;
            }
            m_lossReported = true;
        }
        m_retryTimer.start();
    }

    PrinterMonitor& m_monitor;
    std::unique_ptr<cups::SpoolerConnection> m_connection;
    std::optional<std::vector<PrinterInfoRecord>> m_snapshot;
    bool m_lossReported = false;
    bool m_pendingFull = false;
    std::set<QString> m_pendingNames;
    std::set<QString> m_jobStateNames;  // printers with a job that changed state
    bool m_listening = false;  // connected to the notifier's signals
    int m_subscriptionId = 0;
    int m_nextSequence = 1;
    mutable std::mutex m_methodLock;
    Method m_method = Method::None;
    QElapsedTimer m_renewal;
    QElapsedTimer m_resubscribeClock;
    QElapsedTimer m_lastFullRead;
    QTimer m_pollTimer;
    QTimer m_settleTimer;
    QTimer m_retryTimer;
};

class PrinterMonitor::Thread {
public:
    explicit Thread(PrinterMonitor& monitor) : m_worker(new MonitorWorker(monitor))
    {
        m_worker->moveToThread(&m_thread);
        QObject::connect(&m_thread, &QThread::started, m_worker, &MonitorWorker::begin);
        QObject::connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
        m_thread.setObjectName(QStringLiteral("PrinterMonitor"));
        m_thread.start();
    }
    ~Thread()
    {
        QMetaObject::invokeMethod(m_worker, &MonitorWorker::finish, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    void refreshSoon() { QMetaObject::invokeMethod(m_worker, &MonitorWorker::scheduleRefresh, Qt::QueuedConnection); }
    QString methodName() const { return m_worker->methodName(); }

private:
    QThread m_thread;
    MonitorWorker* m_worker;  // lives on m_thread, deleted when it finishes
};

namespace {
void stopMonitorAtExit()
{
    PrinterMonitor::instance().stop();
}
}  // namespace

PrinterMonitor& PrinterMonitor::instance()
{
    static PrinterMonitor monitor;
    return monitor;
}

PrinterMonitor::~PrinterMonitor()
{
    stop();
}

void PrinterMonitor::start(webui::WindowHandle window, std::uint32_t mask)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_subscribers.push_back({window, mask});
    if (m_thread)
        return;
    static std::once_flag postRoutine;
    std::call_once(postRoutine, [] { qAddPostRoutine(stopMonitorAtExit); });
    m_thread = std::make_unique<Thread>(*this);
}

void PrinterMonitor::subscribe(webui::WindowHandle window, std::uint32_t mask)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_subscribers.push_back({window, mask});
}

void PrinterMonitor::unsubscribe(webui::WindowHandle window)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_subscribers.erase(std::remove_if(m_subscribers.begin(), m_subscribers.end(),
                                       [&](const Subscriber& s) { return s.window == window; }),
                        m_subscribers.end());
}

void PrinterMonitor::refreshSoon()
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_thread)
        m_thread->refreshSoon();
}

void PrinterMonitor::stop()
{
    std::unique_ptr<Thread> thread;
    {
        // Not held while the thread ends: it may be waiting for the lock to post.
        std::lock_guard<std::mutex> guard(m_lock);
        thread = std::move(m_thread);
    }
    thread.reset();
    publishQueues(std::nullopt);
}

bool PrinterMonitor::running() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_thread != nullptr;
}

std::optional<std::vector<std::pair<QString, QString>>> PrinterMonitor::knownQueuePorts() const
{
    std::lock_guard<std::mutex> guard(m_queuesLock);
    return m_queuePorts;
}

void PrinterMonitor::publishQueues(const std::optional<std::vector<PrinterInfoRecord>>& records)
{
    std::optional<std::vector<std::pair<QString, QString>>> ports;
    if (records) {
        ports.emplace();
        for (const PrinterInfoRecord& record : *records) {
            if (record.serverName.isEmpty())
                ports->emplace_back(record.printerName, record.portName);
        }
    }
    std::lock_guard<std::mutex> guard(m_queuesLock);
    m_queuePorts = std::move(ports);
}

QString PrinterMonitor::notificationMethod() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_thread ? m_thread->methodName() : QString();
}

void PrinterMonitor::post(const PrinterChange& change)
{
    std::lock_guard<std::mutex> guard(m_lock);
    for (const Subscriber& subscriber : m_subscribers) {
        if (!(subscriber.mask & change.changed))
            continue;
        webui::postWindowMessage(subscriber.window, webui::msg::kPrinterChanged, change.changed, 0,
                                 std::make_shared<PrinterChange>(change));
    }
}

}  // namespace PrinterAPI

#include "printermonitor.moc"
