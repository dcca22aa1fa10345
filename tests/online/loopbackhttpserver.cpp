#include "loopbackhttpserver.h"

#include <QHostAddress>
#include <QMutex>
#include <QMutexLocker>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QUrlQuery>

namespace onlinetest {

namespace {

constexpr qint64 kPeriod = 65521;  // prime, so the pattern never lines up with chunk sizes
constexpr int kMaxPiece = 256 * 1024;
constexpr qint64 kHighWater = 1024 * 1024;
constexpr int kMaxRequestHead = 64 * 1024;

// The pattern repeated once more than a piece needs, so any slice is one copy.
const QByteArray& patternTable()
{
    static const QByteArray table = [] {
        QByteArray bytes(kPeriod + kMaxPiece, Qt::Uninitialized);
        quint32 state = 0x2545F491u;
        for (qint64 i = 0; i < kPeriod; ++i) {
            state = state * 1664525u + 1013904223u;
            bytes[static_cast<int>(i)] = static_cast<char>(state >> 24);
        }
        for (qint64 i = kPeriod; i < bytes.size(); ++i)
            bytes[static_cast<int>(i)] = bytes[static_cast<int>(i - kPeriod)];
        return bytes;
    }();
    return table;
}

QByteArray reason(int status)
{
    switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

struct Fixed {
    int status = 200;
    QByteArray body;
    QByteArray contentType;
    QByteArray raw;  // when set, sent as it is instead
};

}  // namespace

struct LoopbackHttpServer::Shared {
    mutable QMutex mutex;
    std::vector<RecordedRequest> requests;
    QMap<QByteArray, Fixed> fixed;
    int open = 0;
    quint16 port = 0;
};

namespace {

// What to send for one request.
struct Plan {
    int status = 200;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;       // a small, complete body
    bool streamed = false;  // body comes from the content pattern instead
    qint64 size = 0;
    bool withLength = true;
    bool chunked = false;
    int paceBytes = 0;
    int paceMs = 0;
    qint64 stallAfter = -1;
    bool hang = false;  // accept and never answer
    QByteArray raw;     // a complete response sent as it is
};

Plan redirectTo(int status, const QByteArray& location)
{
    Plan plan;
    plan.status = status;
    plan.headers.append(qMakePair(QByteArray("Location"), location));
    plan.body = "<a href=\"" + location + "\">moved</a>";
    return plan;
}

Plan filePlan(const QUrlQuery& query)
{
    Plan plan;
    plan.streamed = true;
    plan.size = query.queryItemValue(QStringLiteral("size")).toLongLong();
    plan.chunked = query.queryItemValue(QStringLiteral("chunked")) == QLatin1String("1");
    plan.withLength = !plan.chunked && query.queryItemValue(QStringLiteral("length")) != QLatin1String("0");
    plan.paceBytes = query.queryItemValue(QStringLiteral("chunk")).toInt();
    plan.paceMs = query.queryItemValue(QStringLiteral("delay")).toInt();
    if (query.hasQueryItem(QStringLiteral("stall")))
        plan.stallAfter = query.queryItemValue(QStringLiteral("stall")).toLongLong();
    plan.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("application/octet-stream")));
    return plan;
}

Plan route(const QByteArray& target, const LoopbackHttpServer::Shared& shared)
{
    const int queryStart = target.indexOf('?');
    const QByteArray path = queryStart < 0 ? target : target.left(queryStart);
    const QByteArray rawQuery = queryStart < 0 ? QByteArray() : target.mid(queryStart + 1);
    const QUrlQuery query(QString::fromLatin1(rawQuery));
    {
        QMutexLocker lock(&shared.mutex);
        auto it = shared.fixed.constFind(path);
        if (it != shared.fixed.constEnd()) {
            Plan plan;
            plan.raw = it->raw;
            plan.hang = it->raw.isEmpty() && it->status == 0;
            plan.status = it->status;
            plan.body = it->body;
            plan.headers.append(qMakePair(QByteArray("Content-Type"), it->contentType));
            return plan;
        }
    }
    const QList<QByteArray> parts = path.split('/');  // "", "file", ...
    const QByteArray kind = parts.value(1);
    if (kind == "file")
        return filePlan(query);
    if (kind == "status") {
        Plan plan;
        plan.status = parts.value(2).toInt();
        plan.body = "error " + parts.value(2);
        return plan;
    }
    if (kind == "redirect")
        return redirectTo(parts.value(2).toInt(), query.queryItemValue(QStringLiteral("to"), QUrl::FullyDecoded).toUtf8());
    if (kind == "loop")
        return redirectTo(302, "/loop/" + QByteArray::number(parts.value(2).toInt() + 1));
    if (kind == "hops") {
        const int left = parts.value(2).toInt();
        const QByteArray suffix = parts.value(3) + (rawQuery.isEmpty() ? QByteArray() : "?" + rawQuery);
        if (left > 0)
            return redirectTo(302, "/hops/" + QByteArray::number(left - 1) + "/" + suffix);
        return filePlan(query);
    }
    Plan plan;
    plan.status = 404;
    plan.body = "no route";
    return plan;
}

class Connection : public QObject {
public:
    Connection(QTcpSocket* socket, std::shared_ptr<LoopbackHttpServer::Shared> shared, QObject* parent)
        : QObject(parent), m_socket(socket), m_shared(std::move(shared))
    {
        m_socket->setParent(this);
        connect(m_socket, &QTcpSocket::readyRead, this, [this] { onReadyRead(); });
        connect(m_socket, &QTcpSocket::bytesWritten, this, [this] { pump(); });
        connect(m_socket, &QTcpSocket::disconnected, this, [this] { deleteLater(); });
        connect(&m_paceTimer, &QTimer::timeout, this, [this] { paceTick(); });
        QMutexLocker lock(&m_shared->mutex);
        ++m_shared->open;
    }

