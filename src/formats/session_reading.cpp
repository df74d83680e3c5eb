#include "formats/session_reading.hpp"

#include <array>

#include "base/posix_file.hpp"
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

// The readers' turn, once the parse has rejected the file's bytes with `error`.
ZaroSession readForeign(std::string_view raw, std::string fileName, unsigned threads, const ParseError& error)
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
    if (!reader) throw error;
    return reader->read(text, std::move(fileName));
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
    try {
        return ZaroSessionParser::parse(data, fileName, threads);
    } catch (const ParseError& error) {
        if (!isForeign(error)) throw;
        return readForeign(data, std::move(fileName), threads, error);
    }
}

ZaroSession readSessionFile(const std::filesystem::path& path, unsigned threads)
{
    try {
        return ZaroSessionParser::parseFile(path, threads);
    } catch (const ParseError& error) {
        if (!isForeign(error)) throw;
        const posix::RegularFile file = posix::openRegularFile(path);
        if (file.size > ZaroSessionParser::maxPreviewBytes) throw ParseError::tooLarge();
        const std::string data = posix::readPrefix(file.descriptor.get(), static_cast<std::size_t>(ZaroSessionParser::maxPreviewBytes));
        if (data.empty()) throw ParseError::empty();
        return readForeign(data, path.filename().string(), threads, error);
    }
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
