#include "online/downloaderobj.h"

#include "online/downloaderobjmanager.h"
#include "online/downloadname.h"
#include "online/messagebox.h"
#include "online/networkhelper.h"
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
#include <cstdio>
#include <sys/stat.h>

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
}

DownloaderObj::~DownloaderObj()
{
    if (m_reply) {
        // Deleted mid-transfer (only at shutdown): no completion call then.
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
    if (m_file) {
        m_file->close();
        m_file.reset();
        removeOwnFile();
    }
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
    m_filePath = m_manager.downloadFolder() + QLatin1Char('/') + downloadFileName(url, m_fallbackName);

    // A package of the same name is replaced by the new download; so is a
    // link of that name, which would otherwise send the bytes elsewhere.
    const QFileInfo existing(m_filePath);
    if (existing.exists() || existing.isSymLink())
        QFile::remove(m_filePath);

    auto file = std::make_unique<QFile>(m_filePath);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        const QString message = text(kCannotSaveText).arg(QDir::toNativeSeparators(m_filePath), file->errorString());
        showMessageBox(ownerWindow(), text(kCannotSaveTitle), message);
        return downstart::kCannotOpenFile;
    }
    struct stat info {};
    if (::fstat(file->handle(), &info) == 0) {
        m_fileDevice = info.st_dev;
        m_fileInode = info.st_ino;
        m_haveFileIdentity = true;
    }
    m_file = std::move(file);
    m_reply = NetworkHelper::instance().startGet(url, {}, this);
    m_reply->setReadBufferSize(kReadBufferBytes);
    return downstart::kStarted;
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
        std::fprintf(stderr, "download: writing %s failed: %s\n", qPrintable(m_filePath),
                     qPrintable(m_file->errorString()));
        m_writeFailed = true;
        m_reply->abort();
    }
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
    QPointer<QNetworkReply> reply(m_reply);
    view->callPageFunction(m_progressFunction, QJsonArray{low32(bytesReceived), low32(bytesTotal)},
                           [self, reply](const QJsonValue& answer) {
                               if (self && reply)
                                   self->onProgressAnswer(reply, answer);
                           });
}

void DownloaderObj::onProgressAnswer(QNetworkReply* reply, const QJsonValue& answer)
{
    // An answer about a transfer that has already ended changes nothing.
    if (reply != m_reply || !m_keepGoing)
        return;
    if (!pageTruthy(answer))
        cancel();
}

void DownloaderObj::cancel()
{
    m_keepGoing = false;
    if (m_reply)
        m_reply->abort();  // ends in handleHttpFinished
}

void DownloaderObj::handleHttpFinished()
{
    if (!m_reply)
        return;
    if (m_file) {
        writeAvailable();
        m_file->close();
        m_file.reset();
    }

    if (!m_keepGoing) {
        removeOwnFile();
        releaseReply();
        callFinish(downdone::kCancelled, QString(), text(kCancelledText));
        return;
    }
    if (m_reply->error() != QNetworkReply::NoError || m_writeFailed) {
        std::fprintf(stderr, "download: %s failed: %s\n", qPrintable(m_url), qPrintable(m_reply->errorString()));
        removeOwnFile();
        releaseReply();
        callFinish(downdone::kFailed, QString(), text(kFailedText));
        return;
    }

    const QUrl target = m_reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    const QUrl replyUrl = m_reply->url();
    releaseReply();
    if (target.isEmpty()) {
        callFinish(downdone::kComplete, m_filePath, QString());
        return;
    }
    removeOwnFile();  // it holds the redirect's own body
    followRedirect(replyUrl.resolved(target));
}

void DownloaderObj::followRedirect(const QUrl& target)
{
    if (m_hops >= kMaxRedirectHops) {
        callFinish(downdone::kFailed, QString(), text(kTooManyRedirectsText));
        return;
    }
    // A server must not turn a download into a copy of a local file.
    const QString scheme = target.scheme().toLower();
    if (!target.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
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

void DownloaderObj::removeOwnFile()
{
    if (m_filePath.isEmpty())
        return;
    if (m_haveFileIdentity) {
        struct stat info {};
        const QByteArray path = QFile::encodeName(m_filePath);
        if (::lstat(path.constData(), &info) != 0 || info.st_dev != m_fileDevice || info.st_ino != m_fileInode)
            return;
    }
    QFile::remove(m_filePath);
}

void DownloaderObj::callFinish(int code, const QString& path, const QString& message)
{
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
