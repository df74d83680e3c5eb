#include "session_generator.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace zaro::SessionGenerator {
namespace {

constexpr double pi = 3.141592653589793;
constexpr double gravity = 9.80665;
constexpr double originLatDeg = 52.07;
constexpr double originLonDeg = -1.01;
constexpr double metresPerDegreeLat = 111'320.0;

constexpr double topSpeedMps = 220.0 / 3.6;
constexpr double slowestCornerMps = 60.0 / 3.6;
constexpr double corneringG = 1.35;
constexpr double brakingG = 1.05;
constexpr double acceleratingG = 0.45;

// Out-laps start at the pit exit and in-laps end at the pit entry, as fractions of a lap.
constexpr double pitExitFraction = 0.55;
constexpr double pitEntryFraction = 0.40;
constexpr double pitLaneFactor = 0.7;

// Room kept for the preamble lines whose values are known only once the rows are written
// ("Laps", "Best Lap Time", "Incomplete lap").
constexpr std::size_t lateLineReserve = 112;
constexpr std::size_t longestRow = 160;
constexpr std::size_t longestLapRow = 96;

// A fictional circuit as straights and constant-radius arcs, driven anticlockwise: length in
// metres and turn in degrees (positive to the left). The turns add up to one full circle; the two
// long straights are sized so that the loop closes. The start line is on the main straight.
struct Segment {
    double lengthM;
    double turnDeg;
};
constexpr std::array<Segment, 19> circuitLayout{{
    {273.2, 0},  {120, 90},  {260, 0}, {70, -40},  {180, 0},   {95, 110}, {380, 0},
    {35, -45},   {35, 45},   {220, 0}, {170, 70},  {957.054, 0}, {70, 160}, {300, 0},
    {110, -85},  {160, 0},   {120, 55}, {150, 0},  {182.17164, 0},
}};

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next()
    {
        state_ += 0x9E3779B97F4A7C15ULL;
        std::uint64_t z = state_;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // In [0, 1).
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    // In [-halfWidth, halfWidth).
    double centred(double halfWidth) { return (uniform() * 2.0 - 1.0) * halfWidth; }
    // Bell-shaped with standard deviation `sigma` (a sum of uniforms, bounded at 2 sigma · √3).
    double bell(double sigma) { return (uniform() + uniform() + uniform() + uniform() - 2.0) * sigma * 1.7320508075688772; }

private:
    std::uint64_t state_;
};

struct Station {
    double x = 0;
    double y = 0;
    double headingRad = 0;
    double curvature = 0;  // 1/m, positive turning left
    double speedMps = 0;   // the ideal speed of a timed lap
};

// The racing line sampled every metre or so from the start line; the last sample joins the first.
struct Track {
    std::vector<Station> stations;
    double stepM = 1;
    double lengthM = 0;

    Station at(double s) const
    {
        const double position = std::fmod(s, lengthM) / stepM;
        const auto n = stations.size();
        const auto i = std::min(static_cast<std::size_t>(position), n - 1);
        const double f = position - static_cast<double>(i);
        const Station& a = stations[i];
        const Station& b = stations[(i + 1) % n];
        Station mix = a;
        mix.x = a.x + (b.x - a.x) * f;
        mix.y = a.y + (b.y - a.y) * f;
        mix.curvature = a.curvature + (b.curvature - a.curvature) * f;
        mix.speedMps = a.speedMps + (b.speedMps - a.speedMps) * f;
        return mix;
    }
};

// Fastest speed at every station: the cornering limit, then braking into corners (a backward
// sweep) and accelerating out of them (a forward sweep). Two rounds each let the limits carry
// across the start line.
std::vector<double> speedProfile(const std::vector<double>& curvature, double stepM)
{
    const auto n = curvature.size();
    std::vector<double> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double bend = std::abs(curvature[i]);
        const double corner = bend > 0 ? std::sqrt(corneringG * gravity / bend) : topSpeedMps;
        v[i] = std::clamp(corner, slowestCornerMps, topSpeedMps);
    }
    for (std::size_t round = 0; round < 2 * n; ++round) {
        const std::size_t i = n - 1 - round % n;
        const double next = v[(i + 1) % n];
        v[i] = std::min(v[i], std::sqrt(next * next + 2 * brakingG * gravity * stepM));
    }
    for (std::size_t round = 0; round < 2 * n; ++round) {
        const std::size_t i = round % n;
        const double previous = v[(i + n - 1) % n];
        v[i] = std::min(v[i], std::sqrt(previous * previous + 2 * acceleratingG * gravity * stepM));
    }
    return v;
}

