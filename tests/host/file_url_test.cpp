#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "host/file_url.hpp"

namespace zaro {
namespace {

struct UrlCase {
    std::string argument;
    std::optional<std::string> path;
};

TEST(FileLocation, DecodesFileUrisAndTakesOtherArgumentsAsWritten)
{
    const UrlCase cases[] = {
        {"/home/ana/Sunday practice.csv", "/home/ana/Sunday practice.csv"},
        {"file:///home/ana/Sunday%20practice.csv", "/home/ana/Sunday practice.csv"},
        {"FILE:///tmp/x.csv", "/tmp/x.csv"},
        {"file://localhost/tmp/x.csv", "/tmp/x.csv"},
        {"file:/tmp/x.csv", "/tmp/x.csv"},
        {"file:///tmp/%E2%80%94%2523.csv", "/tmp/\u2014%23.csv"},
        {"file:///tmp/a%3Fb%23c.csv?query#fragment", "/tmp/a?b#c.csv"},
        {"file://otherhost/tmp/x.csv", std::nullopt},
        {"file://localhost", std::nullopt},
        {"file:relative.csv", std::nullopt},
        {"file:///tmp/bad%2", std::nullopt},
        {"file:///tmp/nul%00.csv", std::nullopt},
    };
    for (const UrlCase& c : cases) {
        const std::optional<std::filesystem::path> location = fileLocation(c.argument);
        const std::optional<std::string> path = location ? std::optional(location->string()) : std::nullopt;
        EXPECT_EQ(path, c.path) << c.argument;
    }
}

}  // namespace
}  // namespace zaro
