#include "online/downloaderobj.h"

#include "online/downloaderobjmanager.h"
#include "online/downloadname.h"
#include "online/messagebox.h"
#include "online/networkhelper.h"
#include "online/partialfile.h"
#include "webui/webview.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonValue>
#include <QNetworkReply>
#include <QUrl>
#include <QWidget>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace online {

namespace {

// Bounds what the network layer holds for us between two readyRead signals,
// so memory stays flat whatever the file size.
constexpr qint64 kReadBufferBytes = 1024 * 1024;

// What the page and the user are told, translated in the context
// "DownloaderObj" whatever namespace the class sits in.
const char* const kCannotSaveTitle = QT_TRANSLATE_NOOP("DownloaderObj", "错误");
const char* const kCannotSaveText = QT_TRANSLATE_NOOP("DownloaderObj", "无法保存文件 %1: %2.");
const char* const kCancelledText = QT_TRANSLATE_NOOP("DownloaderObj", "用户取消了下载");
const char* const kFailedText = QT_TRANSLATE_NOOP("DownloaderObj", "下载过程发生了错误");
const char* const kRestartFailedText = QT_TRANSLATE_NOOP("DownloaderObj", "下载过程发生了错误,错误值:%1");
const char* const kTooManyRedirectsText = QT_TRANSLATE_NOOP("DownloaderObj", "下载过程发生了错误,重定向次数过多");
const char* const kBadRedirectText = QT_TRANSLATE_NOOP("DownloaderObj", "下载过程发生了错误,重定向地址无效");

QString text(const char* source)
{
    return QCoreApplication::translate("DownloaderObj", source);
}

// The page receives the low 32 bits of the counters as signed integers.
qint32 low32(qlonglong value)
{
    return static_cast<qint32>(static_cast<quint32>(static_cast<quint64>(value) & 0xFFFFFFFFu));
}

}  // namespace

bool pageTruthy(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Bool: return value.toBool();
    case QJsonValue::Double: {
        const double number = value.toDouble();
        return number != 0 && !std::isnan(number);
    }
    case QJsonValue::String: return !value.toString().isEmpty();
    case QJsonValue::Array:
    case QJsonValue::Object: return true;
    case QJsonValue::Null:
    case QJsonValue::Undefined: return false;
    }
    return false;
}

DownloaderObj::DownloaderObj(DownloaderObjManager& manager, QObject* parent, int hops)
    : QObject(parent), m_manager(manager), m_hops(hops)
{
    m_answerWait.setSingleShot(true);
    m_answerWait.setInterval(kLastAnswerWaitMs);
    connect(&m_answerWait, &QTimer::timeout, this, [this] {
        std::fprintf(stderr, "download: %s: the page did not answer %d progress call(s); reporting the outcome\n",
                     qPrintable(m_url), m_pendingAnswers);
        m_pendingAnswers = 0;
        conclude();
    });
}

