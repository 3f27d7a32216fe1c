// SPDX-License-Identifier: MIT
#include "device/interruption.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdlib>

#ifndef _WIN32
#include <signal.h>
#endif

namespace divebridge {
namespace {

// The handler is installed once per process, so each case runs in a process of its own: the
// threadsafe style starts the test binary again for the statement.
class InterruptHandler : public ::testing::Test {
  protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

std::atomic<int> hostHandlerCalls{0};
void hostHandler(int) {
    ++hostHandlerCalls;
}

// Exits with 0 when `holds`, so that the parent sees the child's verdict.
void exitWith(bool holds) {
    std::_Exit(holds ? 0 : 1);
}

TEST_F(InterruptHandler, TheHostsHandlerStillReceivesEverySignal) {
    EXPECT_EXIT(
        {
            std::signal(SIGINT, hostHandler);
            installInterruptHandler();
            installInterruptHandler();  // a second download must not chain the handler to itself
            const StopRequest first;
            std::raise(SIGINT);
            const bool once = hostHandlerCalls == 1 && first.requested();
            // Still in place for the next signal (the Windows runtime resets a handler that runs).
            const StopRequest second;
            std::raise(SIGINT);
            exitWith(once && hostHandlerCalls == 2 && second.requested());
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(InterruptHandler, AnIgnoredSignalStaysIgnored) {
    EXPECT_EXIT(
        {
            std::signal(SIGINT, SIG_IGN);
            installInterruptHandler();
            const StopRequest stop;
            std::raise(SIGINT);
            exitWith(stop.requested());
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(InterruptHandler, WithoutAHostHandlerTheSignalStillEndsTheProgram) {
#ifdef _WIN32
    // The C runtime's default action for a raised SIGINT: exit code 3.
    const auto endedByTheSignal = ::testing::ExitedWithCode(3);
#else
    const auto endedByTheSignal = ::testing::KilledBySignal(SIGINT);
#endif
    EXPECT_EXIT(
        {
            std::signal(SIGINT, SIG_DFL);
            installInterruptHandler();
            std::raise(SIGINT);
            exitWith(false);
        },
        endedByTheSignal, "");
}

#ifndef _WIN32
struct sigaction chainedAction {};
std::atomic<int> chainerCalls{0};
void chainer(int signalNumber, siginfo_t *info, void *context) {
    ++chainerCalls;
    chainedAction.sa_sigaction(signalNumber, info, context);
}

// Another library that chains as ours does, installed after ours: a later download must not take
// it for the host's action, or each would pass the signal to the other for ever.
TEST_F(InterruptHandler, ALibraryThatChainsTheSameWayIsCalledOnce) {
    EXPECT_EXIT(
        {
            std::signal(SIGINT, hostHandler);
            installInterruptHandler();
            struct sigaction other {};
            other.sa_sigaction = chainer;
            other.sa_flags = SA_SIGINFO;
            sigemptyset(&other.sa_mask);
            sigaction(SIGINT, &other, &chainedAction);
            installInterruptHandler();
            const StopRequest stop;
            std::raise(SIGINT);
            exitWith(chainerCalls == 1 && hostHandlerCalls == 1 && stop.requested());
        },
        ::testing::ExitedWithCode(0), "");
}

// SA_SIGINFO says nothing of SIG_IGN and SIG_DFL: they are still no functions to call.
TEST_F(InterruptHandler, AnIgnoreActionWithSiginfoIsNotCalled) {
    EXPECT_EXIT(
        {
            struct sigaction ignore {};
            ignore.sa_handler = SIG_IGN;
            ignore.sa_flags = SA_SIGINFO;
            sigemptyset(&ignore.sa_mask);
            sigaction(SIGINT, &ignore, nullptr);
            installInterruptHandler();
            const StopRequest stop;
            std::raise(SIGINT);
            exitWith(stop.requested());
        },
        ::testing::ExitedWithCode(0), "");
}
#endif

#ifdef _WIN32
std::atomic<int> selfReinstallingCalls{0};
void selfReinstallingHandler(int signalNumber) {
    ++selfReinstallingCalls;
    std::signal(signalNumber, selfReinstallingHandler);
}

// A handler written for the runtime's reset puts itself back, over ours: ours must return in front
// of it, and keep passing the signal on to it.
TEST_F(InterruptHandler, AHostHandlerThatReinstallsItselfStaysBehindOurs) {
    EXPECT_EXIT(
        {
            std::signal(SIGINT, selfReinstallingHandler);
            installInterruptHandler();
            bool each = true;
            for (int signal = 1; signal <= 3; ++signal) {
                const StopRequest stop;
                std::raise(SIGINT);
                each = each && selfReinstallingCalls == signal && stop.requested();
            }
            exitWith(each);
        },
        ::testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
}  // namespace divebridge
