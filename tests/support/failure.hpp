// The message of what an action throws, for checking refusals word for word.
#pragma once

#include <exception>
#include <string>

namespace zaro::support {

/// What `action` throws, or `none` when it returns.
template <typename Action>
std::string failureOf(Action&& action, const std::string& none = "(no failure)")
{
    try {
        action();
    } catch (const std::exception& error) {
        return error.what();
    }
    return none;
}

}  // namespace zaro::support
