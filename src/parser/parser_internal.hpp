// The parser's building blocks, shared by its translation units and its tests.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "unicode.hpp"
#include "zaro_session.hpp"

namespace zaro::ZaroSessionParser::detail {

// ---- Lines --------------------------------------------------------------------------------------

/// One line's bytes without its line feed and without one carriage return before it; the first
/// line of a walk from offset 0 also loses a UTF-8 byte-order mark.
struct RawLine {
    std::string_view bytes;
    std::int64_t next = 0;  // offset just past the line feed, or the end when there is none
};

/// Lines of an in-memory buffer between two offsets.
class SpanLines {
public:
    SpanLines(std::string_view data, std::int64_t from, std::int64_t end);
    bool next(RawLine& line);
    /// A reader over [from, end) of the same bytes.
    SpanLines range(std::int64_t from, std::int64_t end) const { return SpanLines(data_, from, end); }
    void releaseMemory() {}

private:
    std::string_view data_;
    std::int64_t position_;
    std::int64_t end_;
    bool first_;
};

/// Lines of an open regular file between two offsets, read in chunks through a buffer that is reused;
/// only a line longer than the buffer makes it grow. Throws std::system_error when a read fails.
class FileLines {
public:
    FileLines(int fd, std::int64_t from, std::int64_t end);
    bool next(RawLine& line);
    FileLines range(std::int64_t from, std::int64_t end) const { return FileLines(fd_, from, end); }
    /// Gives back a buffer that a long line made grow; what it held unread is read again later.
    void releaseMemory();

private:
    bool fill();

    int fd_;
    std::int64_t readOffset_;   // file offset of the next read
    std::int64_t end_;
    std::int64_t bufferStart_;  // file offset of buffer_[0]
    std::vector<char> buffer_;
    std::size_t head_ = 0;      // unconsumed bytes are [head_, tail_)
    std::size_t tail_ = 0;
    bool first_;
    bool eof_ = false;
};

/// Turns a line's bytes into well-formed UTF-8, replacing each maximal ill-formed subpart by U+FFFD.
/// The result views either the bytes themselves or a buffer reused from line to line.
class LineDecoder {
public:
    std::string_view decode(std::string_view bytes);

private:
    std::string scratch_;
};

/// Walks `data` from `from`, handing each decoded line and the offset after it to `body` until it
/// returns false.
void enumerateLines(std::string_view data, std::int64_t from,
                    const std::function<bool(std::string_view line, std::int64_t next)>& body);

// ---- Letter case --------------------------------------------------------------------------------

/// Whether `field` lower-cased equals `lowerWord`, an ASCII word in lower case.
bool equalsIgnoringCase(std::string_view field, std::string_view lowerWord);
/// Whether `text` lower-cased contains `lowerWord`, an ASCII word in lower case.
bool containsIgnoringCase(std::string_view text, std::string_view lowerWord);

// ---- Fields -------------------------------------------------------------------------------------

/// The fields of a line, trimmed, with double quotes honoured; at least one. A comma or quote fused
/// with a following combining mark is an ordinary character.
class CsvFields {
public:
    explicit CsvFields(std::string_view line);
    /// The next field; the view is valid until the next call.
    bool next(std::string_view& field);

private:
    std::string_view line_;
    std::size_t position_ = 0;
    bool done_ = false;
    bool quoted_;  // the line holds a double quote: fields are unquoted into scratch_
    std::string scratch_;
};

std::vector<std::string> splitCsvLine(std::string_view line);

/// Field `at` of a line by plain comma counting (quotes are ordinary characters), trimmed; no value
/// when the line has no such field or it is empty.
std::optional<std::string_view> csvValue(std::string_view line, std::int64_t at);

/// The first comma at or after `from` that is a character of its own, or the line's size.
std::size_t nextComma(std::string_view line, std::size_t from);

/// A C-locale floating-point literal filling the whole field, as strtod reads it.
std::optional<double> readNumber(std::string_view field);
/// An optional sign and decimal digits filling the whole field, within the 64-bit range.
std::optional<std::int64_t> readInteger(std::string_view field);

// ---- Header and preamble ------------------------------------------------------------------------

/// The columns a data row is read for, in the order of their canonical keys.
enum class Column { time, latitude, longitude, speed, gForceX, gForceY, leanAngle, lap };
inline constexpr std::size_t columnCount = 8;
inline constexpr std::array<std::string_view, columnCount> columnKeys = {
    "Time", "Latitude", "Longitude", "Speed", "GForceX", "GForceY", "LeanAngle", "Lap"};

/// The canonical key of a header field: unit and marker stripped, aliases resolved.
std::string normalizeColumnName(std::string_view field);

struct ColumnMap {
    std::array<std::optional<std::int64_t>, columnCount> positions;  // first field with each key
    std::string speedColumn;  // the header field of the first Speed column, as split

