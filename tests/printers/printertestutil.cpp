#include "printers/printertestutil.h"

#include "support/testsupport.h"

#include <QFile>
#include <QJsonDocument>
#include <QProcess>

namespace printertest {

int run(const QString& program, const QStringList& arguments, QByteArray* output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(10000) || !process.waitForFinished(30000))
        return -1;
    if (output)
        *output = process.readAll();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

bool addQueue(const QString& name, const QStringList& extra)
{
    return run(QStringLiteral("lpadmin"),
               QStringList{QStringLiteral("-p"), name, QStringLiteral("-E"), QStringLiteral("-v"),
                           QStringLiteral("file:///dev/null")} +
                   extra) == 0;
}

bool removeQueue(const QString& name)
{
    return run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), name}) == 0;
}

bool queueExists(const QString& name)
{
    return run(QStringLiteral("lpstat"), {QStringLiteral("-p"), name}) == 0;
}

QJsonObject listingByName(int selector)
{
    QJsonObject byName;
    const QJsonArray array =
        QJsonDocument::fromJson(PrinterAPI::enumInstalledPrinters(selector).toUtf8()).array();
    for (const QJsonValue& value : array)
        byName.insert(value.toObject().value(QStringLiteral("printerName")).toString(), value.toObject());
    return byName;
}

RecordingWindow::RecordingWindow(webui::WindowHandle handle) : m_handle(handle)
{
    webui::WindowRegistry::instance().add(handle, this);
}

RecordingWindow::~RecordingWindow()
{
    webui::WindowRegistry::instance().remove(m_handle);
}

std::intptr_t RecordingWindow::windowProc(const webui::WindowMessage& message)
{
    m_messages.push_back(message);
    return 0;
}

std::vector<PrinterAPI::PrinterChange> RecordingWindow::changes() const
{
    std::vector<PrinterAPI::PrinterChange> list;
    for (const webui::WindowMessage& message : m_messages)
        if (message.message == webui::msg::kPrinterChanged && message.payload)
            list.push_back(*std::static_pointer_cast<PrinterAPI::PrinterChange>(message.payload));
    return list;
}

bool RecordingWindow::waitForChange(const std::function<bool(const PrinterAPI::PrinterChange&)>& match,
                                    int timeoutMs)
{
    return testsupport::waitFor(
        [&] {
            for (const PrinterAPI::PrinterChange& change : changes())
                if (match(change))
                    return true;
            return false;
        },
        std::chrono::milliseconds(timeoutMs));
}

FakePrograms::FakePrograms() : m_oldPath(qgetenv("PATH"))
{
    qputenv("PATH", m_dir.path().toUtf8() + ':' + m_oldPath);
}

FakePrograms::~FakePrograms()
{
    qputenv("PATH", m_oldPath);
}

void FakePrograms::add(const QString& name, const QByteArray& body)
{
    const QString argsFile = m_dir.path() + QLatin1Char('/') + name + QStringLiteral(".args");
    testsupport::writeFile(m_dir.path() + QLatin1Char('/') + name,
                           "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + argsFile.toUtf8() +
                               ".tmp'\nmv '" + argsFile.toUtf8() + ".tmp' '" + argsFile.toUtf8() + "'\n" + body,
                           true);
}

QStringList FakePrograms::argumentsOf(const QString& name) const
{
    const QByteArray text = testsupport::readFile(m_dir.path() + QLatin1Char('/') + name + QStringLiteral(".args"));
    QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

bool FakePrograms::ran(const QString& name) const
{
    return QFile::exists(m_dir.path() + QLatin1Char('/') + name + QStringLiteral(".args"));
}

}  // namespace printertest
