#pragma once
// The signed-in user and the back end's configuration, kept for the life of
// the process. The login happens in the pages, which hand the result over with
// "setUserData" and ask "isLogin"; only the download folder reaches the disk.
// UI thread only.

#include "online/httphandler.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>
#include <functional>

namespace online {

struct UserRecord {
    QString username;
    QString nickname;
    QString mobile;
    QPixmap avatar;
    QString token;
    QString kefu;          // customer-service page from the configuration
    QString learningPage;  // tutorial page from the configuration
    qint32 user_id = 0;
    qint32 expiretime = 0;  // end of the login, seconds since the epoch; 0 = none
    QString saveFolder;     // download folder; empty = the default one
};

class User : public QObject, public HttpHandler {
    Q_OBJECT
    Q_INTERFACES(online::HttpHandler)
public:
    static constexpr const char* kDefaultAvatar = ":/img/defaultHead.png";

    // The program's one user, with its data file in the configuration folder.
    // Writes the file once more when the application object goes away.
    static User& instance();

    // A user backed by the given data file (read now).
    explicit User(const QString& dataFilePath, QObject* parent = nullptr);
    ~User() override;

    // Called once after start-up: the international edition logs in again
    // with the stored token.
    void start();

    // Takes over the members of a user object from the page or the back end
    // and saves; returns whether the save worked.
    bool setUserInfo(const QJsonValue& info);
    void logout();
    bool isLogined() const;
    bool save();
    // The download folder, created when missing; an empty setting becomes the
    // documents folder + "/驱动".
    QString downloadFolder();
    // The same folder without creating it or remembering the default.
    QString downloadFolderPath() const;

    // Page function "isLogin" (no arguments): whether the login is valid.
    bool isLogin() const { return isLogined(); }
    // Page function "setUserData": args[0] the user's JSON text; empty or
    // unparsable text logs out. The page gets undefined.
    void setUserData(const QString& text);
    // Page function "eMsg": args[0] the command. Handles "service",
    // "tutorial" and "saveFolder" itself and announces "scan" and "loadedjs"
    // with scanRequested and pageLoaded. true (for "saveFolder" whether the
    // folder opened), undefined when args[0] is not a string.
    QJsonValue eMsg(const QJsonArray& args);
    // Page function "downDir": no argument returns the download folder;
    // args[0] a string sets it (saved with the next write of the data file)
    // and returns true; anything else returns undefined.
    QJsonValue downDir(const QJsonArray& args);

    const UserRecord& record() const { return m_record; }
    QJsonValue config() const { return m_config; }
    QJsonValue international() const { return m_international; }
    QString dataFilePath() const { return m_dataFilePath; }

    // The owner window of the error report.
    void setMainWindow(QWidget* window) { m_mainWindow = window; }
    // How links and folders are opened; tests replace the desktop's opener.
    using UrlOpener = std::function<bool(const QUrl&)>;
    void setUrlOpener(UrlOpener opener) { m_openUrl = std::move(opener); }

signals:
    void configReceived(const QJsonValue& international);
    void scanRequested();
    void pageLoaded();

public slots:
    int handleHttpError(online::RequestName::Name name, QNetworkReply::NetworkError error, const QString& errorMsg,
                        QWidget* parent = nullptr) override;
    void handleHttpResponse(online::RequestName::Name name, const QByteArray& data) override;

private:
    void loadDefaultAvatar();
    void handleConfig(const QByteArray& data);
    void handleRandomLogin(const QByteArray& data);
    bool openWebPage(const QString& url);

    UserRecord m_record;
    QJsonValue m_config{QJsonValue::Null};
    QJsonValue m_international{QJsonValue::Null};
    QString m_dataFilePath;
    QPointer<QWidget> m_mainWindow;
    UrlOpener m_openUrl;
};

// Where the download folder goes by default: the documents folder
// (KORVANE_DOCUMENTS_DIR overrides) + "/驱动".
QString defaultDownloadFolder();

}  // namespace online
