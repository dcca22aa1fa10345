#include "mainwindow/workerthread.h"
#include "sysutil/signalstack.h"

#include <QDebug>

WorkerThread::WorkerThread(QObject* parent, Job function, int mode, std::uintptr_t userArgument)
    : QThread(parent), m_function(std::move(function)), m_mode(mode), m_userArgument(userArgument)
{
}

void WorkerThread::run()
{
    sysutil::ensureAlternateSignalStack();
    if (!m_function || (m_mode != 0 && m_mode != 1)) {
        // An exception escaping run() would end the process; a job that was
        // set up wrongly is a programming error worth a log line, not a crash.
        qWarning() << "WorkerThread: error: unknown mode" << m_mode;
        return;
    }
    emit resultReady(m_mode == 0 ? m_function(0, 0) : m_function(1, m_userArgument));
}
