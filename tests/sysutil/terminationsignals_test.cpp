// SIGINT and SIGTERM through the self-pipe: each case runs in a child
// process of its own (the handlers are installed once per process).

#include "sysutil/terminationsignals.h"

#include <QEventLoop>
#include <QTimer>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

// In the child: installs a reaction, raises the signal and runs the event
// loop until the reaction has run (a minute at most). 0 when it ran once
// with that signal, 1 when not, 3 when it could not be installed.
int firstSignalReachesTheLoop(int signalNumber)
{
    QEventLoop loop;
    int seen = 0;
    int calls = 0;
    if (!sysutil::onTerminationSignals([&](int number) {
            seen = number;
            ++calls;
            loop.quit();
        }))
        return 3;
    QTimer::singleShot(60 * 1000, &loop, &QEventLoop::quit);
    std::raise(signalNumber);
    loop.exec();
    return seen == signalNumber && calls == 1 ? 0 : 1;
}

class TerminationSignals : public testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

}  // namespace

TEST_F(TerminationSignals, SigintReachesTheReactionInTheEventLoop)
{
    EXPECT_EXIT(std::_Exit(firstSignalReachesTheLoop(SIGINT)), testing::ExitedWithCode(0), "");
}

TEST_F(TerminationSignals, SigtermReachesTheReactionInTheEventLoop)
{
    EXPECT_EXIT(std::_Exit(firstSignalReachesTheLoop(SIGTERM)), testing::ExitedWithCode(0), "");
}

TEST_F(TerminationSignals, ASecondSignalOfTheSameKindEndsTheProcessAtOnce)
{
    EXPECT_EXIT(
        {
            if (firstSignalReachesTheLoop(SIGINT) == 0)
                std::raise(SIGINT);
            std::_Exit(5);
        },
        testing::KilledBySignal(SIGINT), "");
}

TEST_F(TerminationSignals, OneReactionPerProcess)
{
    EXPECT_EXIT(
        {
            const bool first = sysutil::onTerminationSignals([](int) {});
            const bool second = sysutil::onTerminationSignals([](int) {});
            std::_Exit(first && !second ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}
