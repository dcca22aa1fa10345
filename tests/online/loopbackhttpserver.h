#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for the download and back-end tests.
// The constructor starts its thread (listening on a free port before it
// returns); the thread owns the listening socket and every connection and
// touches nothing else; tests read what it saw through the mutex-guarded
// request log; the destructor stops the thread and closes everything. Having
// its own thread lets the code under test block or spin nested event loops on
// the UI thread. Every response closes its connection.
//
// Built-in routes (the test owns every URL, so parsing is plain):
//   /file/NAME?size=N   N bytes of content(): with Content-Length, or with
//                       &chunked=1 chunked, or with &length=0 delimited by the
//                       close; &chunk=K&delay=MS paces K bytes every MS ms;
//                       &stall=K sends K bytes and then nothing at all
//   /status/CODE/NAME   that status with a short body
//   /redirect/CODE?to=T a redirect to T (relative or absolute), body included
//   /loop/N             302 to /loop/N+1, for ever
//   /hops/N/NAME?...    N redirects (relative), then /file/NAME?...
// Fixed responses set by the test take precedence over these.

#include <QByteArray>
#include <QMap>
#include <QString>
#include <memory>
#include <vector>

namespace onlinetest {

struct RecordedRequest {
    QByteArray method;
    QByteArray target;
    QMap<QByteArray, QByteArray> headers;  // names in lower case
};

class LoopbackHttpServer {
public:
    LoopbackHttpServer();
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    bool isListening() const;
    quint16 port() const;
    // "http://127.0.0.1:PORT" + pathAndQuery.
    QString url(const QString& pathAndQuery) const;

    // Answers GETs of exactly this path (query ignored) with a fixed response;
    // status 0 means "accept and never answer".
    void setFixedResponse(const QByteArray& path, int status, const QByteArray& body,
                          const QByteArray& contentType = "application/json");

    // Answers GETs of exactly this path with these bytes (status line,
    // headers and body as given) and then closes the connection.
    void setRawResponse(const QByteArray& path, const QByteArray& response);

    std::vector<RecordedRequest> requests() const;
    int openConnections() const;

    // The bytes every /file route serves, from offset 0.
    static QByteArray content(qint64 size);
    // size bytes of content starting at offset (fast; for big bodies).
    static QByteArray contentSlice(qint64 offset, int size);

    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;
    class Thread;
    std::unique_ptr<Thread> m_thread;
};

}  // namespace onlinetest
