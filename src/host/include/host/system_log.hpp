// Log lines into the system journal through syslog(3), mirrored to a terminal on standard error.
#pragma once

#include <string>
#include <string_view>

namespace zaro {

/// The reverse-DNS identifier our extensions log under.
inline constexpr std::string_view logSubsystem = "io.zaro.session.preview";

/// `format` with its first `%{public}s` (or `%s`) replaced by `argument`, `%{private}s` by
/// "<private>" and `%%` by `%`; the one argument is used once.
std::string formatLogMessage(std::string_view format, std::string_view argument);

/// Writes to syslog(3) under the subsystem as identifier, each line tagged with the category.
//
// openlog(3) state is process-wide, so a program makes one logger and keeps it until it ends.
class Logger {
public:
    Logger(std::string subsystem, std::string category);
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;
    ~Logger();

    /// Logs `format` filled with `argument` at info level.
    void info(std::string_view format, std::string_view argument) const;
    /// Logs `format` filled with `argument` at error level.
    void error(std::string_view format, std::string_view argument) const;

    const std::string& subsystem() const { return subsystem_; }
    const std::string& category() const { return category_; }

private:
    void write(int priority, std::string_view format, std::string_view argument) const;

    std::string subsystem_;
    std::string category_;
    bool mirrorToTerminal_;
};

}  // namespace zaro
