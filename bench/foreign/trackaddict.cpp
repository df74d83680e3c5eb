// TrackAddict's data file: `#` lines naming the app, the start/finish point and the settings, a fully
// quoted header, then rows with seconds from the start and Unix seconds. When the line is crossed,
// a "# Lap N: HH:MM:SS.sss" line times the lap just ended (lap 0 being the out-lap); "# Session End"
// closes the file.
#include "foreign_writers.hpp"
#include "writer_text.hpp"

namespace zaro::SessionGenerator {

std::string writeTrackAddict(const std::vector<Row>& rows, const Options&)
{
    std::string out;
    out.reserve(rows.size() * 130 + 1024);
    const std::vector<std::int64_t> laps = text::countedLaps(rows);
    const std::vector<std::size_t> starts = text::lapStarts(laps);
    out += "# RaceRender Data: TrackAddict 4.3.5 on Android 9 [samsung SM-N960F] (Mode: 0)\n";
    if (starts.size() > 1) {
        out += "# End Point: ";
        text::fixed(out, rows[starts[1]].lat, 5);
        out += ", ";
        text::fixed(out, rows[starts[1]].lon, 5);
        out += "  @ -1.00 deg\n";
    }
    out += "# GPS: Android; Mode: Android\n";
    out += "# User Settings: SL1;U1;AS1;LT1/1;EC0;VC-1;VQ3;VS0;VSOIS0;VIF1\n";
    out += "# Device Free Space: 92967 MB\n";
    out += "\"Time\",\"UTC Time\",\"Lap\",\"Predicted Lap Time\",\"Predicted vs Best Lap\",\"GPS_Update\",\"GPS_Delay\",\"Latitude\","
           "\"Longitude\",\"Altitude (m)\",\"Altitude (ft)\",\"Speed (Km/h)\",\"Heading\",\"Accuracy (m)\",\"Accel X\",\"Accel Y\",\"Accel Z\"\n";
    std::size_t nextStart = 1;
    double heading = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        if (nextStart < starts.size() && i == starts[nextStart]) {
            // The lap just ended, from its first row to this one.
            out += "# Lap ";
            text::integer(out, laps[i - 1]);
            out += ": ";
            text::clock(out, row.unixMs - rows[starts[nextStart - 1]].unixMs);
            out += '\n';
            ++nextStart;
        }
        if (i > 0 && (rows[i - 1].lat != row.lat || rows[i - 1].lon != row.lon)) {
            heading = text::bearing(rows[i - 1].lat, rows[i - 1].lon, row.lat, row.lon);
        }
        text::fixed(out, static_cast<double>(row.unixMs - rows.front().unixMs) / 1000, 3);
        out += ',';
        text::fixed(out, static_cast<double>(row.unixMs) / 1000, 3);
        out += ',';
        text::integer(out, laps[i]);
        out += ",0,0,1,0.000,";
        text::fixed(out, row.lat, 7);
        out += ',';
        text::fixed(out, row.lon, 7);
        out += ",91.1,299,";
        text::fixed(out, row.speedKmh, 1);
        out += ',';
        text::fixed(out, heading, 1);
        out += ",6.0,";
        text::fixed(out, row.gForceY, 2);  // Accel X: lateral
        out += ',';
        text::fixed(out, row.gForceX, 2);
        out += ",1.00\n";
    }
    out += "# Session End\n";
    return out;
}

}  // namespace zaro::SessionGenerator
