#include "parser/zaro_session_parser.hpp"

#include <algorithm>
#include <span>
#include <vector>

#include "base/posix_file.hpp"
#include "base/unicode.hpp"
#include "body.hpp"
#include "header.hpp"
#include "laps.hpp"
#include "lines.hpp"
#include "rows.hpp"

namespace zaro::ZaroSessionParser {

using namespace detail;

namespace {

// What the walk up to the header row learns: the preamble is read on the way, keeping only the
// metadata something reads and the number of lap rows, so no preamble line is stored.
struct HeaderSearch {
    bool hasContent = false;
    bool found = false;
    std::int64_t headerBegin = 0;  // offset of the header row's first byte
    std::int64_t bodyOffset = 0;
    std::int64_t preambleLines = 0;
    std::int64_t lapRows = 0;
    Metadata metadata;
    ColumnMap columns;
};

template <typename Lines>
HeaderSearch searchHeader(Lines& lines, LineDecoder& decoder)
{
    HeaderSearch search;
    RawLine raw;
    std::int64_t lineBegin = 0;
    while (lines.next(raw)) {
        const std::int64_t begin = lineBegin;
        lineBegin = raw.next;
        const std::string_view line = text::trimWhitespace(decoder.decode(raw));
        if (line.empty()) continue;
        search.hasContent = true;
        if (isHeaderRow(line)) {
            search.found = true;
            search.headerBegin = begin;
            search.bodyOffset = raw.next;
            search.columns = mapColumns(line);
            return search;
        }
        ++search.preambleLines;
        if (readLapRow(line, false)) {
            ++search.lapRows;
        } else {
            readMetadataLine(line, search.metadata);
        }
    }
    return search;
}

// The laps the preamble lists. They are collected in a second walk over the preamble, once their
// number is known, so that even millions of them are stored once at their final size.
template <typename Lines>
std::vector<ZaroSessionLap> preambleLaps(const Lines& lines, const HeaderSearch& search, LineDecoder& decoder)
{
    std::vector<ZaroSessionLap> laps;
    if (search.lapRows == 0) return laps;
    laps.reserve(static_cast<std::size_t>(search.lapRows));
    Lines preamble = lines.range(0, search.headerBegin);
    RawLine raw;
    while (preamble.next(raw)) {
        const std::string_view line = text::trimWhitespace(decoder.decode(raw));
        if (line.empty()) continue;
        if (auto lap = parseLapRow(line)) laps.push_back(std::move(*lap));
    }
    return laps;
}

// Throws what the header search found wrong: no content, no header row, an unknown format or
// missing columns, in that order. Returns whether the file is a plain track (no preamble).
bool checkFormat(const HeaderSearch& search)
{
    if (!search.hasContent) throw ParseError::empty();
    if (!search.found) throw ParseError::unsupportedFormat();
    const ColumnMap& columns = search.columns;
    const bool plainTrack = search.preambleLines == 0 && columns.has(Column::latitude)
        && columns.has(Column::longitude) && columns.has(Column::time);
    if (!isRecognisedFormat(search.metadata) && !plainTrack) throw ParseError::unsupportedFormat();
    std::vector<std::string> missing;
    for (const Column required : {Column::time, Column::latitude, Column::longitude}) {
        if (!columns.has(required)) missing.emplace_back(columnKeys[static_cast<std::size_t>(required)]);
    }
    if (!missing.empty()) throw ParseError::missingColumns(std::move(missing));
    return plainTrack;
}

// How the body is cut into pieces: at `at`, offsets that may lie outside it, or else as pieceCuts
// cuts it for up to `threads` threads (0 for one per processor).
struct Cuts {
    unsigned threads = 0;
    Statistics statistics = Statistics::all;
    std::span<const std::int64_t> at;

