// The queue management commands of the main page: names, declared counts,
// and arguments refused before anything reaches the scheduler.

#include "mainwindowfixture.h"

#include "webui/bindings.h"

using mainwindowtest::MainWindowTest;

TEST_F(MainWindowTest, QueueCommandsAreBoundWithTheirDeclaredCounts)
{
    const std::pair<const char*, int> commands[] = {
        { "pausePrinter", 1 },
        { "resumePrinter", 1 },
        { "setPrinterAcceptJobs", 2 },
        { "getPrinterJobs", 1 },
        { "cancelPrinterJob", 2 },
        { "releasePrinterJob", 2 },
        { "getPrinterSupplies", 1 },
        { "setPrinterDescription", 3 },
    };
    for (const auto& [name, count] : commands) {
        EXPECT_EQ(webui::BindingRegistry::instance().declaredCount(name), count) << name;
        EXPECT_EQ(page(QString("typeof %1").arg(name)).toString(), "function") << name;
    }
}

TEST_F(MainWindowTest, QueueCommandsRefuseBadArguments)
{
    struct Case {
        const char* call;
        QJsonValue expected;
    };
    const Case cases[] = {
        { "pausePrinter()", 1801 },
        { "pausePrinter('a b')", 1801 },
        { "resumePrinter('x'.repeat(100000))", 1801 },
        { "resumePrinter({})", 1801 },
        { "setPrinterAcceptJobs('laser')", 87 },
        { "setPrinterAcceptJobs('laser', 'yes')", 87 },
        { "setPrinterAcceptJobs('laser', 1)", 87 },
        { "setPrinterAcceptJobs('bad/name', true)", 1801 },
        { "getPrinterJobs()", "{\"code\":1801}" },
        { "getPrinterJobs('laser; rm -rf ~')", "{\"code\":1801}" },
        { "getPrinterSupplies('a\\nb')", "{\"code\":1801}" },
        { "cancelPrinterJob('bad name', 1)", 1801 },
        { "cancelPrinterJob('laser')", 87 },
        { "cancelPrinterJob('laser', 0)", 87 },
        { "cancelPrinterJob('laser', -4)", 87 },
        { "cancelPrinterJob('laser', 1.5)", 87 },
        { "cancelPrinterJob('laser', '12')", 87 },
        { "cancelPrinterJob('laser', 2147483648)", 87 },
        { "releasePrinterJob('laser', null)", 87 },
        { "releasePrinterJob('laser', [3])", 87 },
        { "setPrinterDescription('laser')", 87 },
        { "setPrinterDescription('laser', 'Front desk')", 87 },
        { "setPrinterDescription('laser', 'Front desk', 5)", 87 },
        { "setPrinterDescription('laser', 'two\\nlines', 'Hall')", 87 },
        { "setPrinterDescription('laser', 'x'.repeat(128), 'Hall')", 87 },
        { "setPrinterDescription('bad/name', 'a', 'b')", 1801 },
    };
    for (const Case& c : cases)
        EXPECT_EQ(command(c.call), c.expected) << c.call;
}
