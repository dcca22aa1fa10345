#include "discovery/netscansnmp.h"

#include "discovery/netscansweep.h"
#include "sysutil/paths.h"
#include "sysutil/signalstack.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <net-snmp/library/large_fd_set.h>

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <vector>

namespace discovery {

namespace {

Q_LOGGING_CATEGORY(lcSnmp, "korvane.discovery.snmp")

using Clock = std::chrono::steady_clock;

// prtPortMonitor's 1284 device id (ppmPrinterIEEE1284DeviceId, printer 1).
const oid kDeviceIdOid[] = {1, 3, 6, 1, 4, 1, 2699, 1, 2, 1, 2, 1, 1, 3, 1};
// Longer than any real device id; a bigger value is cut here.
constexpr std::size_t kMaxDeviceIdBytes = 64 * 1024;
// A query the library has not finished this long after its last possible
// retry is dropped, so a lost callback cannot hold up the search.
constexpr auto kQueryGrace = std::chrono::seconds(2);
constexpr auto kLongestPollTurn = std::chrono::milliseconds(200);

std::mutex& libraryMutex()
{
    static std::mutex mutex;
    return mutex;
}

// Called with libraryMutex held, on a querier thread.
void initialiseLibraryOnce()
{
    static bool initialised = false;
    if (initialised)
        return;
    initialised = true;

    const QString stateDir = snmpStateDir();
    const QString mibDir = stateDir + QStringLiteral("/mibs");
    QDir().mkpath(mibDir);
    QDir().mkpath(stateDir + QStringLiteral("/cert_indexes"));
    QFile::setPermissions(stateDir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray stateDirBytes = QFile::encodeName(stateDir);
    const QByteArray mibDirBytes = QFile::encodeName(mibDir);

    // Nothing from the user's or the machine's snmp.conf, no MIB files (we
    // only ever use one numeric OID), and nothing written outside our own
    // folder. The empty module list is the "mibs :" line of a config file.
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_ALARM_DONT_USE_SIG, 1);
    netsnmp_ds_set_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_PERSISTENT_DIR, stateDirBytes.constData());
    netsnmp_set_mib_directory(mibDirBytes.constData());
    static char noMibs[] = "mibs :";
    netsnmp_config_remember(noMibs);
    init_snmp("korvane");
}

struct SessionCloser {
    void operator()(void* session) const { snmp_sess_close(session); }
};
using SnmpSession = std::unique_ptr<void, SessionCloser>;

struct LargeFdSet {
    LargeFdSet() { netsnmp_large_fd_set_init(&set, FD_SETSIZE); }
    ~LargeFdSet() { netsnmp_large_fd_set_cleanup(&set); }
    LargeFdSet(const LargeFdSet&) = delete;
    LargeFdSet& operator=(const LargeFdSet&) = delete;
    netsnmp_large_fd_set set;
};

struct Query {
    std::uint32_t address = 0;
    SnmpSession session;
    int fd = -1;
    Clock::time_point giveUpAt;
    bool done = false;
    DeviceIdAnswer answer;
};

std::string libraryError(void* session)
{
    int libraryErrno = 0;
    int systemErrno = 0;
    char* text = nullptr;
    snmp_sess_error(session, &libraryErrno, &systemErrno, &text);
    std::string result = text ? text : "unknown error";
    std::free(text);
    return result;
}

void readAnswer(const netsnmp_pdu* pdu, DeviceIdAnswer& answer)
{
    if (!pdu || pdu->command != SNMP_MSG_RESPONSE || pdu->errstat != SNMP_ERR_NOERROR)
        return;
    for (const netsnmp_variable_list* variable = pdu->variables; variable; variable = variable->next_variable) {
        if (variable->type != ASN_OCTET_STR)
            continue;
        const char* bytes = reinterpret_cast<const char*>(variable->val.string);
        std::size_t length = bytes ? std::min(variable->val_len, kMaxDeviceIdBytes) : 0;
        if (const void* zero = length ? std::memchr(bytes, 0, length) : nullptr)
            length = static_cast<std::size_t>(static_cast<const char*>(zero) - bytes);
        answer.deviceId.assign(bytes ? bytes : "", length);
        answer.answered = true;
    }
}

int onSnmpEvent(int operation, netsnmp_session*, int, netsnmp_pdu* pdu, void* magic)
{
    auto* query = static_cast<Query*>(magic);
    switch (operation) {
    case NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE:
        readAnswer(pdu, query->answer);
        query->done = true;
        break;
    case NETSNMP_CALLBACK_OP_TIMED_OUT:
        query->done = true;  // silence is the usual answer of a host without an agent
        break;
    case NETSNMP_CALLBACK_OP_SEND_FAILED:
    case NETSNMP_CALLBACK_OP_SEC_ERROR:
        qCWarning(lcSnmp) << "query to" << ipv4Text(query->address).c_str() << "failed";
        query->done = true;
        break;
    default:
        break;
    }
    return 1;
}

std::unique_ptr<Query> startQuery(std::uint32_t address, const SnmpSettings& settings)
{
    auto query = std::make_unique<Query>();
    query->address = address;
    query->answer.address = address;

    std::string peer = "udp:" + ipv4Text(address) + ':' + std::to_string(settings.port);
    static char community[] = "public";
    netsnmp_session setup;
    snmp_sess_init(&setup);
    setup.peername = peer.data();
    setup.version = SNMP_VERSION_1;
    setup.community = reinterpret_cast<u_char*>(community);
    setup.community_len = std::strlen(community);
    setup.timeout = static_cast<long>(settings.timeout.count()) * 1000L;
    setup.retries = settings.retries;
    query->session.reset(snmp_sess_open(&setup));
    if (!query->session) {
        int libraryErrno = 0;
        int systemErrno = 0;
        char* text = nullptr;
        snmp_error(&setup, &libraryErrno, &systemErrno, &text);
        qCWarning(lcSnmp) << "cannot open an SNMP session to" << peer.c_str() << ':' << (text ? text : "");
        std::free(text);
        return nullptr;
    }
    const netsnmp_transport* transport = snmp_sess_transport(query->session.get());
    query->fd = transport ? transport->sock : -1;

    netsnmp_pdu* request = snmp_pdu_create(SNMP_MSG_GET);
    snmp_add_null_var(request, kDeviceIdOid, OID_LENGTH(kDeviceIdOid));
    if (query->fd < 0 || !snmp_sess_async_send(query->session.get(), request, onSnmpEvent, query.get())) {
        qCWarning(lcSnmp) << "cannot send to" << peer.c_str() << ':' << libraryError(query->session.get()).c_str();
        snmp_free_pdu(request);
        return nullptr;
    }
    query->giveUpAt = Clock::now() + settings.timeout * (settings.retries + 1) + kQueryGrace;
    return query;
}

// Time until the library wants to retransmit or give up on this session.
std::chrono::milliseconds nextLibraryTimeout(void* session, LargeFdSet& scratch)
{
    int fdCount = 0;
    int block = 1;
    timeval timeout{};
    NETSNMP_LARGE_FD_ZERO(&scratch.set);
    snmp_sess_select_info2(session, &fdCount, &scratch.set, &timeout, &block);
    if (block)
        return kLongestPollTurn;
    return std::chrono::milliseconds(timeout.tv_sec * 1000 + (timeout.tv_usec + 999) / 1000);
}

}  // namespace

