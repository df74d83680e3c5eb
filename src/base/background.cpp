#include "base/background.hpp"

#include <system_error>
#include <utility>

namespace zaro {

Background::Background(std::function<void()> work) : work_(std::move(work))
{
    try {
        thread_ = std::jthread([this] { run(); });
    } catch (const std::system_error&) {
        // No thread to be had: wait() runs the work.
    }
}

Background::~Background()
{
    if (thread_.joinable()) thread_.join();
}

void Background::run() noexcept
{
    try {
        work_();
    } catch (...) {
        failure_ = std::current_exception();
    }
}

void Background::wait()
{
    if (!done_) {
        if (thread_.joinable()) thread_.join();
        else run();
        done_ = true;
    }
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

}  // namespace zaro
