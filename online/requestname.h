#pragma once
// The tag a back-end request carries through the network manager: which kind
// of request it is and who gets the answer.

#include <QObject>

namespace online {

class HttpHandler;

class RequestName : public QObject {
    Q_OBJECT
public:
    // The numbers are part of the contract: the error report and the reply
    // dispatch switch on them, and 9 and 10 are valid kinds without a name.
    enum Name : qint32 {
        Config = 0,
        LoginQrCode = 3,
        LoginStatus = 4,
        Avatar = 5,
        UserInfo = 6,
        RandomLogin = 8,
    };
    Q_ENUM(Name)

    RequestName(Name name, HttpHandler* handler) : m_name(name), m_handler(handler) {}

    Name name() const { return m_name; }
    HttpHandler* handler() const { return m_handler; }

private:
    Name m_name;
    HttpHandler* m_handler;  // not owned
};

}  // namespace online
