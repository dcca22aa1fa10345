#pragma once
// A one-shot background job: runs one function on its own thread and reports
// the text it returns.
//
// Owner: the main window creates it as a Qt child, connects resultReady to one
// of its slots and finished to deleteLater, and starts it. The job touches only
// what it was given; the result crosses back as a queued signal. It ends when
// the function returns.

#include <QString>
#include <QThread>
#include <cstdint>
#include <functional>

class WorkerThread : public QThread {
    Q_OBJECT
public:
    // The job receives the flag (0 in mode 0, 1 in mode 1) and, in mode 1, the
    // user argument.
    using Job = std::function<QString(int flag, std::uintptr_t userArgument)>;

    WorkerThread(QObject* parent, Job function, int mode, std::uintptr_t userArgument = 0);

signals:
    void resultReady(QString pcinfo);

protected:
    void run() override;

private:
    Job m_function;
    int m_mode;
    std::uintptr_t m_userArgument;
};