Track buildTrack()
{
    double lengthM = 0;
    for (const Segment& segment : circuitLayout) {
        lengthM += segment.lengthM;
    }
    const auto n = static_cast<std::size_t>(std::llround(lengthM));
    Track track;
    track.lengthM = lengthM;
    track.stepM = lengthM / static_cast<double>(n);

    std::vector<double> sharp(n);
    std::size_t segmentIndex = 0;
    double segmentEndM = circuitLayout[0].lengthM;
    for (std::size_t i = 0; i < n; ++i) {
        const double s = (static_cast<double>(i) + 0.5) * track.stepM;
        while (s > segmentEndM && segmentIndex + 1 < circuitLayout.size()) {
            segmentEndM += circuitLayout[++segmentIndex].lengthM;
        }
        const Segment& segment = circuitLayout[segmentIndex];
        sharp[i] = segment.turnDeg * pi / 180.0 / segment.lengthM;
    }
    // Averaging the curvature over a short stretch eases every straight into its arc, as a rider's
    // line does; the total turn stays one full circle.
    constexpr std::size_t easing = 15;
    std::vector<double> curvature(n);
    for (std::size_t i = 0; i < n; ++i) {
        double sum = 0;
        for (std::size_t k = 0; k <= 2 * easing; ++k) {
            sum += sharp[(i + n + k - easing) % n];
        }
        curvature[i] = sum / static_cast<double>(2 * easing + 1);
    }

    // Walk the curvature, then spread the small gap left at the end evenly over the lap.
    std::vector<double> x(n + 1, 0.0);
    std::vector<double> y(n + 1, 0.0);
    std::vector<double> heading(n, 0.0);
    double h = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double middle = h + curvature[i] * track.stepM / 2;
        heading[i] = middle;
        x[i + 1] = x[i] + std::cos(middle) * track.stepM;
        y[i + 1] = y[i] + std::sin(middle) * track.stepM;
        h += curvature[i] * track.stepM;
    }
    const std::vector<double> speed = speedProfile(curvature, track.stepM);
    track.stations.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double share = static_cast<double>(i) / static_cast<double>(n);
        track.stations.push_back({x[i] - x[n] * share, y[i] - y[n] * share, heading[i], curvature[i], speed[i]});
    }
    return track;
}

void appendFixed(std::string& out, double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    // Rounding first and adding zero turns a negative value that rounds to zero into "0.00".
    const double rounded = std::round(value * scale) / scale + 0.0;
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), rounded, std::chars_format::fixed, decimals);
    out.append(buffer.data(), result.ptr);
}

void appendInteger(std::string& out, std::int64_t value)
{
    std::array<char, 24> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    out.append(buffer.data(), result.ptr);
}

void appendTwoDigits(std::string& out, std::int64_t value)
{
    out.push_back(static_cast<char>('0' + value / 10));
    out.push_back(static_cast<char>('0' + value % 10));
}

// "2024-06-01T10:15:30.240Z", or without the fraction and with "+00:00" as the zone.
enum class Stamp { millisecondsZ, secondsOffset, secondsZ };

