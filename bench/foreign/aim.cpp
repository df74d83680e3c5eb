// AiM Race Studio's CSV export: the session's preamble with the local date and time of the start
// and the beacon markers (the cumulative times of the line crossings, ending with the session's
// end) and segment times, every line as wide as the header; then the header, the units row, a line
// of commas, and the rows with seconds from the start.
#include <array>
#include <string_view>

#include "foreign_writers.hpp"
#include "writer_text.hpp"

namespace zaro::SessionGenerator {

std::string writeAim(const std::vector<Row>& rows, const Options& options)
{
    static constexpr std::array<std::string_view, 12> months = {"January", "February", "March",     "April",   "May",      "June",
                                                                 "July",    "August",   "September", "October", "November", "December"};
    static constexpr std::array<std::string_view, 7> weekdays = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    constexpr std::size_t columns = 9;
    std::string out;
    out.reserve(rows.size() * 90 + 2048);
    const auto line = [&out](std::string_view text, std::size_t fields) {
        out += text;
        out.append(columns - fields, ',');
        out += '\n';
    };
    // The clock of the start, to the minute: the rows' times count from it.
    const std::int64_t firstMs = rows.empty() ? options.startUnixMs : rows.front().unixMs;
    const std::int64_t startMs = firstMs - (firstMs % 60'000 + 60'000) % 60'000;
    const text::Civil start = text::civil(startMs);
    const auto seconds = [startMs](std::int64_t unixMs) { return static_cast<double>(unixMs - startMs) / 1000; };

    line("Format,AiM CSV File", 2);
    line("Session," + options.trackName, 2);
    line("Vehicle,Kosmic Rotax Junior", 2);
    line("Racer,", 2);
    line("Championship," + options.sessionType, 2);
    line("Comment,", 2);
    std::string field = "Date,\"";
    field += weekdays[static_cast<std::size_t>(start.weekday)];
    field += ", ";
    field += months[static_cast<std::size_t>(start.month - 1)];
    field += ' ';
    text::integer(field, start.day);
    field += ", ";
    text::integer(field, start.year);
    field += '"';
    line(field, 2);
    const std::int64_t hour = start.msOfDay / 3'600'000;
    field = "Time,";
    text::integer(field, hour % 12 == 0 ? 12 : hour % 12);
    field += ':';
    text::twoDigits(field, start.msOfDay / 60'000 % 60);
    field += hour < 12 ? " AM" : " PM";
    line(field, 2);
    field = "Sample Rate,";
    text::trimmed(field, options.sampleHz, 3);
    line(field, 2);
    const double duration = rows.empty() ? 0 : seconds(rows.back().unixMs);
    field = "Duration,";
    text::trimmed(field, duration, 3);
    line(field, 2);
    line("Segment,Session", 2);

    // A marker where each counted lap after the out-lap begins, and one at the end.
    const std::vector<std::int64_t> laps = text::countedLaps(rows);
    const std::vector<std::size_t> starts = text::lapStarts(laps);
    std::vector<double> markers;
    for (std::size_t i = 1; i < starts.size(); ++i) markers.push_back(seconds(rows[starts[i]].unixMs));
    markers.push_back(duration);
    std::string beacons = "Beacon Markers", segments = "Segment Times";
    double previous = seconds(firstMs);
    for (const double marker : markers) {
        beacons += ',';
        text::trimmed(beacons, marker, 3);
        const auto tenths = static_cast<std::int64_t>(std::llround((marker - previous) * 10));
        segments += ',';
        text::twoDigits(segments, tenths / 600);
        segments += ':';
        text::twoDigits(segments, tenths / 10 % 60);
        segments += '.';
        text::integer(segments, tenths % 10);
        previous = marker;
    }
    out += beacons;
    out.append(markers.size() + 1 < columns ? columns - markers.size() - 1 : 0, ',');
    out += '\n';
    out += segments;
    out.append(markers.size() + 1 < columns ? columns - markers.size() - 1 : 0, ',');
    out += '\n';
    line("", 1);
    out += "Time,GPS Speed,GPS Nsat,GPS LatAcc,GPS LonAcc,GPS Heading,GPS Altitude,GPS Latitude,GPS Longitude\n";
    out += "s,km/h, ,g,g,deg,m,deg,deg\n";
    line("", 1);

    double heading = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        if (i > 0 && (rows[i - 1].lat != row.lat || rows[i - 1].lon != row.lon)) {
            heading = text::bearing(rows[i - 1].lat, rows[i - 1].lon, row.lat, row.lon);
        }
        text::trimmed(out, seconds(row.unixMs), 3);
        out += ',';
        text::trimmed(out, row.speedKmh, 4);
        out += ",13,";
        text::trimmed(out, row.gForceY, 4);
        out += ',';
        text::trimmed(out, row.gForceX, 4);
        out += ',';
        text::trimmed(out, heading, 4);
        out += ",157.4193,";
        text::fixed(out, row.lat, 8);
        out += ',';
        text::fixed(out, row.lon, 8);
        out += '\n';
    }
    return out;
}

}  // namespace zaro::SessionGenerator
