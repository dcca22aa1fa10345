#pragma once
// The process-wide keeper of downloads: which web view belongs to which window
// type (so "Down" knows whose page to report to), the downloader most recently
// started, and the delayed deletion of downloaders that are done. UI thread
// only.

#include "online/downloaderobj.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <utility>
#include <vector>

namespace webui {
class WebView;
}

namespace online {


class DownloaderObjManager : public QObject {
    Q_OBJECT
public:
    // How long a finished or superseded downloader is kept before deletion.
    static constexpr int kDeleteDelayMs = 1000;

    using FolderProvider = std::function<QString()>;

    // downloadFolder gives the folder a download is saved into (creating it).
    explicit DownloaderObjManager(FolderProvider downloadFolder, QObject* parent = nullptr);
    ~DownloaderObjManager() override;

    // The one manager of the program, saving into the user's download folder.
    static DownloaderObjManager& instance();

    // Page function "Down": args[0] URL, [1] name of the page's progress
    // function, [2] name of its completion function, [3] base name used when
    // the URL names no file, [4] window type whose web view gets the calls.
    // Returns 0 started, 2 target not writable (a box was shown), 3 not
    // exactly five arguments, 4 no web view registered for the window type.
    int Down(const QJsonArray& args);

    DownloaderObj* current() const { return m_current; }
    QString downloadFolder() const { return m_downloadFolder(); }
    webui::WebView* findWebView(int windowType) const;
    bool isRegistered(const webui::WebView* webView) const;
    // Downloaders that exist right now (running or waiting for deletion).
    int liveDownloaders() const;

    // A new downloader that becomes current and is deleted after it is done.
    DownloaderObj* createDownloader(int hops = 0);
    // Deletes a downloader that never started.
    void discardDownloader(DownloaderObj* downloader);

    // The path a new download of `name` into folder is saved under: the name
    // itself, unless another running download is saving under it; then the
    // first free "name (n).ext". Only one transfer ever writes one name.
    QString chooseTargetPath(const QString& folder, const QString& name, const DownloaderObj* asking) const;
    // Removes what interrupted transfers left in folder (once per folder and
    // process; see partialfile.h).
    void removeLeftovers(const QString& folder);

public slots:
    virtual void deleteDownloader();
    // Every window registers its web view when it is created and removes it
    // when it is destroyed.
    void addWebstroage(webui::WebView* webView, int wnd);
    void removeWebstroage(webui::WebView* webView, int wnd);

private:
    FolderProvider m_downloadFolder;
    QPointer<DownloaderObj> m_current;
    std::vector<std::pair<webui::WebView*, int>> m_webViews;
    std::vector<QPointer<DownloaderObj>> m_downloaders;
    QStringList m_sweptFolders;
};

}  // namespace online
