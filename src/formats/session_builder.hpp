// What every reader of another logger's files feeds: fixes and what they carry, the session's texts and
// the laps the file states; out comes the session, counted as the parse counts its own rows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/zaro_session.hpp"
#include "parser/session_fold.hpp"

namespace zaro::formats {

/// How a file's times relate to the calendar.
enum class Clock : std::uint8_t {
    utc,    // instants: written with Z
    local,  // the logger's wall clock, zone unknown: written as the file states it, without a zone
};

/// One row of a log, as a reader found it.
struct Sample {
    double lat = 0;
    double lon = 0;
    /// 100 µs ticks since 1970-01-01T00:00 on the session's clock; none when the row has no time.
    std::optional<std::int64_t> ticks{};
    std::optional<double> speedMps{};
    std::optional<double> gForceX{};
    std::optional<double> gForceY{};
    std::optional<double> leanDeg{};
    /// The lap column's value, where the file has one; laps are then inferred from it.
    std::optional<std::int64_t> lap{};
};

/// What a file says of its session besides its rows.
struct SessionInfo {
    std::string dataSource{};
    std::optional<std::string> trackName{};
    std::optional<std::string> configuration{};
    std::optional<std::string> sessionType{};
    Clock clock = Clock::utc;
    /// The times are seconds from the session's start, which is not known: they time laps, but give
    /// no start or end.
    bool relativeTimes = false;
};

class SessionBuilder {
public:
    /// `rowBytes`: the size of the rows, for the spacing of the track's candidates. A builder for a
    /// later piece of the rows (`fromStart` false) marks checkpoints instead of taking candidates.
    explicit SessionBuilder(std::int64_t rowBytes, bool fromStart = true);

    /// Whether a row's position is a fix: within ±90° and ±180°, and not exactly 0, 0 (a logger's way
    /// of saying it has none).
    static bool isFix(const Sample& sample);

    /// Folds in a row, which begins at offset `rowBegin` of the text; false, and nothing counted,
    /// when its position is no fix.
    bool add(const Sample& sample, std::int64_t rowBegin = 0);

    std::int64_t rowBytes() const { return rowBytes_; }
    /// For a later piece: where its candidates lie once `fixesBefore` fixes come before it.
    std::vector<ZaroSessionParser::SessionFold::CandidateLookup> candidateLookups(std::int64_t fixesBefore, std::int64_t end) const
    {
        return fold_.candidateLookups(checkpoints_, fixesBefore, end);
    }
    void setCandidates(std::vector<ZaroSessionPoint> candidates) { fold_.setCandidates(std::move(candidates)); }
    /// Folds in the builder of the rows that follow, whose candidates are set.
    void append(SessionBuilder&& later);

    std::int64_t fixes() const { return fold_.fixes(); }
    std::optional<std::int64_t> firstTicks() const { return firstTicks_; }
    std::optional<std::int64_t> lastTicks() const { return lastTicks_; }

    /// Notes that a lap the file states begins or ends at `ticks`, which the latest fix has reached:
    /// its distance is then known for telling stubs from laps.
    void markLapBoundary(std::int64_t ticks);

    /// A lap the file states, from one instant to another; its time is the file's own when given.
    void addStatedLap(ZaroSessionLap::Kind kind, std::optional<std::int64_t> number, std::int64_t fromTicks,
                      std::int64_t toTicks, std::optional<double> statedSec = std::nullopt);

    /// The session. Laps: those stated, else those the lap column implies; a lap that covers less
    /// than half the median distance of the complete laps is incomplete. Throws
    /// ParseError::missingTelemetry when no row held a fix.
    ZaroSession finish(std::string fileName, SessionInfo info);

private:
    struct Boundary {
        std::int64_t ticks;
        double distanceM;
    };
    struct StatedLap {
        ZaroSessionLap lap;
        ZaroSessionParser::LapSpan span;
    };
    std::optional<double> distanceAt(std::int64_t ticks);

    std::int64_t rowBytes_;
    ZaroSessionParser::SessionFold fold_;
    std::vector<std::int64_t> checkpoints_;
    std::optional<std::int64_t> firstTicks_;
    std::optional<std::int64_t> lastTicks_;
    std::optional<std::int64_t> latestLap_;
    std::optional<std::int64_t> firstLap_;  // of the first timed row with a lap number
    std::int64_t firstLapTicks_ = 0;
    std::vector<Boundary> boundaries_;  // where lap numbers change, or stated laps begin and end
    std::vector<StatedLap> stated_;
};

}  // namespace zaro::formats
