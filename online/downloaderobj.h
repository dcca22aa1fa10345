#pragma once
// One driver package transfer: streams the reply into a partial file in the
// download folder, asks the page after every progress report whether to go
// on, hands over to a fresh downloader at a redirect, renames the partial
// file to the package's name only after a complete, verified transfer and
// finally tells the page the outcome. Only http and https are fetched.
//
// Lives on the UI thread. Created by DownloaderObjManager (for "Down" or a
// redirect); reply signals arrive directly from the network manager; page
// answers arrive through the web view's result callbacks, so a cancel takes
// effect when the page's answer comes back; an answer still outstanding when
// the transfer ends is waited for (up to kLastAnswerWaitMs) before the page
// is told, so a late "stop" is never reported as a finished package. After
// its one completion call (or the hand-over) it emits deleteMeLater and the
// manager deletes it.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <memory>

class QFile;
class QNetworkReply;
class QJsonValue;
class QWidget;

namespace webui {
class WebView;
}

namespace online {

class DownloaderObjManager;

// Results of starting a download, as "Down" returns them. A URL that is not
// http or https starts (0) and ends at once with completion code 2.
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
// How long the end of a transfer waits for the page's outstanding answers.
constexpr int kLastAnswerWaitMs = 10 * 1000;

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

    // The name the package gets when complete.
    QString filePath() const { return m_filePath; }
    // The partial file being written; empty when there is none.
    QString partialPath() const { return m_partialPath; }
    // Whether this transfer still claims filePath (from its start to its end).
    bool holdsTarget() const { return m_holdsTarget; }
    QString url() const { return m_url; }
    int hops() const { return m_hops; }

signals:
    void deleteMeLater();

public slots:
    virtual void handleHttpFinished();
    void handleHttpReadyRead();
    void handleProgress(qlonglong bytesReceived, qlonglong bytesTotal);

private:
    // What a finished transfer amounts to, decided when the reply ends and
    // carried out once the page's outstanding answers are in.
    enum class Outcome { Complete, Cancelled, Failed, Redirect };

    void writeAvailable();
    void onProgressAnswer(const QJsonValue& answer);
    void cancel();
    Outcome judgeReply(QUrl* redirectTarget) const;
    bool closeFile();
    void settle();
    void conclude();
    void releaseReply();
    void removePartialFile();
    void callFinish(int code, const QString& path, const QString& message);
    void followRedirect(const QUrl& target);
    int failToOpen(int error);
    webui::WebView* liveWebView() const;
    QWidget* ownerWindow() const;

    DownloaderObjManager& m_manager;
    std::unique_ptr<QFile> m_file;
    bool m_keepGoing = true;
    bool m_writeFailed = false;
    bool m_holdsTarget = false;
    qint64 m_bytesWritten = 0;
    int m_pendingAnswers = 0;
    bool m_ended = false;  // the reply is over; waiting for answers or done
    bool m_concluded = false;
    Outcome m_outcome = Outcome::Failed;
    QUrl m_redirectTarget;
    QTimer m_answerWait;
    QPointer<QNetworkReply> m_reply;
    QString m_filePath;
    QString m_partialPath;
    QString m_url;
    QString m_progressFunction;
    QString m_finishFunction;
    QString m_fallbackName;
    webui::WebView* m_webView = nullptr;  // owned by its window
    int m_hops = 0;
};

// How a page's answer reads as a boolean in script: undefined, null, false, 0,
// NaN and "" are false.
bool pageTruthy(const QJsonValue& value);

}  // namespace online
