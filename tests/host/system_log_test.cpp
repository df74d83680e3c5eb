#include <gtest/gtest.h>

#include <string>

#include "host/system_log.hpp"

namespace zaro {
namespace {

struct FormatCase {
    std::string format;
    std::string argument;
    std::string message;
};

TEST(FormatLogMessage, WritesTheArgumentInPlaceOfItsDirective)
{
    const FormatCase cases[] = {
        {"preview %{public}s", "Sunday practice.csv", "preview Sunday practice.csv"},
        {"preview failed: %{public}s", "The ZARO Session file is empty.",
         "preview failed: The ZARO Session file is empty."},
        {"%{public}s", "100% sure %s", "100% sure %s"},
        {"hidden %{private}s", "secret.csv", "hidden <private>"},
        {"%% done %{public}s %{public}s", "a", "% done a "},
        {"trailing %", "x", "trailing %"},
    };
    for (const FormatCase& c : cases) EXPECT_EQ(formatLogMessage(c.format, c.argument), c.message) << c.format;
}

}  // namespace
}  // namespace zaro
