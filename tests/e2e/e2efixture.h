#pragma once
// The real program in one test: the start-up of app/ with Qt WebEngine,
// inside the LAN test bed's scanner namespace (lo and the simulated LAN
// only), against a private CUPS scheduler, with a temporary home. Tests drive
// the bundled pages through their own controls (clicks by element id) and
// read back what a user would see.

#include "support/testsupport.h"

#include <QJsonValue>
#include <QString>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

class MainBlkWindow;

namespace e2e {

using namespace std::chrono_literals;

// Generous: the engine shares two cores with other test binaries.
constexpr std::chrono::seconds kPageWait{60};

// Where a test's scheduler lives: the suite's own bed, or the one the
// destructive repair scenario may empty.
// Scan: a scheduler inside the scanner namespace, which reaches the LAN's
// printers (driverless queues are made from their answers).
// Usb: a scheduler whose stand-in usb backend lists the device fixture's
// printers and keeps their jobs in its usb-output folder.
enum class Bed { Suite, Repair, Scan, Usb };
QString bedDir(Bed bed);

// A JavaScript string literal of the text.
QString jsString(const QString& text);

// Runs a CUPS command-line client against a bed (argument vector, bounded).
QString cupsClient(Bed bed, const QString& program, const QStringList& args, int* exitCode = nullptr);

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // What the start-up needs to know before the window opens; a test
    // overrides these in its constructor.
    Bed bed = Bed::Suite;
    QString sysfsRoot;  // empty: this machine's /sys

    // A script's value in the main page (exceptions come back as "error: ...").
    QJsonValue page(const QString& expression);
    // Waits until the expression is true in the page.
    bool waitForPage(const QString& expression, std::chrono::milliseconds timeout = kPageWait);
    // Clicks the element with this id the way a user would (it must be there
    // and enabled); false otherwise.
    bool click(const QString& id);
    bool clickSelector(const QString& selector);
    void showPanel(const QString& panel);
    // The calls of a page function the program made, as the page logged them.
    int callbacksOf(const QString& function);

    // Saves the main window as it is now, as <output>/e2e-<name>.png; the path.
    QString screenshot(const QString& name);

    MainBlkWindow* window = nullptr;
    // This test's home folder (a fresh one per test).
    QString home;

private:
    std::vector<std::unique_ptr<testsupport::ScopedEnv>> m_env;
    void setEnv(const char* name, const QString& value);
};

}  // namespace e2e
