// A GPS logger's CSV: a header row of lower-case or upper-case names and one row per fix. The default
// is a phone logger's (Unix milliseconds, signed degrees, units in the header); the other layouts
// are the stand-alone loggers' (dates and times in columns, hemisphere letters, units after values).
#include "foreign/gps_track.hpp"
#include "foreign/writer_text.hpp"

#include <array>
#include <cstdio>

namespace zaro::SessionGenerator {

namespace {

using Times = GpsTrackLayout::Times;
using Hemispheres = GpsTrackLayout::Hemispheres;

struct Civil {
    int year, month, day, hour, minute, second, millisecond;
};

// The calendar fields of a Unix time.
Civil civilOf(std::int64_t unixMs)
{
    const text::Civil at = text::civil(unixMs);
    return {at.year, at.month, at.day, static_cast<int>(at.msOfDay / 3'600'000), static_cast<int>(at.msOfDay / 60'000 % 60),
            static_cast<int>(at.msOfDay / 1000 % 60), static_cast<int>(at.msOfDay % 1000)};
}

constexpr std::array<const char*, 12> monthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

class RowWriter {
public:
    RowWriter(const GpsTrackLayout& layout, std::string& out) : layout_(layout), out_(out) {}

    template <typename... Values>
    void text(const char* format, Values... values)
    {
        std::array<char, 64> buffer{};
        const int length = std::snprintf(buffer.data(), buffer.size(), format, values...);
        out_.append(buffer.data(), static_cast<std::size_t>(length));
    }

    /// A number with `decimals` digits after its point, which is a comma where the separator is not.
    void number(double value, int decimals)
    {
        const std::size_t from = out_.size();
        text("%.*f", decimals, value);
        if (layout_.separator == ',') return;
        for (std::size_t i = from; i < out_.size(); ++i) {
            if (out_[i] == '.') out_[i] = ',';
        }
    }

    void next() { out_.push_back(layout_.separator); }

private:
    const GpsTrackLayout& layout_;
    std::string& out_;
};

std::string headerOf(const GpsTrackLayout& layout)
{
    std::string names;
    switch (layout.times) {
    case Times::unixMilliseconds: names = "time,"; break;
    case Times::unixNanoseconds: names = "timestamp (ns),"; break;
    case Times::isoUtc: names = "timestamp,"; break;
    case Times::isoLocal:
    case Times::monthName: names = "Device Time,"; break;
    case Times::secondsFromStart: names = "time (s),"; break;
    case Times::dateAndTime:
    case Times::compactDateAndTime: names = "INDEX,DATE,TIME,"; break;
    case Times::dayMonthYear: names = "Date,Time,"; break;
    case Times::none: break;
    }
    switch (layout.hemispheres) {
    case Hemispheres::signs: names += "lat,lon,"; break;
    case Hemispheres::letters: names += "LATITUDE N/S,LONGITUDE E/W,"; break;
    case Hemispheres::columns: names += "LATITUDE,N/S,LONGITUDE,E/W,"; break;
    }
    names += layout.unitsInValues ? "SPEED," : "speed (km/h),";
    names += "gx,gy,lean (deg),lap\n";
    if (layout.separator != ',') {
        for (char& c : names) {
            if (c == ',') c = layout.separator;
        }
    }
    return names;
}

void writeTime(RowWriter& writer, const GpsTrackLayout& layout, std::int64_t unixMs, std::int64_t startMs, std::size_t index)
{
    const Civil c = civilOf(unixMs);
    const char s = layout.separator;
    switch (layout.times) {
    case Times::unixMilliseconds: writer.text("%lld", static_cast<long long>(unixMs)); break;
    case Times::unixNanoseconds: writer.text("%lld000000", static_cast<long long>(unixMs)); break;
    case Times::isoUtc:
        writer.text("%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", c.year, c.month, c.day, c.hour, c.minute, c.second, c.millisecond);
        break;
    case Times::isoLocal:
        writer.text("%04d-%02d-%02d %02d:%02d:%02d.%03d", c.year, c.month, c.day, c.hour, c.minute, c.second, c.millisecond);
        break;
    case Times::secondsFromStart: writer.number(static_cast<double>(unixMs - startMs) / 1000, 3); break;
    case Times::dateAndTime:
        writer.text("%zu%c%04d/%02d/%02d%c%02d:%02d:%02d.%03d", index + 1, s, c.year, c.month, c.day, s, c.hour, c.minute,
                    c.second, c.millisecond);
        break;
    case Times::compactDateAndTime:
        writer.text("%zu%c%02d%02d%02d%c%02d%02d%02d", index + 1, s, c.year % 100, c.month, c.day, s, c.hour, c.minute, c.second);
        break;
    case Times::dayMonthYear:
        writer.text("%02d/%02d/%04d%c%02d:%02d:%02d.%03d", c.day, c.month, c.year, s, c.hour, c.minute, c.second, c.millisecond);
        break;
    case Times::monthName:
        writer.text("%02d-%s-%04d %02d:%02d:%02d.%03d", c.day, monthNames[static_cast<std::size_t>(c.month - 1)], c.year,
                    c.hour, c.minute, c.second, c.millisecond);
        break;
    case Times::none: return;
    }
    writer.next();
}

void writePosition(RowWriter& writer, const GpsTrackLayout& layout, double degrees, char positive, char negative)
{
    if (layout.hemispheres == Hemispheres::signs) {
        writer.number(degrees, 7);
        writer.next();
        return;
    }
    writer.number(degrees < 0 ? -degrees : degrees, 7);
    if (layout.hemispheres == Hemispheres::columns) writer.next();
    writer.text("%c", degrees < 0 ? negative : positive);
    writer.next();
}

}  // namespace

std::string writeGpsTrack(const std::vector<Row>& rows, const GpsTrackLayout& layout)
{
    std::string out = headerOf(layout);
    out.reserve(rows.size() * 80 + out.size());
    RowWriter writer(layout, out);
    const std::int64_t startMs = rows.empty() ? 0 : rows.front().unixMs;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        writeTime(writer, layout, row.unixMs, startMs, i);
        writePosition(writer, layout, row.lat, 'N', 'S');
        writePosition(writer, layout, row.lon, 'E', 'W');
        writer.number(row.speedKmh, 2);
        if (layout.unitsInValues) writer.text(" km/h");
        writer.next();
        writer.number(row.gForceX, 3);
        writer.next();
        writer.number(row.gForceY, 3);
        writer.next();
        writer.number(row.leanDeg, 1);
        writer.next();
        writer.text("%lld\n", static_cast<long long>(row.lap));
    }
    return out;
}

std::string writeGpsTrack(const std::vector<Row>& rows, const Options&) { return writeGpsTrack(rows, GpsTrackLayout{}); }

}  // namespace zaro::SessionGenerator
