// The progress of a long run on standard error: files done of all, and the rate, on one line.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ostream>

namespace zaro::cli {

class ProgressLine {
public:
    /// Shows nothing unless `shown` (standard error is a terminal).
    ProgressLine(std::ostream& err, bool shown);

    /// Redraws the line once the run has taken half a second, at most ten times a second.
    void update(std::size_t filesDone, std::size_t files, std::uint64_t bytesDone);
    /// Erases the line, if it was drawn.
    void erase();

private:
    std::ostream& err_;
    bool shown_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point drawnAt_;
};

}  // namespace zaro::cli