    const std::optional<std::int64_t>& operator[](Column c) const { return positions[static_cast<std::size_t>(c)]; }
    bool has(Column c) const { return (*this)[c].has_value(); }
};

ColumnMap mapColumns(std::string_view headerLine);

/// The preamble's key/value lines, keeping only the keys something reads; a later line wins.
struct Metadata {
    std::optional<std::string> format;
    std::optional<std::string> track;
    std::optional<std::string> trackName;
    std::optional<std::string> configuration;
    std::optional<std::string> sessionType;      // "Session Type"
    std::optional<std::string> sessionTypeAlt;   // "Session type"
    std::optional<std::string> dataSource;
    std::optional<std::string> dateUtc;
    std::optional<std::string> laps;
    std::optional<std::string> bestLapTime;

    void set(std::string_view key, std::string_view value);
};

/// "ZARO CSV" or "RaceBox CSV", letter case aside.
bool isRecognisedFormat(const Metadata& metadata);

// ---- Laps ---------------------------------------------------------------------------------------

/// A preamble line read as a lap ("Lap 7,83.412,Sectors,27.9,28.1" or "Incomplete lap,41.2"), or
/// no value when it is not one.
std::optional<ZaroSessionLap> parseLapRow(std::string_view line);
/// parseLapRow, leaving the sectors out when `withSectors` is false (for counting lap rows).
std::optional<ZaroSessionLap> readLapRow(std::string_view line, bool withSectors);

/// Lap boundaries seen in a lap column, in ticks of 100 µs.
struct InferredLaps {
    std::unordered_map<std::int64_t, std::int64_t> firstTime;
    std::unordered_map<std::int64_t, std::int64_t> firstZeroAfter;
    std::optional<std::int64_t> lastTime;
    std::optional<std::int64_t> previousLap;
    std::optional<std::int64_t> latestLap;  // lap number of the latest row, whatever its sign

    void update(std::int64_t lap, std::int64_t ticks);
};

std::vector<ZaroSessionLap> buildLaps(const InferredLaps& inferred);

struct LapSummary {
    std::vector<ZaroSessionLap> laps;
    std::int64_t lapCount = 0;
    std::optional<double> bestLapSec;
};

LapSummary summariseLaps(std::vector<ZaroSessionLap> preambleLaps, const InferredLaps& inferred,
                         const Metadata& metadata);

// ---- Rows ---------------------------------------------------------------------------------------

/// The single forward pass over the data rows: each usable row is folded into running statistics,
/// track candidates and lap boundaries; nothing is kept per row.
class RowPass {
public:
    RowPass(const ColumnMap& columns, bool inferLaps, std::int64_t bodyBytes);

    /// Folds in one decoded body line; lines without a usable position or time are skipped.
    void add(std::string_view line);

    std::int64_t acceptedRows() const { return accepted_; }
    const InferredLaps& inferredLaps() const { return inferred_; }

    /// Sets the trace and statistics fields of `session`: start and end texts, point count,
    /// polyline, distance, speeds, accelerations and lean. Ends the pass.
    void finish(ZaroSession& session);

private:
    struct Need {
        std::int64_t position;
        Column column;
    };

    void pickFields(std::string_view line, std::array<std::string_view, columnCount>& values) const;

    std::vector<Need> needs_;  // the columns read, by position
    std::string speedColumn_;
    bool inferLaps_;
    std::int64_t stride_;

    std::int64_t accepted_ = 0;
    std::string firstTime_;
    std::string lastTime_;
    std::optional<ZaroSessionPoint> previous_;
    double previousCosLat_ = 0;
    double distance_ = 0;
    std::vector<ZaroSessionPoint> candidates_;
    double speedSum_ = 0;
    std::int64_t speedCount_ = 0;
    std::optional<double> maxSpeed_;
    std::optional<double> maxAbsGx_;
    std::optional<double> maxAbsGy_;
    std::optional<double> maxAbsLean_;
    InferredLaps inferred_;
};

/// The factor from the file's speed unit to metres per second.
double speedConversion(std::string_view speedColumn, double maxRawSpeed);

/// Great-circle distance in metres on a sphere of 6371 km.
double greatCircleMetres(double lat1, double lon1, double lat2, double lon2);

/// Milliseconds since 1970 of an ISO 8601 date-time, with or without a fraction.
std::optional<double> parseTimeMs(std::string_view text);

/// Evenly spaced points of `points`, at most 200, first and last kept, equal neighbours dropped.
std::vector<ZaroSessionPoint> downsample(std::vector<ZaroSessionPoint> points);

}  // namespace zaro::ZaroSessionParser::detail
