// The header row and the preamble: canonical column keys, the metadata that is read, the format.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zaro::ZaroSessionParser::detail {

/// The columns a data row is read for, in the order of their canonical keys.
enum class Column { time, latitude, longitude, speed, gForceX, gForceY, leanAngle, lap };
inline constexpr std::size_t columnCount = 8;
inline constexpr std::array<std::string_view, columnCount> columnKeys = {
    "Time", "Latitude", "Longitude", "Speed", "GForceX", "GForceY", "LeanAngle", "Lap"};

/// Whether a trimmed line is the header row: it names latitude, longitude and time, in any case.
bool isHeaderRow(std::string_view line);

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

/// Reads one preamble line that is no lap row as a key and a value.
void readMetadataLine(std::string_view line, Metadata& metadata);

/// "ZARO CSV" or "RaceBox CSV", letter case aside.
bool isRecognisedFormat(const Metadata& metadata);

}  // namespace zaro::ZaroSessionParser::detail
