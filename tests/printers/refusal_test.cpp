// Administrative requests the scheduler refuses: the user is asked for a
// password through the installed prompt, a refusal is 5, and a refused
// delete is tried once more through pkexec.

#include "printers/printerapi.h"
#include "printers/printertestutil.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

using namespace PrinterAPI;
using namespace printertest;

namespace {
struct PromptRecorder {
    int calls = 0;
    std::optional<QString> answer;
};
}  // namespace

TEST(Refusal, DecliningThePasswordPromptIsAccessDenied)
{
    auto recorder = std::make_shared<PromptRecorder>();
    setPasswordPrompt([recorder](const QString&, const QString&) {
        ++recorder->calls;
        return recorder->answer;
    });
    EXPECT_EQ(sharePrinter("inkjet", "", true), 5);
    EXPECT_GE(recorder->calls, 1);
    EXPECT_FALSE(listingByName()["inkjet"].toObject()["isShare"].toBool());
    setPasswordPrompt({});
}

TEST(Refusal, AWrongPasswordIsAskedForAFewTimesThenDenied)
{
    auto recorder = std::make_shared<PromptRecorder>();
    recorder->answer = QStringLiteral("not-the-password");
    setPasswordPrompt([recorder](const QString&, const QString&) {
        ++recorder->calls;
        return recorder->answer;
    });
    EXPECT_EQ(sharePrinter("inkjet", "", true), 5);
    EXPECT_GE(recorder->calls, 1);
    EXPECT_LE(recorder->calls, 3);
    setPasswordPrompt({});
}

TEST(Refusal, NoPromptInstalledIsAccessDenied)
{
    setPasswordPrompt({});
    EXPECT_EQ(sharePrinter("laser", "", false), 5);
}

TEST(Refusal, RefusedDeleteWithoutPkexecIsAccessDenied)
{
    FakePrograms fakes;
    testsupport::ScopedEnv path("PATH", fakes.dir().toUtf8() + ":/usr/sbin:/sbin");  // lpadmin, no pkexec
    EXPECT_EQ(deletePrinter("raw", ""), 5);
    EXPECT_TRUE(listingByName().contains("raw"));
}

TEST(Refusal, RefusedDeleteIsRetriedOnceThroughPkexecWithLpadmin)
{
    FakePrograms fakes;
    fakes.add("pkexec", "exit 0\n");
    EXPECT_EQ(deletePrinter("raw", ""), 0);
    const QStringList argv = fakes.argumentsOf("pkexec");
    ASSERT_EQ(argv.size(), 5) << argv.join(' ').toStdString();
    EXPECT_TRUE(argv[0].endsWith("/lpadmin"));
    EXPECT_EQ(argv[1], "-h");
    EXPECT_EQ(argv[2], qEnvironmentVariable("CUPS_SERVER"));
    EXPECT_EQ(argv[3], "-x");
    EXPECT_EQ(argv[4], "raw");
}

TEST(Refusal, DismissedPkexecDialogIsAccessDenied)
{
    FakePrograms fakes;
    fakes.add("pkexec", "exit 126\n");
    EXPECT_EQ(deletePrinter("raw", ""), 5);
    EXPECT_TRUE(fakes.ran("pkexec"));
    EXPECT_TRUE(queueExists("raw"));
}
