#pragma once
// Helpers for the printer tests: CUPS command line tools against the test
// bed, a window that records the messages it receives, fake desktop programs.

#include "printers/printerapi.h"
#include "webui/windowmessage.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>
#include <QTemporaryDir>
#include <vector>

namespace printertest {

// Runs a program with arguments (CUPS_SERVER comes from the environment);
// returns its exit code, -1 when it did not run.
int run(const QString& program, const QStringList& arguments, QByteArray* output = nullptr);
// lpadmin -p NAME -E -v file:///dev/null plus the extra arguments.
bool addQueue(const QString& name, const QStringList& extra = {});
bool removeQueue(const QString& name);
bool queueExists(const QString& name);

// The listing for a selector as parsed JSON objects, by printer name.
QJsonObject listingByName(int selector = 0);

// A window in the registry that keeps every message it is sent.
class RecordingWindow : public webui::WindowMessageTarget {
public:
    explicit RecordingWindow(webui::WindowHandle handle);
    ~RecordingWindow() override;
    std::intptr_t windowProc(const webui::WindowMessage& message) override;

    webui::WindowHandle handle() const { return m_handle; }
    const std::vector<webui::WindowMessage>& messages() const { return m_messages; }
    // The printer changes received so far, in order.
    std::vector<PrinterAPI::PrinterChange> changes() const;
    // Waits up to the time for a change matching the predicate.
    bool waitForChange(const std::function<bool(const PrinterAPI::PrinterChange&)>& match, int timeoutMs = 5000);
    void clear() { m_messages.clear(); }

private:
    webui::WindowHandle m_handle;
    std::vector<webui::WindowMessage> m_messages;
};

// A folder put in front of PATH holding small shell scripts that stand in for
// desktop programs; each writes its arguments, one per line, to NAME.args.
class FakePrograms {
public:
    FakePrograms();
    ~FakePrograms();
    void add(const QString& name, const QByteArray& body = "exit 0\n");
    QStringList argumentsOf(const QString& name) const;
    bool ran(const QString& name) const;
    QString dir() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QByteArray m_oldPath;
};

}  // namespace printertest
