#include "host/system_log.hpp"

#include <syslog.h>
#include <unistd.h>

#include <system_error>

#include "base/posix_file.hpp"
#include "base/unicode.hpp"

namespace zaro {

namespace {

// The line and its end in one write, so that lines of threads logging at once do not interleave. A
// terminal that cannot show it changes nothing for the program.
void writeLine(int fd, std::string line)
{
    line += '\n';
    try {
        posix::writeAll(fd, line);
    } catch (const std::system_error&) {
    }
}

}  // namespace

std::string formatLogMessage(std::string_view format, std::string_view argument)
{
    std::string message;
    message.reserve(format.size() + argument.size());
    bool argumentUsed = false;
    std::size_t i = 0;
    while (i < format.size()) {
        const std::string_view rest = format.substr(i);
        if (rest.starts_with("%%")) {
            message += '%';
            i += 2;
            continue;
        }
        const std::string_view shown = argumentUsed ? std::string_view() : argument;
        if (rest.starts_with("%{public}s") || rest.starts_with("%s")) {
            message += shown;
            argumentUsed = true;
            i += rest.starts_with("%s") ? 2 : std::string_view("%{public}s").size();
            continue;
        }
        if (rest.starts_with("%{private}s")) {
            if (!argumentUsed) message += "<private>";
            argumentUsed = true;
            i += std::string_view("%{private}s").size();
            continue;
        }
        message += format[i++];
    }
    return message;
}

Logger::Logger(std::string subsystem, std::string category)
    : subsystem_(std::move(subsystem)), category_(std::move(category)), mirrorToTerminal_(::isatty(STDERR_FILENO) == 1)
{
    // The identifier is kept by pointer, so it must live as long as the logger.
    ::openlog(subsystem_.c_str(), LOG_PID, LOG_USER);
}

Logger::~Logger() { ::closelog(); }

void Logger::info(std::string_view format, std::string_view argument) const { write(LOG_INFO, format, argument); }

void Logger::error(std::string_view format, std::string_view argument) const { write(LOG_ERR, format, argument); }

void Logger::write(int priority, std::string_view format, std::string_view argument) const
{
    const std::string message = formatLogMessage(format, argument);
    ::syslog(priority, "[%s] %s", category_.c_str(), message.c_str());
    if (mirrorToTerminal_) {
        // A file name in the message may hold controls and escape sequences, which a terminal would act on.
        std::string shown;
        text::appendPrintable(shown, message);
        writeLine(STDERR_FILENO, std::move(shown));
    }
}

}  // namespace zaro