DownloaderObj::~DownloaderObj()
{
    if (m_reply) {
        // Deleted mid-transfer (only at shutdown): no completion call then.
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
    closeFile();
    removePartialFile();
}

void DownloaderObj::setPageTargets(const QString& progressFunction, const QString& finishFunction,
                                   const QString& fallbackName, webui::WebView* webView)
{
    m_progressFunction = progressFunction;
    m_finishFunction = finishFunction;
    m_fallbackName = fallbackName;
    m_webView = webView;
}

void DownloaderObj::copyPageTargetsFrom(const DownloaderObj& other)
{
    setPageTargets(other.m_progressFunction, other.m_finishFunction, other.m_fallbackName, other.m_webView);
}

int DownloaderObj::start(const QString& url)
{
    m_url = url;

    // Any other scheme Qt knows would copy a local file, read a device or
    // block on a FIFO: refused before anything touches the file system.
    const QUrl parsed = QUrl::fromUserInput(url);
    const QString scheme = parsed.scheme().toLower();
    if (!parsed.isValid() || parsed.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        std::fprintf(stderr, "download: refusing %s: only http and https are fetched\n", qPrintable(url));
        m_ended = true;
        QTimer::singleShot(0, this, [this] { callFinish(downdone::kFailed, QString(), text(kFailedText)); });
        return downstart::kStarted;
    }

    const QString folder = m_manager.downloadFolder();
    m_manager.removeLeftovers(folder);
    m_filePath = m_manager.chooseTargetPath(folder, downloadFileName(url, m_fallbackName), this);
    if (m_filePath.isEmpty()) {
        m_filePath = folder + QLatin1Char('/') + downloadFileName(url, m_fallbackName);
        return failToOpen(EEXIST);
    }

    // A folder of that name cannot be replaced at the end; say so now.
    struct stat existing {};
    if (::lstat(QFile::encodeName(m_filePath).constData(), &existing) == 0 && S_ISDIR(existing.st_mode))
        return failToOpen(EISDIR);

    const PartialFile partial = createPartialFile(folder);
    if (partial.fd < 0)
        return failToOpen(partial.error);
    auto file = std::make_unique<QFile>();
    if (!file->open(partial.fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(partial.fd);
        ::unlink(QFile::encodeName(partial.path).constData());
        return failToOpen(EIO);
    }
    m_partialPath = partial.path;
    m_file = std::move(file);
    m_holdsTarget = true;
    m_reply = NetworkHelper::instance().startGet(url, {}, this);
    m_reply->setReadBufferSize(kReadBufferBytes);
    return downstart::kStarted;
}

int DownloaderObj::failToOpen(int error)
{
    const QString message = text(kCannotSaveText)
                                .arg(QDir::toNativeSeparators(m_filePath), QString::fromLocal8Bit(std::strerror(error)));
    showMessageBox(ownerWindow(), text(kCannotSaveTitle), message);
    return downstart::kCannotOpenFile;
}

void DownloaderObj::writeAvailable()
{
    if (!m_reply || !m_file || m_writeFailed)
        return;
    const QByteArray data = m_reply->readAll();
    if (data.isEmpty())
        return;
    if (m_file->write(data) != data.size()) {
        // A full disk must not end as a "complete" package with a hole in it.
        std::fprintf(stderr, "download: writing %s failed: %s\n", qPrintable(m_partialPath),
                     qPrintable(m_file->errorString()));
        m_writeFailed = true;
        m_reply->abort();
        return;
    }
    m_bytesWritten += data.size();
}

void DownloaderObj::handleHttpReadyRead()
{
    writeAvailable();
}

void DownloaderObj::handleProgress(qlonglong bytesReceived, qlonglong bytesTotal)
{
    if (!m_reply || !m_keepGoing)
        return;
    webui::WebView* view = liveWebView();
    if (!view) {
        // The window that asked has gone: nobody is left to say "go on".
        cancel();
        return;
    }
    QPointer<DownloaderObj> self(this);
    ++m_pendingAnswers;
    view->callPageFunction(m_progressFunction, QJsonArray{low32(bytesReceived), low32(bytesTotal)},
                           [self](const QJsonValue& answer) {
                               if (self)
                                   self->onProgressAnswer(answer);
                           });
}

void DownloaderObj::onProgressAnswer(const QJsonValue& answer)
{
    if (m_pendingAnswers > 0)
        --m_pendingAnswers;
    if (m_concluded)
        return;  // the page has been told already
    if (!pageTruthy(answer)) {
        if (!m_ended) {
            cancel();
            return;
        }
        // The transfer ended while the page was deciding: its "stop" wins
        // over whatever the transfer amounted to.
        m_keepGoing = false;
        m_outcome = Outcome::Cancelled;
    }
    if (m_ended && m_pendingAnswers == 0)
        conclude();
}

void DownloaderObj::cancel()
{
    m_keepGoing = false;
    if (m_reply)
        m_reply->abort();  // ends in handleHttpFinished
}

DownloaderObj::Outcome DownloaderObj::judgeReply(QUrl* redirectTarget) const
{
    if (!m_keepGoing)
        return Outcome::Cancelled;
    if (m_reply->error() != QNetworkReply::NoError || m_writeFailed) {
        std::fprintf(stderr, "download: %s failed: %s\n", qPrintable(m_url), qPrintable(m_reply->errorString()));
        return Outcome::Failed;
    }
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 300 && status < 400) {
        // Only a Location that names somewhere else continues the download;
        // 304 has nothing to fetch, and a 3xx without Location is an answer
        // that is not a package.
        const QByteArray location = m_reply->rawHeader("Location").trimmed();
        if (status != 304 && !location.isEmpty()) {
            *redirectTarget = m_reply->url().resolved(QUrl::fromEncoded(location));
            return Outcome::Redirect;
        }
        std::fprintf(stderr, "download: %s answered %d without a usable Location\n", qPrintable(m_url), status);
        return Outcome::Failed;
    }
    // Code 0 promises a complete package: a 200, or another 2xx that carries
    // a body. 204 and 205 carry none, and we never ask for a range (206).
    const bool bodyStatus = status == 200 || (status > 200 && status < 300 && status != 204 && status != 205 &&
                                              status != 206 && m_bytesWritten > 0);
    if (!bodyStatus) {
        std::fprintf(stderr, "download: %s answered %d, which is not a package\n", qPrintable(m_url), status);
        return Outcome::Failed;
    }
    // The network layer ends a short body with an error already; this also
    // catches a server that sends more than it announced. A compressed body
    // is announced in its compressed size, so only identity is compared.
    bool haveLength = false;
    const qlonglong announced = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&haveLength);
    const QByteArray encoding = m_reply->rawHeader("Content-Encoding").trimmed().toLower();
    if (haveLength && (encoding.isEmpty() || encoding == "identity") && announced != m_bytesWritten) {
        std::fprintf(stderr, "download: %s announced %lld bytes but %lld arrived\n", qPrintable(m_url), announced,
                     static_cast<long long>(m_bytesWritten));
        return Outcome::Failed;
    }
    return Outcome::Complete;
}

