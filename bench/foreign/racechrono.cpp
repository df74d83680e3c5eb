// RaceChrono Pro's CSV export, format 3: the app's line, the session's preamble and a blank line,
// then channel names, units and sources above the rows, with CR LF line ends. `lap_number` is empty
// before the first crossing; the GPS receiver and the app's calculations each give a speed.
#include <cmath>

#include "foreign_writers.hpp"
#include "writer_text.hpp"

namespace zaro::SessionGenerator {

std::string writeRaceChrono(const std::vector<Row>& rows, const Options& options)
{
    std::string out;
    out.reserve(rows.size() * 190 + 1024);
    out += "This file is created using RaceChrono Pro v9.1.3 ( http://racechrono.com/ ).\r\n";
    out += "Format,3\r\n";
    out += "Session title,\"" + options.sessionType + "\"\r\n";
    out += "Session type,Lap timing\r\n";
    out += "Track name,\"" + options.trackName + "\"\r\n";
    out += "Driver name,\r\n";
    const text::Civil created = text::civil(rows.empty() ? options.startUnixMs : rows.front().unixMs);
    out += "Created,";
    text::twoDigits(out, created.day);
    out += '/';
    text::twoDigits(out, created.month);
    out += '/';
    text::integer(out, created.year);
    out += ',';
    text::twoDigits(out, created.msOfDay / 3'600'000);
    out += ':';
    text::twoDigits(out, created.msOfDay / 60'000 % 60);
    out += "\r\nNote,\r\n\r\n";
    out += "timestamp,fragment_id,lap_number,elapsed_time,distance_traveled,accuracy,altitude,bearing,device_update_rate,"
           "fix_type,latitude,longitude,satellites,speed,combined_acc,device_update_rate,lateral_acc,lean_angle,"
           "longitudinal_acc,speed\r\n";
    out += "unix time,,,s,m,m,m,deg,Hz,,deg,deg,sats,m/s,G,Hz,G,deg,G,m/s\r\n";
    out += ",,,,,100: gps,100: gps,100: gps,100: gps,100: gps,100: gps,100: gps,100: gps,100: gps,calc,calc,calc,calc,calc,calc\r\n";

    const std::vector<std::int64_t> laps = text::countedLaps(rows);
    double distance = 0, heading = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        if (i > 0) {
            const Row& previous = rows[i - 1];
            distance += text::metres(previous.lat, previous.lon, row.lat, row.lon);
            if (previous.lat != row.lat || previous.lon != row.lon) heading = text::bearing(previous.lat, previous.lon, row.lat, row.lon);
        }
        text::trimmed(out, static_cast<double>(row.unixMs) / 1000, 3);
        out += ",0,";
        if (laps[i] > 0) text::integer(out, laps[i]);
        out += ',';
        text::trimmed(out, static_cast<double>(row.unixMs - rows.front().unixMs) / 1000, 3);
        out += ',';
        text::trimmed(out, distance, 5);
        out += ",3.0,120.0,";
        text::trimmed(out, heading, 1);
        out += ',';
        text::trimmed(out, options.sampleHz, 1);
        out += ",1.0,";
        text::trimmed(out, row.lat, 7);
        out += ',';
        text::trimmed(out, row.lon, 7);
        out += ",11.0,";
        const std::size_t speedFrom = out.size();
        text::trimmed(out, row.speedKmh / 3.6, 5);
        const std::string speed = out.substr(speedFrom);
        out += ',';
        text::trimmed(out, std::hypot(row.gForceX, row.gForceY), 5);
        out += ',';
        text::trimmed(out, options.sampleHz, 1);
        out += ',';
        text::trimmed(out, row.gForceY, 5);
        out += ',';
        text::trimmed(out, row.leanDeg, 4);
        out += ',';
        text::trimmed(out, row.gForceX, 5);
        out += ',';
        out += speed;
        out += "\r\n";
    }
    return out;
}

}  // namespace zaro::SessionGenerator
