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
    void install(void (*handler)(int)) {
        struct sigaction action {};
        action.sa_handler = handler;
        sigemptyset(&action.sa_mask);
        ASSERT_EQ(sigaction(SIGINT, &action, nullptr), 0);
    }
    void TearDown() override {
        signal(SIGINT, SIG_DFL);
        cancelRequested.store(false);
    }
};

TEST_F(HostSignalAction, TheHostsHandlerStillReceivesTheSignal) {
    install(hostHandler);
    hostHandlerCalls = 0;
    installInterruptHandler();
    installInterruptHandler();  // a second download must not chain the handler to itself
    raise(SIGINT);
    EXPECT_EQ(hostHandlerCalls.load(), 1);
    EXPECT_TRUE(cancelRequested.load());
}

TEST_F(HostSignalAction, AnIgnoredSignalStaysIgnored) {
    install(SIG_IGN);
    installInterruptHandler();
    raise(SIGINT);
    EXPECT_TRUE(cancelRequested.load());
}

TEST_F(HostSignalAction, WithoutAHostHandlerTheSignalStillEndsTheProgram) {
    install(SIG_DFL);
    EXPECT_EXIT(
        {
            installInterruptHandler();
            raise(SIGINT);
        },
        ::testing::KilledBySignal(SIGINT), "");
}

}  // namespace
}  // namespace divebridge
