#pragma once

// Waiting for conditions with a deadline. End-to-end tests never sleep to synchronise: they
// poll a condition every few milliseconds until it holds or the deadline passes.

#include <chrono>
#include <thread>

namespace e2e {

using Millis = std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// Generous defaults: the engine starts several processes, and the machine running the tests
// may be slow and shared.
inline constexpr Millis kStartTimeout{30000};
inline constexpr Millis kActionTimeout{15000};
inline constexpr Millis kPollInterval{10};

// Polls `condition` until it returns true or `timeout` has passed; answers whether it held.
// The condition is evaluated once more at the deadline, so a zero timeout is a plain check.
template <typename Condition>
bool WaitUntil(Condition&& condition, Millis timeout, Millis interval = kPollInterval) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (condition()) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(interval);
    }
}

// The opposite check: answers true when `condition` stayed false for the whole period. Used
// for "nothing happens" expectations (no window opens), which can only be observed for a while.
template <typename Condition>
bool StaysFalse(Condition&& condition, Millis period, Millis interval = kPollInterval) {
    return !WaitUntil(std::forward<Condition>(condition), period, interval);
}

}  // namespace e2e
