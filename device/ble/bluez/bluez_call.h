// SPDX-License-Identifier: MIT
// A D-Bus call the downloading thread waits for, however long BlueZ takes to answer: the wait ends
// at its deadline, or within a few milliseconds of a stop request, and the reply is then dropped.
#pragma once

#include "device/ble/wait_end.h"
#include "device/interruption.h"

#include <sdbus-c++/sdbus-c++.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>

namespace divebridge {

// How long BlueZ gets to answer a call, and a call that cleans up, which no stop cuts short.
inline constexpr std::chrono::milliseconds callTime{5000};
inline constexpr std::chrono::milliseconds cleanupTime{2000};

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
    // given) and waits for its reply; `stop` may be null for a call no stop may cut short. Once
    // `busLost` is set no reply can come: the call fails.
    template <typename Invoker>
    CallOutcome run(Invoker &&invoker, std::chrono::milliseconds timeout, const StopRequest *stop,
                    const std::atomic<bool> &busLost) {
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
        const CallOutcome outcome = await(timeout, stop, busLost);
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

    CallOutcome await(std::chrono::milliseconds timeout, const StopRequest *stop,
                      const std::atomic<bool> &busLost) {
        std::unique_lock<std::mutex> lock(state->mutex);
        const WaitEnd end =
            waitUntil(lock, state->replied, timeout, stop, [&]() -> std::optional<WaitEnd> {
                if (state->done) {
                    return state->error ? WaitEnd::Failed : WaitEnd::Done;
                }
                if (busLost) {
                    state->error = "the connection to the system D-Bus was lost";
                    return WaitEnd::Failed;
                }
                return std::nullopt;
            });
        return {end, end == WaitEnd::Failed ? *state->error : std::string()};
    }

    std::shared_ptr<State> state = std::make_shared<State>();
};

}  // namespace divebridge
