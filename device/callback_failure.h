// SPDX-License-Identifier: MIT
// What the application raised inside one of libdivecomputer's callbacks (a listener, the log, a
// PIN question): it must not unwind through libdivecomputer's C frames, so it is held here until
// libdivecomputer has returned, and the call that made it raises it then. One holder serves every
// callback of a dive computer's context; once it holds a failure, no callback asks the application
// anything more, so the first failure is the one raised.
#pragma once

#include <exception>
#include <utility>

namespace divebridge {

class CallbackFailure {
  public:
    CallbackFailure() = default;
    CallbackFailure(const CallbackFailure &) = delete;
    CallbackFailure &operator=(const CallbackFailure &) = delete;

    bool held() const { return static_cast<bool>(failure); }

    // Runs `call` unless a failure is held already; holds what it raises. Answers whether it ran
    // and raised nothing.
    template <typename Call>
    bool capture(Call &&call) noexcept {
        if (failure) {
            return false;
        }
        try {
            std::forward<Call>(call)();
            return true;
        } catch (...) {
            failure = std::current_exception();
            return false;
        }
    }

    // Raises what is held, once.
    void rethrow() {
        if (failure) {
            std::rethrow_exception(std::exchange(failure, nullptr));
        }
    }

  private:
    std::exception_ptr failure;
};

}  // namespace divebridge