bool DownloaderObj::closeFile()
{
    if (!m_file)
        return true;
    // No fsync: the rename already keeps a killed or failed transfer from
    // ever showing under the package's name, and waiting for the disk would
    // make every download slower than a plain HTTP client. A power cut right
    // after the rename may still leave the package short; the page's next
    // download of it replaces it.
    bool ok = m_file->flush();
    m_file->close();
    ok = ok && m_file->error() == QFileDevice::NoError;
    m_file.reset();
    return ok;
}

void DownloaderObj::handleHttpFinished()
{
    if (!m_reply || m_ended)
        return;
    writeAvailable();
    QUrl target;
    m_outcome = judgeReply(&target);
    m_redirectTarget = target;
    if (!closeFile() && m_outcome == Outcome::Complete) {
        std::fprintf(stderr, "download: finishing %s failed: %s\n", qPrintable(m_partialPath), std::strerror(errno));
        m_outcome = Outcome::Failed;
    }
    releaseReply();
    m_ended = true;
    settle();
}

void DownloaderObj::settle()
{
    // A cancel is already the page's own word; anything else waits until the
    // page has answered every progress call it was asked.
    if (m_outcome == Outcome::Cancelled || m_pendingAnswers == 0 || !liveWebView()) {
        conclude();
        return;
    }
    m_answerWait.start();
}

void DownloaderObj::conclude()
{
    if (m_concluded)
        return;
    m_concluded = true;
    m_answerWait.stop();
    switch (m_outcome) {
    case Outcome::Cancelled:
        removePartialFile();
        callFinish(downdone::kCancelled, QString(), text(kCancelledText));
        return;
    case Outcome::Failed:
        removePartialFile();
        callFinish(downdone::kFailed, QString(), text(kFailedText));
        return;
    case Outcome::Redirect:
        removePartialFile();  // it holds the redirect's own body
        m_holdsTarget = false;
        followRedirect(m_redirectTarget);
        return;
    case Outcome::Complete: break;
    }
    // rename() replaces a finished file (or a link) of that name as one step;
    // a reader sees the old package or the new one, never a part.
    if (::rename(QFile::encodeName(m_partialPath).constData(), QFile::encodeName(m_filePath).constData()) != 0) {
        std::fprintf(stderr, "download: cannot name %s %s: %s\n", qPrintable(m_partialPath), qPrintable(m_filePath),
                     std::strerror(errno));
        removePartialFile();
        callFinish(downdone::kFailed, QString(), text(kFailedText));
        return;
    }
    m_partialPath.clear();
    callFinish(downdone::kComplete, m_filePath, QString());
}

void DownloaderObj::followRedirect(const QUrl& target)
{
    if (m_hops >= kMaxRedirectHops) {
        callFinish(downdone::kFailed, QString(), text(kTooManyRedirectsText));
        return;
    }
    // A server must not turn a download into a copy of a local file.
    const QString scheme = target.scheme().toLower();
    if (!target.isValid() || target.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        callFinish(downdone::kFailed, QString(), text(kBadRedirectText));
        return;
    }

    DownloaderObj* successor = m_manager.createDownloader(m_hops + 1);
    successor->copyPageTargetsFrom(*this);
    const int result = successor->start(target.toString(QUrl::FullyEncoded));
    if (result != downstart::kStarted) {
        m_manager.discardDownloader(successor);
        callFinish(downdone::kFailed, QString(), text(kRestartFailedText).arg(result));
        return;
    }
    emit deleteMeLater();
}

void DownloaderObj::releaseReply()
{
    if (!m_reply)
        return;
    m_reply->disconnect(this);
    m_reply->deleteLater();
    m_reply = nullptr;
}

void DownloaderObj::removePartialFile()
{
    if (m_partialPath.isEmpty())
        return;
    closeFile();
    // The name is ours alone (created exclusively, with our process id).
    ::unlink(QFile::encodeName(m_partialPath).constData());
    m_partialPath.clear();
}

void DownloaderObj::callFinish(int code, const QString& path, const QString& message)
{
    m_holdsTarget = false;
    m_concluded = true;
    if (webui::WebView* view = liveWebView())
        view->callPageFunction(m_finishFunction, QJsonArray{code, path, message});
    else
        std::fprintf(stderr, "download: %s ended with %d, but its window has gone\n", qPrintable(m_url), code);
    emit deleteMeLater();
}

webui::WebView* DownloaderObj::liveWebView() const
{
    return m_manager.isRegistered(m_webView) ? m_webView : nullptr;
}

QWidget* DownloaderObj::ownerWindow() const
{
    webui::WebView* view = liveWebView();
    QWidget* widget = view ? view->widget() : nullptr;
    return widget ? widget->window() : nullptr;
}

}  // namespace online