    ~Connection() override
    {
        QMutexLocker lock(&m_shared->mutex);
        --m_shared->open;
    }

private:
    void onReadyRead()
    {
        if (m_started) {
            m_socket->readAll();
            return;
        }
        m_head += m_socket->readAll();
        if (m_head.size() > kMaxRequestHead) {
            m_socket->abort();
            return;
        }
        const int end = m_head.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        m_started = true;
        RecordedRequest request;
        const QList<QByteArray> lines = m_head.left(end).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        request.method = requestLine.value(0);
        request.target = requestLine.value(1);
        for (int i = 1; i < lines.size(); ++i) {
            const int colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
        }
        {
            QMutexLocker lock(&m_shared->mutex);
            m_shared->requests.push_back(request);
        }
        m_plan = route(request.target, *m_shared);
        if (m_plan.hang)
            return;
        if (!m_plan.raw.isEmpty()) {
            m_socket->write(m_plan.raw);
            m_bodyDone = true;
            pump();
            return;
        }
        sendHead();
        if (m_plan.streamed && m_plan.paceBytes > 0 && m_plan.paceMs > 0)
            m_paceTimer.start(m_plan.paceMs);
        else
            pump();
    }

    void sendHead()
    {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(m_plan.status) + " " + reason(m_plan.status) + "\r\n";
        for (const auto& header : m_plan.headers)
            head += header.first + ": " + header.second + "\r\n";
        if (m_plan.streamed) {
            if (m_plan.chunked)
                head += "Transfer-Encoding: chunked\r\n";
            else if (m_plan.withLength)
                head += "Content-Length: " + QByteArray::number(m_plan.size) + "\r\n";
        } else {
            head += "Content-Length: " + QByteArray::number(m_plan.body.size()) + "\r\n";
        }
        head += "Connection: close\r\n\r\n";
        m_socket->write(head);
        if (!m_plan.streamed) {
            m_socket->write(m_plan.body);
            m_bodyDone = true;
        }
    }

    qint64 limit() const
    {
        return m_plan.stallAfter >= 0 ? qMin(m_plan.stallAfter, m_plan.size) : m_plan.size;
    }

