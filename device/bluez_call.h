// SPDX-License-Identifier: MIT
// A D-Bus call the downloading thread waits for, however long BlueZ takes to answer: the wait ends
// at its deadline, or within a few milliseconds of a stop request, and the reply is then dropped.
#pragma once

#include "device/interruption.h"
#include "device/wait_end.h"

#include <sdbus-c++/sdbus-c++.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>

namespace divebridge {

struct CallOutcome {
    WaitEnd end;
    std::string error;  // the D-Bus error's name and message, when it failed

    bool replied() const { return end == WaitEnd::Done; }
};

// `Results` are the reply's values; the reply handler runs on the connection's event loop thread
// and keeps them in state that outlives a caller who stopped waiting.
template <typename... Results>
class AwaitedCall {
  public:
    // Starts the call made by `invoker` (an sdbus-c++ AsyncMethodInvoker, interface and arguments
    // given) and waits for its reply; `stop` may be null for a call no stop may cut short.
    template <typename Invoker>
    CallOutcome run(Invoker &&invoker, std::chrono::milliseconds timeout, const StopRequest *stop) {
        sdbus::PendingAsyncCall pending =
            std::forward<Invoker>(invoker)
                .withTimeout(timeout + std::chrono::seconds(1))
                .uponReplyInvoke([state = state](const sdbus::Error *error, Results... results) {
                    const std::lock_guard<std::mutex> lock(state->mutex);
                    if (error != nullptr) {
                        state->error = error->getName() + ": " + error->getMessage();
                    } else {
                        state->results.emplace(std::move(results)...);
                    }
                    state->done = true;
                    state->replied.notify_one();
                });
        const CallOutcome outcome = await(timeout, stop);
        if (!state->done) {
            pending.cancel();
        }
        return outcome;
    }

    // The reply's values after a call that replied.
    const std::tuple<Results...> &results() const { return *state->results; }

  private:
    struct State {
        std::mutex mutex;
        std::condition_variable replied;
        bool done = false;
        std::optional<std::string> error;
        std::optional<std::tuple<Results...>> results;
    };

    CallOutcome await(std::chrono::milliseconds timeout, const StopRequest *stop) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::unique_lock<std::mutex> lock(state->mutex);
        for (;;) {
            if (state->done) {
                return state->error ? CallOutcome{WaitEnd::Failed, *state->error}
                                    : CallOutcome{WaitEnd::Done, {}};
            }
            if (stop != nullptr && stop->requested()) {
                return {WaitEnd::Stopped, {}};
            }
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline) {
                return {WaitEnd::TimedOut, {}};
            }
            state->replied.wait_until(lock, std::min(deadline, now + std::chrono::milliseconds(5)));
        }
    }

    std::shared_ptr<State> state = std::make_shared<State>();
};

}  // namespace divebridge
