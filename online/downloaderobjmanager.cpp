#include "online/downloaderobjmanager.h"

#include "online/downloaderobj.h"
#include "online/downloadname.h"
#include "online/partialfile.h"
#include "online/user.h"

#include <QSet>
#include <QFile>
#include <QTimer>
#include <sys/stat.h>
#include <algorithm>

namespace online {

DownloaderObjManager::DownloaderObjManager(FolderProvider downloadFolder, QObject* parent)
    : QObject(parent), m_downloadFolder(std::move(downloadFolder))
{
}

DownloaderObjManager::~DownloaderObjManager()
{
    for (const QPointer<DownloaderObj>& downloader : m_downloaders)
        delete downloader.data();
}

DownloaderObjManager& DownloaderObjManager::instance()
{
    // Lives until exit; running transfers are simply dropped with the process.
    static DownloaderObjManager* const manager =
        new DownloaderObjManager([] { return User::instance().downloadFolder(); });
    return *manager;
}

int DownloaderObjManager::Down(const QJsonArray& args)
{
    if (args.size() != 5)
        return downstart::kWrongArgumentCount;

    DownloaderObj* downloader = createDownloader();
    const QString url = args.at(0).toString();
    const int windowType = args.at(4).toInt();
    webui::WebView* view = findWebView(windowType);
    int result = downstart::kNoWebView;
    if (view) {
        downloader->setPageTargets(args.at(1).toString(), args.at(2).toString(), args.at(3).toString(), view);
        result = downloader->start(url);
    }
    if (result != downstart::kStarted)
        discardDownloader(downloader);
    return result;
}

webui::WebView* DownloaderObjManager::findWebView(int windowType) const
{
    for (const auto& entry : m_webViews) {
        if (entry.second == windowType)
            return entry.first;  // the first of that type decides, even when null
    }
    return nullptr;
}

bool DownloaderObjManager::isRegistered(const webui::WebView* webView) const
{
    if (!webView)
        return false;
    return std::any_of(m_webViews.begin(), m_webViews.end(),
                       [webView](const auto& entry) { return entry.first == webView; });
}

int DownloaderObjManager::liveDownloaders() const
{
    return static_cast<int>(std::count_if(m_downloaders.begin(), m_downloaders.end(),
                                          [](const QPointer<DownloaderObj>& d) { return !d.isNull(); }));
}

DownloaderObj* DownloaderObjManager::createDownloader(int hops)
{
    m_downloaders.erase(std::remove_if(m_downloaders.begin(), m_downloaders.end(),
                                       [](const QPointer<DownloaderObj>& d) { return d.isNull(); }),
                        m_downloaders.end());
    auto* downloader = new DownloaderObj(*this, parent(), hops);
    m_downloaders.emplace_back(downloader);
    m_current = downloader;
    connect(downloader, &DownloaderObj::deleteMeLater, this, &DownloaderObjManager::deleteDownloader);
    return downloader;
}

void DownloaderObjManager::discardDownloader(DownloaderObj* downloader)
{
    if (m_current == downloader)
        m_current = nullptr;
    delete downloader;
}

QString DownloaderObjManager::chooseTargetPath(const QString& folder, const QString& name,
                                               const DownloaderObj* asking) const
{
    // Numbered names are tried in order; a bound keeps a folder full of
    // "setup (n).run" from turning this into a long search.
    constexpr int kMaxNumbered = 1000;
    const auto heldByOther = [&](const QString& path) {
        return std::any_of(m_downloaders.begin(), m_downloaders.end(), [&](const QPointer<DownloaderObj>& d) {
            return d && d.data() != asking && d->holdsTarget() && d->filePath() == path;
        });
    };
    const QString plain = folder + QLatin1Char('/') + name;
    if (!heldByOther(plain))
        return plain;  // a finished file of that name is replaced at the end
    for (int n = 1; n <= kMaxNumbered; ++n) {
        const QString path = folder + QLatin1Char('/') + numberedFileName(name, n);
        struct stat info {};
        // Numbered names never replace a file: it may be an earlier numbered
        // download the user still wants.
        if (!heldByOther(path) && ::lstat(QFile::encodeName(path).constData(), &info) != 0)
            return path;
    }
    return QString();
}

void DownloaderObjManager::removeLeftovers(const QString& folder)
{
    if (folder.isEmpty() || m_sweptFolders.contains(folder))
        return;
    m_sweptFolders.append(folder);
    QSet<QString> inUse;
    for (const QPointer<DownloaderObj>& downloader : m_downloaders) {
        if (downloader && !downloader->partialPath().isEmpty())
            inUse.insert(downloader->partialPath());
    }
    removeStalePartialFiles(folder, inUse);
}

void DownloaderObjManager::deleteDownloader()
{
    QObject* downloader = sender();
    if (!downloader)
        return;
    // Still inside its own reply handling when it asks; the delay also lets
    // late page answers find it and be ignored.
    QTimer::singleShot(kDeleteDelayMs, downloader, [downloader] { downloader->deleteLater(); });
}

void DownloaderObjManager::addWebstroage(webui::WebView* webView, int wnd)
{
    m_webViews.emplace_back(webView, wnd);
}

void DownloaderObjManager::removeWebstroage(webui::WebView* webView, int /*wnd*/)
{
    auto it = std::find_if(m_webViews.begin(), m_webViews.end(),
                           [webView](const auto& entry) { return entry.first == webView; });
    if (it != m_webViews.end())
        m_webViews.erase(it);
}

}  // namespace online
