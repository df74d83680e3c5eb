#include "cli/session_reading.hpp"

#include <unistd.h>

#include <exception>

#include "base/posix_file.hpp"
#include "formats/session_reading.hpp"
#include "parser/zaro_session_parser.hpp"

namespace zaro::cli {

namespace {

template <typename Read>
SessionOrFailure sessionOrFailure(Read read)
{
    try {
        return read();
    } catch (const ParseError& error) {
        return FileFailure::from(error);
    } catch (const std::exception& error) {
        // std::system_error from the file system, or anything else that kept the file from being read.
        return FileFailure{FileFailure::Kind::io, error.what(), {}};
    }
}

}  // namespace

std::string_view FileFailure::rawValue(Kind kind)
{
    switch (kind) {
    case Kind::empty: return "empty";
    case Kind::tooLarge: return "tooLarge";
    case Kind::missingColumns: return "missingColumns";
    case Kind::missingTelemetry: return "missingTelemetry";
    case Kind::unsupportedFormat: return "unsupportedFormat";
    case Kind::io: return "io";
    }
    return "io";
}

FileFailure FileFailure::from(const ParseError& error)
{
    const auto kind = [&] {
        switch (error.kind()) {
        case ParseError::Kind::empty: return Kind::empty;
        case ParseError::Kind::tooLarge: return Kind::tooLarge;
        case ParseError::Kind::missingColumns: return Kind::missingColumns;
        case ParseError::Kind::missingTelemetry: return Kind::missingTelemetry;
        case ParseError::Kind::unsupportedFormat: return Kind::unsupportedFormat;
        }
        return Kind::unsupportedFormat;
    }();
    return FileFailure{kind, error.errorDescription(), error.columns()};
}

SessionOrFailure readSession(const std::filesystem::path& path, unsigned threads)
{
    return sessionOrFailure([&] { return formats::readSessionFile(path, threads); });
}

SessionOrFailure readStandardInput()
{
    return sessionOrFailure([] {
        const auto limit = static_cast<std::size_t>(ZaroSessionParser::maxPreviewBytes);
        const auto bytes = posix::readAll(STDIN_FILENO, limit);
        if (!bytes) throw ParseError::tooLarge();
        return formats::readSession(*bytes, std::string(standardInputName));
    });
}

}  // namespace zaro::cli
