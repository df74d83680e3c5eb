#include "cli/folder_reading.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <thread>
#include <variant>

#include "cli/session_reading.hpp"
#include "cli/text_output.hpp"
#include "parser/zaro_session_parser.hpp"

namespace zaro::cli {

namespace {

using Outcome = std::variant<SessionRow, FileFailure>;

// A session can take several times its file's size in memory, so files being read at once may
// hold at most this many bytes between them (a larger file is read alone).
constexpr auto bytesInFlight = static_cast<std::uint64_t>(ZaroSessionParser::maxPreviewBytes);

std::uint64_t fileSize(const std::string& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : std::min<std::uint64_t>(size, bytesInFlight);
}

Outcome readRow(const std::string& path, unsigned parseThreads)
{
    try {
        auto result = readSession(path, parseThreads);
        if (auto* failure = std::get_if<FileFailure>(&result)) return std::move(*failure);
        return rowOf(std::get<ZaroSession>(result), path);
    } catch (const std::exception& error) {
        return FileFailure{FileFailure::Kind::io, error.what(), {}};
    }
}

// What the workers share: the next file to take, the bytes being read, and how far they are.
class Workload {
public:
    // Files read side by side are each parsed on one thread: the workers keep the processors busy.
    Workload(const std::vector<std::string>& paths, unsigned workers)
        : paths_(paths), outcomes_(paths.size()), parseThreads_(workers > 1 ? 1 : 0)
    {
    }

    void work()
    {
        for (std::size_t i; (i = next_++) < paths_.size();) {
            const std::uint64_t size = fileSize(paths_[i]);
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return reading_ == 0 || reading_ + size <= bytesInFlight; });
                reading_ += size;
            }
            outcomes_[i] = readRow(paths_[i], parseThreads_);
            {
                std::lock_guard lock(mutex_);
                reading_ -= size;
                ++done_;
                bytesDone_ += size;
            }
            changed_.notify_all();
        }
    }

    // Keeps the progress line until every file is read.
    void follow(ProgressLine& progress)
    {
        std::unique_lock lock(mutex_);
        while (done_ < paths_.size()) {
            changed_.wait_for(lock, std::chrono::milliseconds(100));
            const std::size_t done = done_;
            const std::uint64_t bytes = bytesDone_;
            lock.unlock();
            progress.update(done, paths_.size(), bytes);
            lock.lock();
        }
    }

    std::vector<Outcome>& outcomes() { return outcomes_; }

private:
    const std::vector<std::string>& paths_;
    std::vector<Outcome> outcomes_;
    unsigned parseThreads_;
    std::atomic<std::size_t> next_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t reading_ = 0;
    std::size_t done_ = 0;
    std::uint64_t bytesDone_ = 0;
};

}  // namespace

unsigned defaultWorkers()
{
    return std::max(1U, std::thread::hardware_concurrency());
}

FolderReading readSessionFiles(std::span<const std::string> operands, unsigned workers, ProgressLine& progress)
{
    FoundFiles found = findSessionFiles(operands);
    const auto count = std::min<std::size_t>(std::max(workers, 1U), found.paths.size());
    Workload workload(found.paths, static_cast<unsigned>(count));
    {
        std::vector<std::jthread> threads;
        for (std::size_t i = 0; i < count; ++i) threads.emplace_back([&workload] { workload.work(); });
        workload.follow(progress);
    }
    progress.erase();

    FolderReading reading;
    reading.pathCount = found.paths.size() + found.unread.size();
    reading.unread = std::move(found.unread);
    for (std::size_t i = 0; i < found.paths.size(); ++i) {
        auto& outcome = workload.outcomes()[i];
        if (auto* row = std::get_if<SessionRow>(&outcome)) {
            reading.rows.push_back(std::move(*row));
        } else {
            reading.unread.push_back({found.paths[i], std::get<FileFailure>(outcome).message});
        }
    }
    std::stable_sort(reading.unread.begin(), reading.unread.end(),
                     [](const UnreadPath& a, const UnreadPath& b) { return a.path < b.path; });
    return reading;
}

int reportUnread(const FolderReading& reading, std::ostream& err)
{
    if (reading.unread.empty()) return 0;
    for (const UnreadPath& unread : reading.unread) writeFailureLine(err, unread.path, unread.reason);
    err << "zaro-session: " << reading.unread.size() << " of " << reading.pathCount << " files could not be read\n";
    return 1;
}

}  // namespace zaro::cli
