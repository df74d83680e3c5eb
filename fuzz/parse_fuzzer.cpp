// Fuzz target: any bytes either parse into a session that keeps the record's promises or fail
// with the parser's own error, and the body cut into pieces parses into the same session; the same
// holds for the readers of other loggers' files behind the parse, and a file any of them reads is a
// session file by the test of its start; anything else aborts.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "body.hpp"
#include "formats/session_reading.hpp"
#include "parser/zaro_session_parser.hpp"
#include "support/same_session.hpp"

namespace {

[[noreturn]] void fail(const char* broken)
{
    std::fprintf(stderr, "parse_fuzzer: %s\n", broken);
    std::abort();
}

void checkSession(const zaro::ZaroSession& session)
{
    if (session.fileName != "fuzz.csv") {
        fail("the record does not carry the given file name");
    }
    if (session.pointCount < 1) {
        fail("a parsed session has no GPS rows");
    }
    if (session.polyline.empty() || session.polyline.size() > 200) {
        fail("the track outline does not hold 1 to 200 points");
    }
    if (static_cast<std::int64_t>(session.polyline.size()) > session.pointCount) {
        fail("the track outline has more points than there are GPS rows");
    }
    for (const zaro::ZaroSessionPoint& point : session.polyline) {
        // Written so that NaN fails as well.
        if (!(std::abs(point.lat) <= 90.0) || !(std::abs(point.lon) <= 180.0)) {
            fail("a track point lies outside latitude ±90 or longitude ±180");
        }
    }
    if (!(session.distanceM >= 0.0) || !std::isfinite(session.distanceM)) {
        fail("the distance is negative or not finite");
    }
}

// The error the test of a file's start gives, and the one the whole parse gives, if any.
std::optional<zaro::ParseError> failureOf(const auto& action)
{
    try {
        action();
    } catch (const zaro::ParseError& error) {
        return error;
    }
    return std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        const auto format = failureOf([&] { zaro::ZaroSessionParser::checkFormat(bytes, true); });
        std::optional<zaro::ZaroSession> whole;
        const auto parse = failureOf([&] {
            whole = zaro::ZaroSessionParser::parse(bytes, "fuzz.csv", 1);
            checkSession(*whole);
        });
        if (whole) {
            // Cuts in thirds, and two a byte apart where the input's last bytes say.
            const auto at = static_cast<std::int64_t>(size < 2 ? 0 : (data[size - 1] << 8 | data[size - 2]) % size);
            const auto third = static_cast<std::int64_t>(size / 3);
            for (const std::vector<std::int64_t>& cuts : {std::vector{third, 2 * third}, std::vector{at, at + 1}}) {
                const std::string difference =
                    zaro::support::differenceOfCutParse(zaro::ZaroSessionParser::detail::parseCutAt(bytes, "fuzz.csv", cuts), *whole);
                if (!difference.empty()) {
                    std::fprintf(stderr, "%s\n", difference.c_str());
                    fail("the body read in pieces gives another session");
                }
            }
        }
        // One rule decides whether a file is a session file: the whole parse fails for its format or columns
        // exactly when the test of its start does, with the same error.
        const bool parseRefusedFormat = parse && parse->kind() != zaro::ParseError::Kind::missingTelemetry;
        if (parseRefusedFormat != format.has_value() || (format && !(*format == *parse))) {
            fail("the test of a file's start and the parse disagree");
        }

        std::optional<zaro::ZaroSession> read;
        const auto readFailure = failureOf([&] {
            read = zaro::formats::readSession(bytes, "fuzz.csv", 1);
            checkSession(*read);
        });
        if (whole && (!read || zaro::support::exactText(*read) != zaro::support::exactText(*whole))) {
            fail("a file the parse reads is read otherwise");
        }
        const bool sessionFile = zaro::formats::isSessionHead(bytes, true);
        if (read && !sessionFile) fail("a file that is read is not a session file by the test of its start");
        if (!sessionFile && readFailure && parse && !(*readFailure == *parse)) {
            fail("a file that is no session file fails otherwise than the parse");
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "parse_fuzzer: unexpected exception: %s\n", error.what());
        std::abort();
    } catch (...) {
        fail("unexpected exception of unknown type");
    }
    return 0;
}
