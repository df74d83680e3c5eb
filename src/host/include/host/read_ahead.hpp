// Reading the request's file in a child process while the program gets ready to draw: the child
// confines itself to reading that file before it reads a byte of it, and hands back what it made.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/posix_file.hpp"

namespace zaro {

class ReadAhead {
public:
    /// What the child does with the file: its result, as bytes. What it throws is not handed back.
    using Work = std::function<std::string(const std::filesystem::path& input)>;

    /// Starts `work` on `input` in a child process; null when no child can be had (no descriptor or
    /// process left, say), and the work is then this process's own. Call it while the process has no
    /// other thread, and before it opens what the child should not hold (its output): the child has
    /// the descriptors this process has, as the input's name may lead to one. It ends with this process.
    static std::unique_ptr<ReadAhead> start(const std::filesystem::path& input, const Work& work);

    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;
    /// A child still at work is left to find no one reading, and ends; one whose work was taken is reaped.
    ~ReadAhead();

    /// What `work` returned, once the child has handed it all over; no value when the child could not
    /// confine itself, or `work` threw, and did nothing. Throws ServiceError when the child ended
    /// before handing it over (killed, say). Once only.
    std::optional<std::string> take();

private:
    ReadAhead(pid_t child, posix::FileDescriptor results) : child_(child), results_(std::move(results)) {}

    pid_t child_;
    posix::FileDescriptor results_;
    bool taken_ = false;  // take() was called: the child has ended or is ending
};

}  // namespace zaro
