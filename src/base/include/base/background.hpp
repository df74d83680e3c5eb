// Work run on a thread of its own, or on the waiting thread when the system has no thread to give.
#pragma once

#include <exception>
#include <functional>
#include <thread>

namespace zaro {

/// Starts `work` on a thread of its own; when no thread can be had (a small address-space limit,
/// say), keeps it for wait() to run on the calling thread instead. Either way the work has run once
/// wait() returns, and what it threw is thrown again there.
class Background {
public:
    explicit Background(std::function<void()> work);
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;
    Background(Background&&) = delete;
    Background& operator=(Background&&) = delete;
    /// Joins the thread. Work no thread took is not run, and a failure nobody waited for is dropped:
    /// this is the way out when the waiting thread is failing itself.
    ~Background();

    /// Waits for the work, running it here when no thread took it; rethrows what it threw.
    void wait();

private:
    void run() noexcept;

    std::function<void()> work_;
    std::exception_ptr failure_;
    std::jthread thread_;
    bool done_ = false;
};

}  // namespace zaro
