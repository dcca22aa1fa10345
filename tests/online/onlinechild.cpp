// A second process for the tests that need one to die mid-work (kill -9) or to
// race the test process:
//   online_child download URL FOLDER        one download through "Down"; exits
//                                           with its completion code
//   online_child save-user-data PATH A B    saves A and B in turn until killed
// Either gives up after two minutes, so an orphan never lingers.

#include "fakewebview.h"
#include "online/downloaderobjmanager.h"
#include "online/messagebox.h"
#include "online/userdatafile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QNetworkProxy>
#include <QTimer>
#include <cstdio>

namespace {

constexpr int kLifetimeMs = 120 * 1000;

int download(const QString& url, const QString& folder)
{
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    online::setMessageBoxFunction([](QWidget*, const QString& title, const QString& text) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
    });
    onlinetest::FakeWebView view;
    view.functions[QStringLiteral("onProgress")] = [](const QJsonArray&) { return QJsonValue(true); };
    view.functions[QStringLiteral("onFinish")] = [](const QJsonArray& args) {
        QCoreApplication::exit(args.at(0).toInt());
        return QJsonValue(QJsonValue::Undefined);
    };
    online::DownloaderObjManager manager([folder] {
        QDir().mkpath(folder);
        return folder;
    });
    manager.addWebstroage(&view, 3);
    const int started = manager.Down(QJsonArray{url, "onProgress", "onFinish", "pkg", 3});
    if (started != 0)
        return 100 + started;
    QTimer::singleShot(kLifetimeMs, [] { QCoreApplication::exit(99); });
    return QCoreApplication::exec();
}

int saveUserData(const QString& path, const QString& first, const QString& second)
{
    QElapsedTimer alive;
    alive.start();
    for (long round = 0; alive.elapsed() < kLifetimeMs; ++round) {
        if (!online::writeUserDataFile(path, round % 2 ? second : first))
            return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList args = application.arguments().mid(1);
    if (args.value(0) == QLatin1String("download") && args.size() == 3)
        return download(args.at(1), args.at(2));
    if (args.value(0) == QLatin1String("save-user-data") && args.size() == 4)
        return saveUserData(args.at(1), args.at(2), args.at(3));
    std::fprintf(stderr, "usage: online_child download URL FOLDER | save-user-data PATH A B\n");
    return 2;
}
