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
// server-wide subscription, hears of events either as signals of the CUPS
// D-Bus notifier (when a system bus exists) or by asking for them every
// 250 ms (CUPS ignores notify-wait, so a pull subscription has to be polled),
// lets a burst settle, then reads every queue with one CUPS-Get-Printers and
// posts the differences to the last reading. A lost scheduler is retried at
// most once every two seconds; when it answers again the thread subscribes
// anew and reports what changed meanwhile.

#include "printers/cupsconnection.h"
#include "printers/cupsspooler.h"
#include "printers/printerapi.h"
#include "printers/printerdiff.h"
#include "sysutil/signalstack.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDebug>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

namespace PrinterAPI {

namespace {

constexpr int kPollMs = 250;
// A D-Bus subscription needs no polling; this notices a scheduler that went
// away without saying so or forgot the subscription, and re-reads the queues
// in case a signal was lost.
constexpr int kKeepAliveMs = 2000;
// CUPS sends several events per change, some still carrying the old state.
constexpr int kSettleMs = 40;
constexpr int kRetryMs = 2000;
constexpr int kLeaseSeconds = 600;
constexpr qint64 kRenewAfterMs = 240 * 1000;

const char* const kEvents[] = {"printer-added",   "printer-deleted", "printer-modified", "printer-state-changed",
                               // Queued-job counts change with jobs, not with printer events.
                               "job-created",     "job-completed"};

const char* const kNotifierSignals[] = {"PrinterAdded",   "PrinterDeleted",   "PrinterModified", "PrinterStateChanged",
                                        "PrinterStopped", "PrinterRestarted", "PrinterShutdown", "QueueChanged",
                                        "JobCreated",     "JobCompleted",     "ServerStarted",   "ServerRestarted"};

constexpr char kNotifierPath[] = "/org/cups/cupsd/Notifier";
constexpr char kNotifierInterface[] = "org.cups.cupsd.Notifier";

enum class Method { None, DBus, IppGet };

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
        connect(&m_settleTimer, &QTimer::timeout, this, &MonitorWorker::refresh);
        connect(&m_retryTimer, &QTimer::timeout, this, &MonitorWorker::connectToScheduler);
    }

    QString methodName() const
    {
        std::lock_guard<std::mutex> guard(m_methodLock);
        switch (m_method) {
        case Method::DBus: return QStringLiteral("dbus");
        case Method::IppGet: return QStringLiteral("ippget");
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

    void scheduleRefresh()
    {
        if (m_connection && !m_settleTimer.isActive())
            m_settleTimer.start();
    }

    void finish()
    {
        m_pollTimer.stop();
        m_settleTimer.stop();
        m_retryTimer.stop();
        cancelSubscription();
        m_connection.reset();
        setMethod(Method::None);
    }

    void dbusHint(const QDBusMessage&) { scheduleRefresh(); }

private:
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
        if (!m_connection->isOpen() || !subscribe()) {
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
        } else {
            // Back after a loss: whatever appeared, vanished or changed.
            refresh();
            if (!m_connection)
                return;
        }
        m_lossReported = false;
        m_pollTimer.start(m_method == Method::IppGet ? kPollMs : kKeepAliveMs);
    }

    bool subscribe()
    {
        Method method = wantedMethod();
        m_subscriptionId = createSubscription(method);
        if (m_subscriptionId <= 0 && method == Method::DBus) {
            qInfo("printers: no D-Bus notifier subscription, polling instead");
            method = Method::IppGet;
            m_subscriptionId = createSubscription(method);
        }
        if (m_subscriptionId <= 0)
            return false;
        if (method == Method::DBus && m_method != Method::DBus) {
            QDBusConnection bus = QDBusConnection::systemBus();
            for (const char* name : kNotifierSignals)
                bus.connect(QString(), QLatin1String(kNotifierPath), QLatin1String(kNotifierInterface),
                            QLatin1String(name), this, SLOT(dbusHint(QDBusMessage)));
        }
        setMethod(method);
        m_renewal.start();
        return true;
    }

    int createSubscription(Method method)
    {
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
        if (!reply.ok())
            return 0;
        ipp_attribute_t* id =
            ippFindAttribute(reply.response.get(), "notify-subscription-id", IPP_TAG_INTEGER);
        m_nextSequence = 1;
        return id ? ippGetInteger(id, 0) : 0;
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
        if (m_renewal.elapsed() > kRenewAfterMs) {
            // A fresh subscription instead of renewing: it also replaces one
            // the scheduler may have dropped.
            cancelSubscription();
            if (!subscribe()) {
                lostScheduler();
                return;
            }
        }
        const bool ok = m_method == Method::IppGet ? fetchEvents() : checkSubscription();
        if (!ok)
            return;
        // Signals that never come (a notifier that cannot reach the bus) must
        // not leave windows with a stale picture for long.
        if (m_method == Method::DBus) {
            refresh();
            if (!m_connection)
                return;
        }
        m_pollTimer.start(m_method == Method::IppGet ? kPollMs : kKeepAliveMs);
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
        bool anyEvent = false;
        ipp_t* response = reply.response.get();
        for (ipp_attribute_t* a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
            if (ippGetGroupTag(a) != IPP_TAG_EVENT_NOTIFICATION || !ippGetName(a))
                continue;
            if (QByteArray(ippGetName(a)) == "notify-sequence-number") {
                m_nextSequence = std::max(m_nextSequence, ippGetInteger(a, 0) + 1);
                anyEvent = true;
            }
        }
        if (anyEvent)
            scheduleRefresh();
        return true;
    }

    bool checkSubscription()
    {
        cups::IppPtr request = cups::newRequest(IPP_OP_GET_SUBSCRIPTION_ATTRIBUTES);
        ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/");
        ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-id", m_subscriptionId);
        const cups::Reply reply = m_connection->send(std::move(request));
        if (!reply.response) {
            lostScheduler();
            return false;
        }
        return reply.ok() || resubscribe();
    }

    // The scheduler answers but no longer knows our subscription (it was
    // restarted with its state wiped, or the lease ran out).
    bool resubscribe()
    {
        if (!subscribe()) {
            lostScheduler();
            return false;
        }
        refresh();
        return m_connection != nullptr;
    }

    void refresh()
    {
        if (!m_connection)
            return;
        const cups::QueueList list = cups::readQueues(*m_connection);
        if (list.error != win32::kSuccess) {
            lostScheduler();
            return;
        }
        std::vector<PrinterInfoRecord> now = cups::toRecords(list.queues);
        // Readers of the queue list see what a change they hear of tells.
        m_monitor.publishQueues(now);
        if (m_snapshot)
            for (const PrinterChange& change : diffPrinters(*m_snapshot, now))
                m_monitor.post(change);
        m_snapshot = std::move(now);
    }

    void lostScheduler()
    {
        m_pollTimer.stop();
        m_settleTimer.stop();
        m_connection.reset();
        m_subscriptionId = 0;
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
    int m_subscriptionId = 0;
    int m_nextSequence = 1;
    mutable std::mutex m_methodLock;
    Method m_method = Method::None;
    QElapsedTimer m_renewal;
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
