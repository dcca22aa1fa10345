#pragma once
// A download manager writing into a temporary folder, a fake page that
// receives its progress and completion calls, and a loopback server to
// download from; message boxes are recorded instead of shown.

#include "fakewebview.h"
#include "loopbackhttpserver.h"
#include "online/downloaderobjmanager.h"
#include "online/messagebox.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <vector>

namespace onlinetest {

struct MessageBoxShown {
    QWidget* owner = nullptr;
    QString title;
    QString text;
};

class DownloadFixture : public ::testing::Test {
protected:
    static constexpr int kWindowType = 3;

    // The downloads land in FOLDERNAME inside a temporary folder.
    explicit DownloadFixture(const QString& folderName);

    void SetUp() override;
    void TearDown() override;

    // Replaces the page by a new one that has seen no call.
    void freshPage();
    int down(const QString& url, const QString& fallback = QStringLiteral("pkg"), int windowType = kWindowType);
    // Waits for FINISHES completion calls on TARGET and until every
    // downloader is gone, after which no further page call can come.
    std::vector<FakeWebView::Call> settle(FakeWebView& target, int finishes = 1);
    std::vector<FakeWebView::Call> settle(int finishes = 1) { return settle(view, finishes); }
    // The download folder's entries, hidden ones too, by name.
    QStringList entries() const;
    static void expectFinish(const FakeWebView::Call& call, int code, const QString& path, const QString& message);

    QTemporaryDir m_dir;
    QString folder;
    LoopbackHttpServer server;
    FakeWebView view;
    online::DownloaderObjManager manager;
    std::vector<MessageBoxShown> boxes;

private:
    online::MessageBoxFunction m_previousBox;
};

} // namespace onlinetest
