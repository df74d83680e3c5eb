#include "formats/session_reading.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <optional>
#include <system_error>

#include "base/posix_file.hpp"
#include "base/zeroed_buffer.hpp"
#include "delimited.hpp"
#include "parser/zaro_session_parser.hpp"
#include "readers.hpp"

namespace zaro::formats {

namespace {

// Whether the parse's error leaves the file to the readers: it found no format it knows, or not
// the columns it needs. An empty file, a file too large and one without GPS rows stay as they are.
bool isForeign(const ParseError& error)
{
    return error.kind() == ParseError::Kind::unsupportedFormat || error.kind() == ParseError::Kind::missingColumns;
}

const Reader* readerFor(std::string_view head)
{
    for (const Reader& reader : readers()) {
        if (reader.recognises(head)) return &reader;
    }
    return nullptr;
}

// Where `word` (lower-case ASCII) first stands in `bytes` in any letter case, from `from` on.
std::size_t findIgnoringCase(std::string_view bytes, std::string_view word, std::size_t from = 0)
{
    const char first = word.front();
    const char* at = bytes.data() + from;
    const char* const end = bytes.data() + bytes.size();
    // The next lower-case and the next upper-case first letter, each looked for again only once passed;
    // null once there is none.
    const char* lower = at;
    const char* upper = at;
    const auto next = [&](const char*& found, char letter) {
        if (found && (found < at || *found != letter)) {
            found = static_cast<const char*>(std::memchr(at, letter, static_cast<std::size_t>(end - at)));
        }
    };
    while (at < end) {
        next(lower, first);
        next(upper, static_cast<char>(first - 32));
        if (!lower && !upper) break;
        const char* const letter = !upper || (lower && lower < upper) ? lower : upper;
        if (static_cast<std::size_t>(end - letter) < word.size()) break;
        bool same = true;
        for (std::size_t i = 1; i < word.size() && same; ++i) same = (letter[i] | 0x20) == word[i];
        if (same) return static_cast<std::size_t>(letter - bytes.data());
        at = letter + 1;
    }
    return std::string_view::npos;
}

// Whether a line of `bytes` names both latitude and longitude, in any letter case. The parse takes a
// file only by a header row that names them (no character outside ASCII lowers to those letters), so
// a file without such a line is one it can only refuse, and need not read to its end to say so.
bool mayHoldHeaderRow(std::string_view bytes)
{
    for (std::size_t at = 0; (at = findIgnoringCase(bytes, "latitude", at)) != std::string_view::npos;) {
        const std::size_t begin = bytes.rfind('\n', at) + 1;  // 0 when there is no line before
        const std::size_t end = std::min(bytes.find('\n', at), bytes.size());
        if (findIgnoringCase(bytes.substr(begin, end - begin), "longitude") != std::string_view::npos) return true;
        at = end;
    }
    return false;
}

// The readers' turn, once the parse has rejected the file's bytes with `error`, or when it could only
// refuse them (no error yet: it is the parse's own when no reader recognises the file).
ZaroSession readForeign(std::string_view raw, std::string fileName, unsigned threads, const std::optional<ParseError>& error)
{
    std::string storage;
    const std::string_view text = decodeText(raw, storage);
    if (hasUtf16Mark(raw)) {
        // Text that had to be decoded first (UTF-16, say) may be any of ours underneath.
        try {
            return ZaroSessionParser::parse(text, fileName, threads);
        } catch (const ParseError& decodedError) {
            if (!isForeign(decodedError)) throw;
        }
    }
    const Reader* reader = readerFor(text.substr(0, ZaroSessionParser::sessionHeadBytes));
    if (reader) return reader->read(text, std::move(fileName), threads);
    if (error) throw *error;
    ZaroSessionParser::parse(raw, std::move(fileName), threads);  // throws: empty or unsupportedFormat
    throw ParseError::unsupportedFormat();
}

// The session in the bytes of a whole file, working out `statistics` where the parse reads it.
ZaroSession readBytes(std::string_view data, std::string fileName, unsigned threads,
                      ZaroSessionParser::Statistics statistics = ZaroSessionParser::Statistics::all)
{
    if (!mayHoldHeaderRow(data)) return readForeign(data, std::move(fileName), threads, std::nullopt);
    try {
        return ZaroSessionParser::parse(data, fileName, threads, statistics);
    } catch (const ParseError& error) {
        if (!isForeign(error)) throw;
        return readForeign(data, std::move(fileName), threads, error);
    }
}

}  // namespace

std::span<const Reader> readers()
{
    static constexpr std::array<Reader, 8> all = {{
        {"RaceChrono", recognisesRaceChrono, readRaceChrono},
        {"AiM", recognisesAim, readAim},
        {"VBOX", recognisesVbox, readVbox},
        {"TrackAddict", recognisesTrackAddict, readTrackAddict},
        {"RaceCapture", recognisesRaceCapture, readRaceCapture},
        {"Harry's LapTimer", recognisesHarrys, readHarrys},
        {"Alfano", recognisesAlfano, readAlfano},
        {"GPS track", recognisesGpsTrack, readGpsTrack},
    }};
    return all;
}

ZaroSession readSession(std::string_view data, std::string fileName, unsigned threads)
{
    return readBytes(data, std::move(fileName), threads);
}

ZaroSession readSessionFile(const std::filesystem::path& path, unsigned threads, ZaroSessionParser::Statistics statistics)
{
    const posix::RegularFile file = posix::openRegularFile(path);
    if (file.size > ZaroSessionParser::maxPreviewBytes) throw ParseError::tooLarge();
    // A start with a line naming latitude and longitude is most likely the parse's, which reads the
    // file in pieces and keeps no more of it than a few chunks at a time. Most files show that line
    // within their first few: a short read finds it, and the rest of the head is read only when it
    // does not (a line found in part of the head is in the whole of it).
    constexpr std::size_t shortHead = 64 * 1024;
    std::string head = posix::readPrefix(file.descriptor.get(), std::min(shortHead, ZaroSessionParser::sessionHeadBytes));
    bool headerRowLikely = mayHoldHeaderRow(head);
    if (!headerRowLikely && head.size() == shortHead) {
        posix::appendPrefix(file.descriptor.get(), head, ZaroSessionParser::sessionHeadBytes);
        headerRowLikely = mayHoldHeaderRow(head);
    }
    std::optional<ParseError> refused;
    if (headerRowLikely) {
        try {
            return ZaroSessionParser::parseFile(path, threads, statistics);
        } catch (const ParseError& error) {
            if (!isForeign(error)) throw;
            refused = error;
        }
    }
    // The readers read the whole file: room for it and a byte more, which tells a file that grew while
    // it was read. Fresh huge pages, as faulting in 64 MiB a small page at a time would cost a third as
    // much as reading it.
    const auto limit = static_cast<std::size_t>(ZaroSessionParser::maxPreviewBytes);
    const std::size_t room = std::max(static_cast<std::size_t>(file.size), head.size()) + 1;
    const ZeroedBuffer buffer(room);
    if (!buffer) throw std::bad_alloc();
    char* const bytes = reinterpret_cast<char*>(buffer.get());
    std::copy(head.begin(), head.end(), bytes);
    std::size_t size = head.size();
    // The head may have stopped short of the file's end (even of a MiB): the rest follows it.
    size += posix::readInto(file.descriptor.get(), bytes + size, room - size);
    std::string grown;
    std::string_view data(bytes, size);
    if (size == room) {
        // The file grew since it was opened: the rest is read as it comes, up to the limit.
        grown.assign(data);
        posix::appendPrefix(file.descriptor.get(), grown, limit + 1);
        if (grown.size() > limit) throw ParseError::tooLarge();
        data = grown;
    }
    if (refused) return readForeign(data, path.filename().string(), threads, refused);
    return readBytes(data, path.filename().string(), threads, statistics);
}

ZaroSession readMappedSessionFile(const std::filesystem::path& path, unsigned threads,
                                  ZaroSessionParser::Statistics statistics)
{
    const posix::RegularFile file = posix::openRegularFile(path);
    if (file.size > ZaroSessionParser::maxPreviewBytes) throw ParseError::tooLarge();
    // Without the address space for the whole file (a small limit, say), it is read in chunks.
    std::optional<posix::MappedFile> mapping;
    try {
        mapping.emplace(file.descriptor.get(), static_cast<std::size_t>(file.size));
    } catch (const std::system_error&) {
        return readSessionFile(path, threads, statistics);
    }
    // The choices readSessionFile makes from its head, made from the whole file: a header row found in
    // the head is in the whole file, and a file without one in its head is read whole there too.
    return readBytes(mapping->bytes(), path.filename().string(), threads, statistics);
}

bool isSessionHead(std::string_view head, bool complete)
{
    try {
        ZaroSessionParser::checkFormat(head, complete);
        return true;
    } catch (const ParseError& error) {
        if (!isForeign(error)) return false;
    }
    std::string storage;
    const std::string_view text = decodeText(head, storage);
    if (hasUtf16Mark(head)) {
        try {
            ZaroSessionParser::checkFormat(text, complete);
            return true;
        } catch (const ParseError&) {
        }
    }
    return readerFor(text) != nullptr;
}

bool isSessionFile(const std::filesystem::path& path)
{
    const posix::RegularFile file = posix::openRegularFile(path);
    const std::string head = posix::readPrefix(file.descriptor.get(), ZaroSessionParser::sessionHeadBytes);
    const bool complete = head.size() < ZaroSessionParser::sessionHeadBytes || file.size <= static_cast<std::int64_t>(head.size());
    return isSessionHead(head, complete);
}

}  // namespace zaro::formats
