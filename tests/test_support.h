#pragma once

// Helpers shared by the test programs.
#include <chrono>
#include <thread>

namespace testsupport {

// Every wait of a test is bounded here, never by the code under test, so a fault fails the
// test instead of hanging it.
template <typename Pred> bool WaitFor(Pred pred, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace testsupport
