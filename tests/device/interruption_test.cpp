// SPDX-License-Identifier: MIT
#include "device/interruption.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>

namespace divebridge {
namespace {

std::atomic<int> hostHandlerCalls{0};
void hostHandler(int) {
    ++hostHandlerCalls;
}

// Puts `handler` in place for SIGINT as a host application would, and restores the default after.
class HostSignalAction : public ::testing::Test {
  protected:
    void install(void (*handler)(int)) { ASSERT_NE(std::signal(SIGINT, handler), SIG_ERR); }
    void TearDown() override { std::signal(SIGINT, SIG_DFL); }
};

TEST_F(HostSignalAction, TheHostsHandlerStillReceivesTheSignal) {
    install(hostHandler);
    hostHandlerCalls = 0;
    installInterruptHandler();
    installInterruptHandler();  // a second download must not chain the handler to itself
    const StopRequest first;
    std::raise(SIGINT);
    EXPECT_EQ(hostHandlerCalls.load(), 1);
    EXPECT_TRUE(first.requested());

    // Still in place for the next signal (the Windows runtime resets a handler that runs).
    const StopRequest second;
    std::raise(SIGINT);
    EXPECT_EQ(hostHandlerCalls.load(), 2);
    EXPECT_TRUE(second.requested());
}

TEST_F(HostSignalAction, AnIgnoredSignalStaysIgnored) {
    install(SIG_IGN);
    installInterruptHandler();
    const StopRequest stop;
    std::raise(SIGINT);
    EXPECT_TRUE(stop.requested());
}

TEST_F(HostSignalAction, WithoutAHostHandlerTheSignalStillEndsTheProgram) {
    install(SIG_DFL);
#ifdef _WIN32
    // The C runtime's default action for a raised SIGINT: exit code 3.
    const auto endedByTheSignal = ::testing::ExitedWithCode(3);
#else
    const auto endedByTheSignal = ::testing::KilledBySignal(SIGINT);
#endif
    EXPECT_EXIT(
        {
            installInterruptHandler();
            std::raise(SIGINT);
        },
        endedByTheSignal, "");
}

#ifdef _WIN32
std::atomic<int> selfReinstallingCalls{0};
void selfReinstallingHandler(int signalNumber) {
    ++selfReinstallingCalls;
    std::signal(signalNumber, selfReinstallingHandler);
}

// A handler written for the runtime's reset puts itself back, over ours: ours must return in front
// of it, and keep passing the signal on to it.
TEST_F(HostSignalAction, AHostHandlerThatReinstallsItselfStaysBehindOurs) {
    install(selfReinstallingHandler);
    selfReinstallingCalls = 0;
    installInterruptHandler();
    for (int signal = 1; signal <= 3; ++signal) {
        const StopRequest stop;
        std::raise(SIGINT);
        EXPECT_EQ(selfReinstallingCalls.load(), signal);
        EXPECT_TRUE(stop.requested()) << "signal " << signal;
    }
}
#endif

}  // namespace
}  // namespace divebridge
