// Printer dialogs, consoles and driver packages: which program is started
// with which arguments, and what the page is told.

#include "printers/printerapi.h"
#include "printers/printertestutil.h"
#include "printers/win32printer.h"
#include "support/testsupport.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace PrinterAPI;
using namespace printertest;

namespace {
constexpr webui::WindowHandle kOwner = 0x7101;

// Only the fake programs and the basic tools are found.
struct DesktopWithout {
    DesktopWithout() : path("PATH", fakes.dir().toUtf8() + ":/usr/bin:/bin") {}
    FakePrograms fakes;
    testsupport::ScopedEnv path;
};

bool waitForRun(const FakePrograms& fakes, const QString& name)
{
    return testsupport::waitFor([&] { return fakes.ran(name); }, std::chrono::seconds(10));
}
}  // namespace

TEST(PrinterTool, PrinterViewsOpenSystemConfigPrinterWithTheName)
{
    DesktopWithout desktop;
    desktop.fakes.add("system-config-printer");
    struct Case {
        std::function<int()> command;
        QStringList arguments;
    };
    const Case cases[] = {
        {[] { return showPrintPreferencesPage("laser", ""); }, {"--configure-printer", "laser"}},
        {[] { return showPrinterPropertiesPage("laser", "x"); }, {"--configure-printer", "laser"}},
        {[] { return viewPrintQueue("laser", ""); }, {"--show-jobs", "laser"}},
    };
    for (const Case& c : cases) {
        QFile::remove(desktop.fakes.dir() + "/system-config-printer.args");
        EXPECT_EQ(c.command(), 0);
        ASSERT_TRUE(waitForRun(desktop.fakes, "system-config-printer"));
        EXPECT_EQ(desktop.fakes.argumentsOf("system-config-printer"), c.arguments);
    }
}

TEST(PrinterTool, WithoutAToolTheSchedulersWebPageOpens)
{
    DesktopWithout desktop;
    desktop.fakes.add("xdg-open");
    testsupport::ScopedEnv server("CUPS_SERVER", "/run/korvane-test/cups.sock");
    struct Case {
        std::function<int()> command;
        QString url;
    };
    const Case cases[] = {
        {[] { return showPrinterPropertiesPage(QString::fromUtf8("Büro-1"), ""); },
         "http://localhost:631/printers/B%C3%BCro-1"},
        {[] { return viewPrintQueue("laser", ""); }, "http://localhost:631/printers/laser?which_jobs=all"},
        {[] { return showPrintPreferencesPage("laser", ""); },
         "http://localhost:631/admin/?op=set-printer-options&printer_name=laser"},
        {[] { return openManager(kOwner, 0); }, "http://localhost:631/admin"},
        {[] { return openManager(kOwner, 2); }, "http://localhost:631/printers/"},
    };
    for (const Case& c : cases) {
        QFile::remove(desktop.fakes.dir() + "/xdg-open.args");
        EXPECT_EQ(c.command(), 0);
        ASSERT_TRUE(waitForRun(desktop.fakes, "xdg-open"));
        EXPECT_EQ(desktop.fakes.argumentsOf("xdg-open"), QStringList{c.url});
    }
}

TEST(PrinterTool, NothingToStartIsFileNotFound)
{
    FakePrograms fakes;
    testsupport::ScopedEnv path("PATH", fakes.dir().toUtf8());
    EXPECT_EQ(showPrinterPropertiesPage("laser", ""), 2);
    EXPECT_EQ(openManager(kOwner, 1), 2);
    EXPECT_EQ(addPrinter(kOwner, 0), 2);
    EXPECT_FALSE(checkMMCExists(0));
    EXPECT_FALSE(checkMMCExists(1));
    for (int kind : {0, 1, 2})
        EXPECT_EQ(managerTool(kind), QString()) << kind;
}

TEST(PrinterTool, ManagerChoicesNameWhatOpensHere)
{
    {
        DesktopWithout desktop;
        desktop.fakes.add("xdg-open");
        EXPECT_EQ(managerTool(0), "web-admin");
        EXPECT_EQ(managerTool(1), "web-printers");
        EXPECT_EQ(managerTool(2), "web-printers");
        EXPECT_EQ(managerTool(3), QString());
        EXPECT_EQ(managerTool(-1), QString());
    }
    {
        DesktopWithout desktop;
        desktop.fakes.add("xdg-open");
        desktop.fakes.add("gnome-control-center");
        for (int kind : {0, 1, 2})
            EXPECT_EQ(managerTool(kind), "gnome-control-center") << kind;
    }
    {
        DesktopWithout desktop;
        desktop.fakes.add("gnome-control-center");
        desktop.fakes.add("system-config-printer");
        EXPECT_EQ(managerTool(1), "system-config-printer");
    }
}