QString snmpStateDir()
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return sysutil::envPath("KORVANE_SNMP_DIR", cache + QStringLiteral("/Velmora/Korvane/snmp"));
}

DeviceIdQuerier::DeviceIdQuerier(const SnmpSettings& settings)
    : m_settings(settings), m_wakeFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    m_thread = std::thread([this] {
        sysutil::ensureAlternateSignalStack();
        run();
    });
}

DeviceIdQuerier::~DeviceIdQuerier()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    wake();
    m_thread.join();
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

void DeviceIdQuerier::enqueue(std::uint32_t address)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_pending.push_back(address);
    }
    wake();
}

std::optional<DeviceIdAnswer> DeviceIdQuerier::takeFinished(std::chrono::milliseconds wait)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_finishedChanged.wait_for(lock, wait, [this] { return !m_finished.empty(); }))
        return std::nullopt;
    DeviceIdAnswer answer = std::move(m_finished.front());
    m_finished.pop_front();
    return answer;
}

int DeviceIdQuerier::queriesStarted() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_started;
}

void DeviceIdQuerier::wake()
{
    if (m_wakeFd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
    }
}

void DeviceIdQuerier::run()
{
    pthread_setname_np(pthread_self(), "korvane-snmp");
    const std::lock_guard<std::mutex> libraryLock(libraryMutex());
    initialiseLibraryOnce();

    std::deque<std::uint32_t> waiting;
    std::vector<std::unique_ptr<Query>> inFlight;
    std::vector<pollfd> fds;
    LargeFdSet readSet;
    LargeFdSet scratch;

    for (;;) {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stop)
                break;
            waiting.insert(waiting.end(), m_pending.begin(), m_pending.end());
            m_pending.clear();
        }

        std::vector<DeviceIdAnswer> finished;
        int started = 0;
        while (!waiting.empty() && static_cast<int>(inFlight.size()) < m_settings.maxInFlight) {
            const std::uint32_t address = waiting.front();
            waiting.pop_front();
            if (auto query = startQuery(address, m_settings)) {
                inFlight.push_back(std::move(query));
                ++started;
            } else {
                finished.push_back(DeviceIdAnswer{address, false, {}});
            }
        }

        fds.assign(1, pollfd{m_wakeFd, POLLIN, 0});
        auto wait = std::chrono::milliseconds(kLongestPollTurn);
        for (const auto& query : inFlight) {
            fds.push_back({query->fd, POLLIN, 0});
            wait = std::min(wait, nextLibraryTimeout(query->session.get(), scratch));
        }
        if (finished.empty())
            ::poll(fds.data(), fds.size(), static_cast<int>(std::max<long>(wait.count(), 0)));

        if (fds[0].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t drained = ::read(m_wakeFd, &count, sizeof count);
        }
        const Clock::time_point now = Clock::now();
        for (std::size_t i = 0; i < inFlight.size(); ++i) {
            Query& query = *inFlight[i];
            if (fds.size() > i + 1 && (fds[i + 1].revents & (POLLIN | POLLERR))) {
                NETSNMP_LARGE_FD_ZERO(&readSet.set);
                NETSNMP_LARGE_FD_SET(query.fd, &readSet.set);
                snmp_sess_read2(query.session.get(), &readSet.set);
            }
            if (!query.done)
                snmp_sess_timeout(query.session.get());
            if (!query.done && now >= query.giveUpAt) {
                qCWarning(lcSnmp) << "no end to the query of" << ipv4Text(query.address).c_str() << "; dropped";
                query.done = true;
            }
        }
        for (auto it = inFlight.begin(); it != inFlight.end();) {
            if ((*it)->done) {
                finished.push_back(std::move((*it)->answer));
                it = inFlight.erase(it);
            } else {
                ++it;
            }
        }

        if (started || !finished.empty()) {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_started += started;
            for (DeviceIdAnswer& answer : finished)
                m_finished.push_back(std::move(answer));
        }
        if (!finished.empty())
            m_finishedChanged.notify_all();
    }
    // Sessions still in flight are closed here, on the library's thread.
    inFlight.clear();
}

}  // namespace discovery
