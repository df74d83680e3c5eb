// The data rows: one forward pass that folds every usable row into the session's statistics.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "header.hpp"
#include "laps.hpp"
#include "model/zaro_session.hpp"

namespace zaro::ZaroSessionParser::detail {

/// A column a row is read for, at its field position.
struct FieldNeed {
    std::int64_t position;
    Column column;
};

/// The fields of `line` at the positions of `needs` (sorted by position), each trimmed, into the
/// slot of its column; one left-to-right walk, the line is never split whole. Slots of fields the
/// line does not have are left alone.
void pickFields(std::string_view line, std::span<const FieldNeed> needs,
                std::array<std::string_view, columnCount>& values);

/// A position with the cosine of its latitude, which the step to the next row reuses.
struct Fix {
    double lat = 0;
    double lon = 0;
    double cosLat = 1;

    static Fix at(double lat, double lon);
};

/// Great-circle distance in metres on a sphere of 12742 km diameter.
double greatCircleMetres(const Fix& from, const Fix& to);

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
    std::vector<FieldNeed> needs_;  // the columns read, by position
    std::string speedColumn_;
    bool inferLaps_;
    std::int64_t stride_;

    std::int64_t accepted_ = 0;
    std::string firstTime_;
    std::string lastTime_;
    std::optional<Fix> previous_;
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

/// Evenly spaced points of `points`, at most 200, first and last kept, equal neighbours dropped.
std::vector<ZaroSessionPoint> downsample(std::vector<ZaroSessionPoint> points);

}  // namespace zaro::ZaroSessionParser::detail