TEST(PrinterTool, AddPrinterWithoutAToolOpensTheSchedulersAddPage)
{
    DesktopWithout desktop;
    desktop.fakes.add("xdg-open");
    testsupport::ScopedEnv server("CUPS_SERVER", "/run/korvane-test/cups.sock");
    EXPECT_EQ(addPrinter(kOwner, 1), 0);
    ASSERT_TRUE(waitForRun(desktop.fakes, "xdg-open"));
    EXPECT_EQ(desktop.fakes.argumentsOf("xdg-open"), QStringList{"http://localhost:631/admin/?op=add-printer"});
}

TEST(PrinterTool, ConsolesAndTheirCheck)
{
    DesktopWithout desktop;
    desktop.fakes.add("system-config-printer");
    EXPECT_TRUE(checkMMCExists(0));
    EXPECT_TRUE(checkMMCExists(1));
    EXPECT_FALSE(checkMMCExists(2));
    EXPECT_FALSE(checkMMCExists(-1));
    EXPECT_EQ(openManager(kOwner, 3), 87);
    EXPECT_EQ(openManager(kOwner, -1), 87);
    EXPECT_FALSE(desktop.fakes.ran("system-config-printer"));
    EXPECT_EQ(openManager(kOwner, 1), 0);
    ASSERT_TRUE(waitForRun(desktop.fakes, "system-config-printer"));
    EXPECT_EQ(desktop.fakes.argumentsOf("system-config-printer"), QStringList());
    EXPECT_EQ(win32printer::kOpenManagerMissingArgument, 536870913u);
}

TEST(PrinterTool, AddPrinterKindsOpenTheWizardOthersNothing)
{
    DesktopWithout desktop;
    desktop.fakes.add("system-config-printer");
    EXPECT_EQ(addPrinter(kOwner, 7), 87);
    EXPECT_EQ(addPrinter(kOwner, -1), 87);
    testsupport::waitFor([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_FALSE(desktop.fakes.ran("system-config-printer"));
    for (int kind : {0, 1, 2, 3}) {
        QFile::remove(desktop.fakes.dir() + "/system-config-printer.args");
        EXPECT_EQ(addPrinter(kOwner, kind), 0) << kind;
        EXPECT_TRUE(waitForRun(desktop.fakes, "system-config-printer")) << kind;
    }
}

TEST(DriverPackage, MissingFileIsThree)
{
    EXPECT_EQ(installDriverPackage(kOwner, "notice", "/nonexistent/driver.run"), 3);
    EXPECT_EQ(installDriverPackage(kOwner, "notice", ""), 3);
}

TEST(DriverPackage, ProgramRunsAndItsEndIsPostedWithTheNotice)
{
    RecordingWindow owner(kOwner);
    QTemporaryDir dir;
    const QString marker = dir.path() + "/ran";
    // A name with blanks and quotes stays one argument.
    const QString installer = dir.path() + "/my \"driver\" setup.run";
    ASSERT_TRUE(testsupport::writeFile(installer, "#!/bin/sh\n(sleep 0.3; touch '" + marker.toUtf8() + "') &\n"));
    EXPECT_EQ(installDriverPackage(kOwner, QStringLiteral("驱动已安装"), installer), 0);
    ASSERT_TRUE(testsupport::waitFor([&] { return !owner.messages().empty(); }, std::chrono::seconds(20)));
    const webui::WindowMessage& message = owner.messages().front();
    EXPECT_EQ(message.message, webui::msg::kPackageInstalled);
    EXPECT_EQ(message.wParam, 0u);
    EXPECT_EQ(*std::static_pointer_cast<QString>(message.payload), QStringLiteral("驱动已安装"));
    // Posted only after the installer's own child had finished.
    EXPECT_TRUE(QFile::exists(marker));
}

TEST(DriverPackage, OtherFilesAreShownInTheirFolder)
{
    DesktopWithout desktop;
    desktop.fakes.add("xdg-open");
    QTemporaryDir dir;
    const QString inf = dir.path() + "/driver.inf";
    ASSERT_TRUE(testsupport::writeFile(inf, "[Version]\n"));
    // No session bus here, so the folder itself is opened.
    EXPECT_EQ(installDriverPackage(kOwner, "notice", inf), 1);
    ASSERT_TRUE(waitForRun(desktop.fakes, "xdg-open"));
    EXPECT_EQ(desktop.fakes.argumentsOf("xdg-open"), QStringList{QUrl::fromLocalFile(dir.path()).toString()});
}

TEST(DriverPackage, NoWayToShowTheFileIsZero)
{
    FakePrograms fakes;
    testsupport::ScopedEnv path("PATH", fakes.dir().toUtf8());
    QTemporaryDir dir;
    const QString pdf = dir.path() + "/manual.pdf";
    ASSERT_TRUE(testsupport::writeFile(pdf, "%PDF-1.4\n"));
    EXPECT_EQ(installDriverPackage(kOwner, "notice", pdf), 0);
}
