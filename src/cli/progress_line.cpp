#include "cli/progress_line.hpp"

#include <string>

#include "format/zaro_session_format.hpp"

namespace zaro::cli {

namespace {

constexpr std::chrono::milliseconds quietStart{500};
constexpr std::chrono::milliseconds redrawEvery{100};
constexpr std::string_view eraseToEnd = "\x1b[K";

}  // namespace

ProgressLine::ProgressLine(std::ostream& err, bool shown) : err_(err), shown_(shown) {}

void ProgressLine::update(std::size_t filesDone, std::size_t files, std::uint64_t bytesDone)
{
    const auto now = std::chrono::steady_clock::now();
    const auto elapsed = now - start_;
    if (!shown_ || elapsed < quietStart || (drawn_ && now - drawnAt_ < redrawEvery)) return;
    drawnAt_ = now;
    const double seconds = std::chrono::duration<double>(elapsed).count();
    const std::string rate = ZaroSessionFormat::decimal(static_cast<double>(bytesDone) / 1e6 / seconds, 1);
    err_ << '\r' << filesDone << " of " << files << " files, " << rate << " MB/s" << eraseToEnd << std::flush;
    drawn_ = true;
}

void ProgressLine::erase()
{
    if (drawn_) err_ << '\r' << eraseToEnd << std::flush;
    drawn_ = false;
}

}  // namespace zaro::cli
