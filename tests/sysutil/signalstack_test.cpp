#include "sysutil/signalstack.h"

#include <csignal>
#include <cstdint>
#include <gtest/gtest.h>
#include <thread>

using namespace sysutil;

namespace {

stack_t currentSignalStack()
{
    stack_t stack{};
    sigaltstack(nullptr, &stack);
    return stack;
}

}  // namespace

TEST(AlternateSignalStack, AThreadGetsOneWhenItAsks)
{
    stack_t before{};
    stack_t after{};
    stack_t again{};
    bool ready = false;
    std::thread([&] {
        before = currentSignalStack();
        ready = ensureAlternateSignalStack();
        after = currentSignalStack();
        ensureAlternateSignalStack();
        again = currentSignalStack();
    }).join();
    EXPECT_TRUE(ready);
    EXPECT_FALSE(after.ss_flags & SS_DISABLE);
    if (before.ss_flags & SS_DISABLE) {
        EXPECT_EQ(after.ss_size, kAlternateSignalStackBytes);
    } else {
        // Under AddressSanitizer every thread starts with one of its own.
        EXPECT_EQ(after.ss_sp, before.ss_sp) << "an existing stack is kept";
    }
    EXPECT_EQ(again.ss_sp, after.ss_sp) << "asking twice keeps the first stack";
}

TEST(AlternateSignalStack, HandlersRunOnIt)
{
    static std::uintptr_t handlerFrame = 0;
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = [](int) {
        char local = 0;
        handlerFrame = reinterpret_cast<std::uintptr_t>(&local);
    };
    action.sa_flags = SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGUSR2, &action, &previous), 0);
    stack_t stack{};
    std::thread([&] {
        ensureAlternateSignalStack();
        stack = currentSignalStack();
        raise(SIGUSR2);
    }).join();
    sigaction(SIGUSR2, &previous, nullptr);
    const auto low = reinterpret_cast<std::uintptr_t>(stack.ss_sp);
    ASSERT_NE(handlerFrame, 0u);
    EXPECT_GE(handlerFrame, low);
    EXPECT_LT(handlerFrame, low + stack.ss_size);
}
