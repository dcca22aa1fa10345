#pragma once
// One driver package transfer: opens the target file, streams the reply into
// it, asks the page after every progress report whether to go on, hands over
// to a fresh downloader at a redirect and finally tells the page the outcome.
//
// Lives on the UI thread. Created by DownloaderObjManager (for "Down" or a
// redirect); reply signals arrive directly from the network manager; page
// answers arrive through the web view's result callbacks, so a cancel takes
// effect when the page's answer comes back. After its one completion call (or
// the hand-over) it emits deleteMeLater and the manager deletes it.

#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>
#include <sys/types.h>

class QFile;
class QNetworkReply;
class QJsonValue;
class QWidget;

namespace webui {
class WebView;
}

namespace online {

class DownloaderObjManager;

// Results of starting a download, as "Down" returns them.
namespace downstart {
constexpr int kStarted = 0;
constexpr int kCannotOpenFile = 2;
constexpr int kWrongArgumentCount = 3;
constexpr int kNoWebView = 4;
}  // namespace downstart

// Codes of the page's completion call.
namespace downdone {
constexpr int kComplete = 0;
constexpr int kCancelled = 1;
constexpr int kFailed = 2;
}  // namespace downdone

// How many redirects one download follows before giving up.
constexpr int kMaxRedirectHops = 10;

class DownloaderObj : public QObject {
    Q_OBJECT
public:
    // hops: how many redirects led to this downloader.
    DownloaderObj(DownloaderObjManager& manager, QObject* parent, int hops = 0);
    ~DownloaderObj() override;

    void setPageTargets(const QString& progressFunction, const QString& finishFunction, const QString& fallbackName,
                        webui::WebView* webView);
    void copyPageTargetsFrom(const DownloaderObj& other);

    // Opens the target file and starts the GET; one of downstart's results.
    int start(const QString& url);

    QString filePath() const { return m_filePath; }
    QString url() const { return m_url; }
    int hops() const { return m_hops; }

signals:
    void deleteMeLater();

public slots:
    virtual void handleHttpFinished();
    void handleHttpReadyRead();
    void handleProgress(qlonglong bytesReceived, qlonglong bytesTotal);

private:
    void writeAvailable();
    void onProgressAnswer(QNetworkReply* reply, const QJsonValue& answer);
    void cancel();
    void releaseReply();
    void removeOwnFile();
    void callFinish(int code, const QString& path, const QString& message);
    void followRedirect(const QUrl& target);
    webui::WebView* liveWebView() const;
    QWidget* ownerWindow() const;

    DownloaderObjManager& m_manager;
    std::unique_ptr<QFile> m_file;
    bool m_keepGoing = true;
    bool m_writeFailed = false;
    QPointer<QNetworkReply> m_reply;
    QString m_filePath;
    QString m_url;
    QString m_progressFunction;
    QString m_finishFunction;
    QString m_fallbackName;
    webui::WebView* m_webView = nullptr;  // owned by its window
    int m_hops = 0;
    // Which file we created, so a removal never takes a file that another
    // download of the same name has put there since.
    dev_t m_fileDevice = 0;
    ino_t m_fileInode = 0;
    bool m_haveFileIdentity = false;
};

// How a page's answer reads as a boolean in script: undefined, null, false, 0,
// NaN and "" are false.
bool pageTruthy(const QJsonValue& value);

}  // namespace online
