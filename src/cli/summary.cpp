#include "summary.hpp"

#include <exception>
#include <utility>

#include "base/unicode.hpp"
#include "format/card_texts.hpp"
#include "format/zaro_session_format.hpp"
#include "json.hpp"
#include "parser/zaro_session_parser.hpp"

namespace zaro::cli {

namespace {

constexpr std::size_t labelWidth = 11;    // "Max speed" and two spaces
constexpr std::size_t lapNameWidth = 10;  // "Lap 12345" and a space
constexpr std::size_t lapTimeWidth = 11;  // "62:05.500" and two spaces

// Code points stand in for terminal columns: the padded texts are lap names, lap times and labels.
std::size_t columnCount(std::string_view text)
{
    std::size_t count = 0;
    for (char c : text) {
        if ((static_cast<unsigned char>(c) & 0xc0) != 0x80) ++count;
    }
    return count;
}

void appendPadded(std::string& line, std::string_view text, std::size_t width)
{
    const auto start = line.size();
    text::appendPrintable(line, text);
    const auto used = columnCount(std::string_view(line).substr(start));
    line.append(used < width ? width - used : 1, ' ');
}

void emitLine(std::ostream& out, std::string& line)
{
    line += '\n';
    out << line;
    line.clear();
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

std::variant<ZaroSession, FileFailure> readSession(const std::filesystem::path& path)
{
    try {
        return ZaroSessionParser::parseFile(path);
    } catch (const ParseError& error) {
        return FileFailure::from(error);
    } catch (const std::exception& error) {
        // std::system_error from the file system, or anything else that kept the file from being read.
        return FileFailure{FileFailure::Kind::io, error.what(), {}};
    }
}

void writeSummary(std::ostream& out, const ZaroSession& session)
{
    std::string line;
    text::appendPrintable(line, session.trackName);
    emitLine(out, line);
    text::appendPrintable(line, ZaroSessionFormat::subtitle(session));
    emitLine(out, line);

    const auto stats = ZaroSessionFormat::statTexts(session);
    const auto started = ZaroSessionFormat::dateTime(session.startedAt);
    const std::pair<std::string_view, std::string_view> facts[] = {
        {"Started", started},
        {"Best lap", stats.bestLap},
        {"Laps", stats.laps},
        {"Duration", stats.duration},
        {"Distance", stats.distance},
        {"Max speed", stats.maxSpeed},
        {"Samples", stats.samples},
    };
    for (const auto& [label, value] : facts) {
        appendPadded(line, label, labelWidth);
        text::appendPrintable(line, value);
        emitLine(out, line);
    }
    emitLine(out, line);

    bool anyListed = false;
    for (const auto& lap : session.laps) {
        if (lap.kind != ZaroSessionLap::Kind::lap) continue;
        anyListed = true;
        line += "  ";
        appendPadded(line, ZaroSessionFormat::lapName(lap), lapNameWidth);
        const auto time = ZaroSessionFormat::lapTime(lap.timeSec);
        const auto sectors = ZaroSessionFormat::sectorText(lap);
        if (sectors.empty()) {
            text::appendPrintable(line, time);
        } else {
            appendPadded(line, time, lapTimeWidth);
            text::appendPrintable(line, sectors);
        }
        emitLine(out, line);
    }
    if (!anyListed) {
        line += "  No completed laps";
        emitLine(out, line);
    }
}

int summarizeFiles(std::span<const std::string> files, OutputMode mode, std::ostream& out, std::ostream& err)
{
    int status = 0;
    bool printedSummary = false;
    for (const auto& file : files) {
        const auto result = readSession(file);
        const auto* session = std::get_if<ZaroSession>(&result);
        if (!session) status = 1;
        if (mode == OutputMode::json) {
            {
                json::Writer writer(out);
                if (session) {
                    json::writeSession(writer, *session);
                } else {
                    json::writeFailure(writer, std::get<FileFailure>(result));
                }
            }
            out << '\n';
        } else if (session) {
            if (printedSummary) out << '\n';
            writeSummary(out, *session);
            printedSummary = true;
        } else {
            std::string line;
            text::appendPrintable(line, file);
            line += ": ";
            text::appendPrintable(line, std::get<FileFailure>(result).message);
            out.flush();  // keeps the two streams in file order on a terminal
            emitLine(err, line);
        }
    }
    out.flush();
    if (!out) {
        err << "zaro-session: cannot write the output\n";
        return 1;
    }
    return status;
}

}  // namespace zaro::cli