    std::vector<std::int64_t> within(std::int64_t bodyOffset, std::int64_t end) const
    {
        if (at.empty()) return pieceCuts(bodyOffset, end, threads);
        std::vector<std::int64_t> cuts;
        for (const std::int64_t cut : at) {
            if (cut > bodyOffset && cut < end && (cuts.empty() || cut > cuts.back())) cuts.push_back(cut);
        }
        return cuts;
    }
};

template <typename Lines>
ZaroSession parseLines(Lines& lines, std::int64_t totalBytes, std::string fileName, const Cuts& cuts)
{
    LineDecoder decoder;
    const HeaderSearch search = searchHeader(lines, decoder);
    lines.releaseMemory();
    // Format and columns depend on the preamble and the header alone, so they are settled before
    // the body is read.
    const bool plainTrack = checkFormat(search);
    const ColumnMap& columns = search.columns;
    const Metadata& metadata = search.metadata;

    std::vector<ZaroSessionLap> listedLaps = preambleLaps(lines, search, decoder);
    const Body body{columns, listedLaps.empty() && columns.has(Column::lap), search.bodyOffset, totalBytes,
                    cuts.statistics};
    RowPass rows = readBody(lines, body, cuts.within(body.offset, body.end), cuts.threads);
    if (rows.acceptedRows() == 0) throw ParseError::missingTelemetry();

    ZaroSession session;
    session.fileName = std::move(fileName);
    session.trackName = metadata.track.value_or(metadata.trackName.value_or("Unknown track"));
    if (metadata.configuration && !metadata.configuration->empty()) session.configuration = metadata.configuration;
    const auto& sessionType = metadata.sessionType ? metadata.sessionType : metadata.sessionTypeAlt;
    if (sessionType && !sessionType->empty()) session.sessionType = sessionType;
    session.dataSource = metadata.dataSource.value_or(plainTrack ? "ZARO track session" : "ZARO Session");
    rows.finish(session);
    if (metadata.dateUtc) session.startedAt = *metadata.dateUtc;
    if (session.endedAt.empty()) session.endedAt = metadata.dateUtc.value_or("");

    LapSummary laps = summariseLaps(std::move(listedLaps), rows.inferredLaps(), metadata);
    session.laps = std::move(laps.laps);
    session.lapCount = laps.lapCount;
    session.bestLapSec = laps.bestLapSec;
    return session;
}

}  // namespace

ZaroSession parse(std::string_view data, std::string fileName, unsigned threads, Statistics statistics)
{
    const auto size = static_cast<std::int64_t>(data.size());
    SpanLines lines(data, 0, size);
    return parseLines(lines, size, std::move(fileName), Cuts{threads, statistics, {}});
}

ZaroSession parseFile(const std::filesystem::path& path, unsigned threads, Statistics statistics)
{
    const posix::RegularFile file = posix::openRegularFile(path);
    if (file.size > maxPreviewBytes) throw ParseError::tooLarge();
    FileLines lines(file.descriptor.get(), 0, file.size);
    return parseLines(lines, file.size, path.filename().string(), Cuts{threads, statistics, {}});
}

ZaroSession detail::parseCutAt(std::string_view data, std::string fileName, std::span<const std::int64_t> cuts)
{
    const auto size = static_cast<std::int64_t>(data.size());
    SpanLines lines(data, 0, size);
    return parseLines(lines, size, std::move(fileName), Cuts{1, Statistics::all, cuts});
}

void checkFormat(std::string_view head, bool complete)
{
    // An unfinished last line could be the start of a header row that names its columns later.
    const std::size_t lastFeed = head.rfind('\n');
    const std::size_t end = complete ? head.size() : lastFeed == std::string_view::npos ? 0 : lastFeed + 1;
    SpanLines lines(head, 0, static_cast<std::int64_t>(end));
    LineDecoder decoder;
    const HeaderSearch search = searchHeader(lines, decoder);
    // A preamble longer than the head, of thousands of laps say: its Format line is what there is to go
    // by, as the header row lies further on.
    if (!complete && !search.found && search.hasContent && isRecognisedFormat(search.metadata)) return;
    checkFormat(search);
}

bool isSessionFile(const std::filesystem::path& path)
{
    const posix::RegularFile file = posix::openRegularFile(path);
    const std::string head = posix::readPrefix(file.descriptor.get(), sessionHeadBytes);
    const bool complete = head.size() < sessionHeadBytes || file.size <= static_cast<std::int64_t>(head.size());
    try {
        checkFormat(head, complete);
        return true;
    } catch (const ParseError&) {
        return false;
    }
}

}  // namespace zaro::ZaroSessionParser