    void writePiece(int maxBytes)
    {
        const int piece = static_cast<int>(qMin<qint64>(maxBytes, limit() - m_sent));
        if (piece <= 0)
            return;
        const QByteArray data = LoopbackHttpServer::contentSlice(m_sent, piece);
        if (m_plan.chunked)
            m_socket->write(QByteArray::number(piece, 16) + "\r\n" + data + "\r\n");
        else
            m_socket->write(data);
        m_sent += piece;
        if (m_sent == m_plan.size) {
            if (m_plan.chunked)
                m_socket->write("0\r\n\r\n");
            m_bodyDone = true;
        }
    }

    void paceTick()
    {
        if (m_socket->bytesToWrite() < kHighWater)
            writePiece(m_plan.paceBytes);
        if (m_bodyDone || m_sent >= limit())
            m_paceTimer.stop();
        pump();
    }

    void pump()
    {
        if (!m_started || m_plan.hang)
            return;
        if (m_plan.streamed && !m_paceTimer.isActive()) {
            while (!m_bodyDone && m_sent < limit() && m_socket->bytesToWrite() < kHighWater)
                writePiece(kMaxPiece);
        }
        if (m_bodyDone && m_socket->bytesToWrite() == 0 && !m_closing) {
            m_closing = true;
            m_socket->disconnectFromHost();
        }
    }

    QTcpSocket* m_socket;
    std::shared_ptr<LoopbackHttpServer::Shared> m_shared;
    QByteArray m_head;
    bool m_started = false;
    bool m_bodyDone = false;
    bool m_closing = false;
    Plan m_plan;
    qint64 m_sent = 0;
    QTimer m_paceTimer;
};

}  // namespace

class LoopbackHttpServer::Thread : public QThread {
public:
    explicit Thread(std::shared_ptr<Shared> shared) : m_shared(std::move(shared)) {}

    QSemaphore ready;

protected:
    void run() override
    {
        QObject connections;
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        {
            QMutexLocker lock(&m_shared->mutex);
            m_shared->port = server.serverPort();
        }
        QObject::connect(&server, &QTcpServer::newConnection, &server, [&] {
            while (QTcpSocket* socket = server.nextPendingConnection())
                new Connection(socket, m_shared, &connections);
        });
        ready.release();
        exec();
    }

private:
    std::shared_ptr<Shared> m_shared;
};

LoopbackHttpServer::LoopbackHttpServer() : m_shared(std::make_shared<Shared>())
{
    m_thread = std::make_unique<Thread>(m_shared);
    m_thread->start();
    m_thread->ready.acquire();
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    m_thread->quit();
    m_thread->wait();
}

bool LoopbackHttpServer::isListening() const
{
    return port() != 0;
}

quint16 LoopbackHttpServer::port() const
{
    QMutexLocker lock(&m_shared->mutex);
    return m_shared->port;
}

QString LoopbackHttpServer::url(const QString& pathAndQuery) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(pathAndQuery);
}

void LoopbackHttpServer::setFixedResponse(const QByteArray& path, int status, const QByteArray& body,
                                          const QByteArray& contentType)
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->fixed.insert(path, Fixed{status, body, contentType, QByteArray()});
}

void LoopbackHttpServer::setRawResponse(const QByteArray& path, const QByteArray& response)
{
    QMutexLocker lock(&m_shared->mutex);
    Fixed fixed;
    fixed.raw = response;
    m_shared->fixed.insert(path, fixed);
}

std::vector<RecordedRequest> LoopbackHttpServer::requests() const
{
    QMutexLocker lock(&m_shared->mutex);
    return m_shared->requests;
}

int LoopbackHttpServer::openConnections() const
{
    QMutexLocker lock(&m_shared->mutex);
    return m_shared->open;
}

QByteArray LoopbackHttpServer::contentSlice(qint64 offset, int size)
{
    const QByteArray& table = patternTable();
    QByteArray out;
    out.reserve(size);
    while (out.size() < size) {
        const int piece = qMin(size - out.size(), kMaxPiece);
        const qint64 start = (offset + out.size()) % kPeriod;
        out.append(table.constData() + start, piece);
    }
    return out;
}

QByteArray LoopbackHttpServer::content(qint64 size)
{
    return contentSlice(0, static_cast<int>(size));
}

}  // namespace onlinetest