void appendTimestamp(std::string& out, std::int64_t unixMs, Stamp stamp)
{
    const std::int64_t msPerDay = 86'400'000;
    std::int64_t days = unixMs / msPerDay;
    std::int64_t msOfDay = unixMs % msPerDay;
    if (msOfDay < 0) {
        msOfDay += msPerDay;
        --days;
    }
    // Civil date from a day count, for the proleptic Gregorian calendar.
    const std::int64_t z = days + 719'468;
    const std::int64_t era = (z >= 0 ? z : z - 146'096) / 146'097;
    const std::int64_t dayOfEra = z - era * 146'097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    const std::int64_t month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);

    appendInteger(out, year);
    out.push_back('-');
    appendTwoDigits(out, month);
    out.push_back('-');
    appendTwoDigits(out, day);
    out.push_back('T');
    appendTwoDigits(out, msOfDay / 3'600'000);
    out.push_back(':');
    appendTwoDigits(out, msOfDay / 60'000 % 60);
    out.push_back(':');
    appendTwoDigits(out, msOfDay / 1000 % 60);
    switch (stamp) {
    case Stamp::millisecondsZ:
        out.push_back('.');
        out.push_back(static_cast<char>('0' + msOfDay % 1000 / 100));
        appendTwoDigits(out, msOfDay % 100);
        out.push_back('Z');
        break;
    case Stamp::secondsOffset:
        out += "+00:00";
        break;
    case Stamp::secondsZ:
        out.push_back('Z');
        break;
    }
}

void appendSeconds(std::string& out, std::int64_t ms)
{
    appendInteger(out, ms / 1000);
    out.push_back('.');
    out.push_back(static_cast<char>('0' + ms % 1000 / 100));
    appendTwoDigits(out, ms % 100);
}

// Values of ours never need quotes unless they hold a comma or a quote.
std::string csvField(const std::string& value)
{
    if (value.find_first_of(",\"") == std::string::npos) {
        return value;
    }
    std::string quoted = "\"";
    for (const char c : value) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

struct CompletedLap {
    std::int64_t number = 0;
    std::int64_t startMs = 0;
    std::int64_t sector1EndMs = 0;
    std::int64_t sector2EndMs = 0;
    std::int64_t endMs = 0;
};

std::string lapRow(Shape shape, const CompletedLap& lap)
{
    const std::int64_t s1 = lap.sector1EndMs - lap.startMs;
    const std::int64_t s2 = lap.sector2EndMs - lap.sector1EndMs;
    const std::int64_t s3 = lap.endMs - lap.sector2EndMs;
    std::string row = "Lap ";
    appendInteger(row, lap.number);
    // RaceBox pads its fields with a space and reports an unused split as 0.
    const bool raceBox = shape == Shape::raceBoxCsv;
    row += raceBox ? ", " : ",";
    appendSeconds(row, lap.endMs - lap.startMs);
    row += raceBox ? ", sectors, " : ",Sectors,";
    appendSeconds(row, s1);
    row += ',';
    appendSeconds(row, s2);
    row += raceBox ? ",0," : ",";
    appendSeconds(row, s3);
    row += '\n';
    return row;
}

std::string header(Shape shape)
{
    switch (shape) {
    case Shape::zaroCsv:
        return "Time,Latitude (deg),Longitude (deg),Speed (km/h),GForceX,GForceY,LeanAngle,Lap\n";
    case Shape::raceBoxCsv:
        return "Record,Time,Latitude,Longitude,Altitude,Speed,GForceX,GForceY,GForceZ,Lap,GyroX,GyroY,GyroZ\n";
    case Shape::plainTrack:
        break;
    }
    return "Time,Latitude,Longitude,Speed (km/h),GForceX,GForceY,LeanAngle,Lap\n";
}

// The metadata lines that are known before any row is written.
std::string leadingPreamble(const Options& options)
{
    std::string text;
    const auto line = [&](const char* key, const std::string& value) {
        text += key;
        text += ',';
        text += csvField(value);
        text += '\n';
    };
    switch (options.shape) {
    case Shape::zaroCsv: {
        std::string date;
        appendTimestamp(date, options.startUnixMs, Stamp::secondsZ);
        line("Format", "ZARO CSV");
        line("Track", options.trackName);
        line("Configuration", options.configuration);
        line("Session Type", options.sessionType);
        line("Data Source", options.dataSource);
        line("Date UTC", date);
        break;
    }
    case Shape::raceBoxCsv: {
        std::string date;
        appendTimestamp(date, options.startUnixMs, Stamp::secondsOffset);
        line("Format", "RaceBox CSV");
        line("Data Source", options.dataSource);
        line("Date UTC", date);
        line("Session Type", options.sessionType);
        line("Track", options.trackName);
        line("Configuration", options.configuration);
        break;
    }
    case Shape::plainTrack:
        break;
    }
    return text;
}

enum class Phase { outLap, timedLap, inLap };

// The moving state of the simulated rider, one step per sample.
struct Ride {
    Phase phase = Phase::outLap;
    std::int64_t lap = 0;
    double s = 0;  // metres from the start line along the current lap
    double paceFactor = pitLaneFactor;
    double targetPace = pitLaneFactor;
    double lineOffsetM = 0;  // how far beside the ideal line this lap is ridden
    double previousSpeedMps = 0;
    double lastStepM = 0;  // distance covered between the previous row and this one
    CompletedLap current;
    int sectorsPassed = 0;
};

struct Sample {
    double latDeg = 0;
    double lonDeg = 0;
    double altitudeM = 0;
    double speedKmh = 0;
    double gForceX = 0;
    double gForceY = 0;
    double gForceZ = 0;
    double leanDeg = 0;
    double yawRateDegPerSec = 0;
    double rollRateDegPerSec = 0;
    double pitchRateDegPerSec = 0;
};

Sample sampleAt(const Track& track, const Ride& ride, double speedMps, double dt, double turnRad, Random& random)
{
    const Station station = track.at(ride.s);
    const double lateralOffset = ride.lineOffsetM + random.bell(0.3);
    const double east = station.x - std::sin(station.headingRad) * lateralOffset + random.bell(0.2);
    const double north = station.y + std::cos(station.headingRad) * lateralOffset + random.bell(0.2);
    const double x = east * std::cos(turnRad) - north * std::sin(turnRad);
    const double y = east * std::sin(turnRad) + north * std::cos(turnRad);
    const double metresPerDegreeLon = metresPerDegreeLat * std::cos(originLatDeg * pi / 180.0);

    Sample sample;
    sample.latDeg = originLatDeg + y / metresPerDegreeLat;
    sample.lonDeg = originLonDeg + x / metresPerDegreeLon;
    sample.altitudeM = 96.0 + 7.5 * std::sin(2 * pi * ride.s / track.lengthM) + random.bell(0.4);
    sample.speedKmh = std::max(0.0, speedMps * 3.6 + random.bell(0.4));
    sample.gForceX = (speedMps - ride.previousSpeedMps) / dt / gravity + random.bell(0.03);
    sample.gForceY = speedMps * speedMps * station.curvature / gravity + random.bell(0.04);
    sample.gForceZ = 1.0 + random.bell(0.04);
    sample.leanDeg = std::atan(sample.gForceY) * 180.0 / pi + random.bell(0.5);
    sample.yawRateDegPerSec = speedMps * station.curvature * 180.0 / pi + random.bell(0.8);
    sample.rollRateDegPerSec = random.bell(2.0);
    sample.pitchRateDegPerSec = random.bell(1.0);
    return sample;
}

std::string dataRow(Shape shape, std::int64_t record, std::int64_t unixMs, std::int64_t lap, const Sample& sample)
{
    std::string row;
    row.reserve(128);
    if (shape == Shape::raceBoxCsv) {
        appendInteger(row, record);
        row += ',';
    }
    appendTimestamp(row, unixMs, Stamp::millisecondsZ);
    row += ',';
    appendFixed(row, sample.latDeg, 7);
    row += ',';
    appendFixed(row, sample.lonDeg, 7);
    row += ',';
    if (shape == Shape::raceBoxCsv) {
        appendFixed(row, sample.altitudeM, 1);
        row += ',';
    }
    appendFixed(row, sample.speedKmh, 2);
    row += ',';
    appendFixed(row, sample.gForceX, 3);
    row += ',';
    appendFixed(row, sample.gForceY, 3);
    row += ',';
    if (shape == Shape::raceBoxCsv) {
        appendFixed(row, sample.gForceZ, 3);
        row += ',';
        appendInteger(row, lap);
        row += ',';
        appendFixed(row, sample.rollRateDegPerSec, 2);
        row += ',';
        appendFixed(row, sample.pitchRateDegPerSec, 2);
        row += ',';
        appendFixed(row, sample.yawRateDegPerSec, 2);
    } else {
        appendFixed(row, sample.leanDeg, 1);
        row += ',';
        appendInteger(row, lap);
    }
    row += '\n';
    return row;
}

}  // namespace

std::string generate(const Options& options)
{
    if (!(options.sampleHz > 0.0 && options.sampleHz <= 1000.0)) {
        throw std::invalid_argument("sampleHz must be above 0 and at most 1000");
    }
    if (options.timedLaps && *options.timedLaps < 0) {
        throw std::invalid_argument("timedLaps must not be negative");
    }

    const Track track = buildTrack();
    Random random(options.seed);
    const double dt = 1.0 / options.sampleHz;
    const std::string lead = leadingPreamble(options);
    const std::string head = header(options.shape);
    const bool hasPreamble = options.shape != Shape::plainTrack;
    const std::size_t fixedBytes = lead.size() + head.size() + (hasPreamble ? 1 + lateLineReserve : 0);
    if (fixedBytes > options.maxBytes) {
        return {};
    }

    std::string body;
    body.reserve(std::min<std::size_t>(options.maxBytes - fixedBytes, std::size_t{1} << 28));
    std::string lapRows;
    std::vector<CompletedLap> laps;

    // Each seed lays the circuit down at an angle of its own, so that examples do not all look alike.
    const double turnRad = 2 * pi * Random(options.seed ^ 0x5EEDULL).uniform();
    Ride ride;
    ride.s = pitExitFraction * track.lengthM;
    std::int64_t lastRowMs = options.startUnixMs;
    for (std::int64_t k = 0;; ++k) {
        // Stopping while the longest row and lap row still fit keeps every lap row backed by rows.
        if (fixedBytes + lapRows.size() + body.size() + longestRow + longestLapRow > options.maxBytes) {
            break;
        }
        const auto unixMs = options.startUnixMs + std::llround(static_cast<double>(k) * 1000.0 / options.sampleHz);
        // A timer sees the line between two rows: the moment is interpolated from the overshoot.
        const auto crossedAt = [&](double overshootM) {
            const double share = ride.lastStepM > 0 ? std::clamp(overshootM / ride.lastStepM, 0.0, 1.0) : 0.0;
            return unixMs - std::llround(share * static_cast<double>(unixMs - lastRowMs));
        };
        if (ride.s >= track.lengthM) {
            const std::int64_t lineMs = crossedAt(ride.s - track.lengthM);
            ride.s -= track.lengthM;
            if (ride.phase == Phase::timedLap) {
                ride.current.endMs = lineMs;
                laps.push_back(ride.current);
                if (hasPreamble) {
                    lapRows += lapRow(options.shape, ride.current);
                }
            }
            const bool moreLaps = !options.timedLaps || (ride.phase == Phase::outLap ? *options.timedLaps > 0 : ride.lap < *options.timedLaps);
            if (ride.phase != Phase::inLap && moreLaps) {
                ride.phase = Phase::timedLap;
                ride.lap += 1;
                ride.targetPace = 0.965 + random.uniform() * 0.035;
                ride.lineOffsetM = random.centred(1.2);
                ride.current = {ride.lap, lineMs, 0, 0, 0};
                ride.sectorsPassed = 0;
            } else {
                ride.phase = Phase::inLap;
                ride.lap = 0;
                ride.targetPace = pitLaneFactor;
            }
        }
        if (ride.phase == Phase::inLap && ride.s >= pitEntryFraction * track.lengthM) {
            break;
        }
        if (ride.phase == Phase::timedLap) {
            if (ride.sectorsPassed == 0 && ride.s >= track.lengthM / 3) {
                ride.current.sector1EndMs = crossedAt(ride.s - track.lengthM / 3);
                ride.sectorsPassed = 1;
            }
            if (ride.sectorsPassed == 1 && ride.s >= track.lengthM * 2 / 3) {
                ride.current.sector2EndMs = crossedAt(ride.s - track.lengthM * 2 / 3);
                ride.sectorsPassed = 2;
            }
        }

        ride.paceFactor += (ride.targetPace - ride.paceFactor) * std::min(1.0, dt / 3.0);
        const double speedMps = track.at(ride.s).speedMps * ride.paceFactor;
        if (k == 0) {
            ride.previousSpeedMps = speedMps;
        }
        const Sample sample = sampleAt(track, ride, speedMps, dt, turnRad, random);
        body += dataRow(options.shape, k + 1, unixMs, ride.lap, sample);
        lastRowMs = unixMs;
        ride.previousSpeedMps = speedMps;
        ride.lastStepM = speedMps * dt;
        ride.s += ride.lastStepM;
    }

    std::string file = lead;
    if (options.shape == Shape::raceBoxCsv) {
        file += "Laps,";
        appendInteger(file, static_cast<std::int64_t>(laps.size()));
        file += '\n';
        if (!laps.empty()) {
            const auto best = std::min_element(laps.begin(), laps.end(), [](const CompletedLap& a, const CompletedLap& b) {
                return a.endMs - a.startMs < b.endMs - b.startMs;
            });
            file += "Best Lap Time,";
            appendSeconds(file, best->endMs - best->startMs);
            file += '\n';
        }
    }
    file += lapRows;
    if (options.shape == Shape::zaroCsv) {
        // Whatever follows the last crossing of the line, timed lap or in-lap, is reported unfinished.
        const std::int64_t unfinishedFrom = laps.empty() ? options.startUnixMs : laps.back().endMs;
        if (lastRowMs > unfinishedFrom) {
            file += "Incomplete lap,";
            appendSeconds(file, lastRowMs - unfinishedFrom);
            file += '\n';
        }
    }
    if (hasPreamble) {
        file += '\n';
    }
    file += head;
    file.reserve(file.size() + body.size());
    file += body;
    return file;
}

}  // namespace zaro::SessionGenerator
