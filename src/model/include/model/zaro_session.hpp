// The session record: what the parser produces and every renderer reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zaro {

struct ZaroSessionPoint {
    double lat = 0;  // degrees, -90 to 90
    double lon = 0;  // degrees, -180 to 180

    friend bool operator==(const ZaroSessionPoint&, const ZaroSessionPoint&) = default;
};

/// A lap's sector times in seconds, in sector order. A value like a vector of doubles, one pointer wide,
/// so that the laps of a preamble that lists millions of them stay small.
class SectorList {
public:
    SectorList() = default;
    SectorList(std::initializer_list<double> values) : SectorList(std::vector<double>(values)) {}
    explicit SectorList(std::vector<double> values);
    SectorList(const SectorList& other);
    SectorList& operator=(const SectorList& other);
    SectorList(SectorList&&) noexcept = default;
    SectorList& operator=(SectorList&&) noexcept = default;
    ~SectorList() = default;

    /// A list of `count` values that `fill` writes, in order, to the array it is handed; the values
    /// are never held twice.
    template <typename Fill>
    static SectorList filled(std::size_t count, Fill fill)
    {
        SectorList list(count);
        if (count > 0) fill(list.block_.get() + 1);
        return list;
    }

    std::size_t size() const;
    bool empty() const { return !block_; }
    const double* begin() const { return block_ ? block_.get() + 1 : nullptr; }
    const double* end() const { return begin() + size(); }
    double operator[](std::size_t i) const { return begin()[i]; }

    /// Same length and numerically equal values (a NaN equals nothing).
    friend bool operator==(const SectorList& a, const SectorList& b);

private:
    explicit SectorList(std::size_t count);

    // One allocation: the count's bits in the first slot, then the values. None when empty.
    std::unique_ptr<double[]> block_;
};

struct ZaroSessionLap {
    enum class Kind : std::uint8_t { lap, incomplete };

    /// The kind whose raw string is exactly `raw` ("lap" or "incomplete").
    static std::optional<Kind> kindFromRaw(std::string_view raw);
    /// "lap" or "incomplete".
    static std::string_view rawValue(Kind kind);

    Kind kind = Kind::lap;
    std::optional<std::int64_t> number;
    double timeSec = 0;
    SectorList sectors;

    friend bool operator==(const ZaroSessionLap&, const ZaroSessionLap&) = default;
};

struct ZaroSession {
    std::string fileName;
    std::string trackName;
    std::optional<std::string> configuration;
    std::optional<std::string> sessionType;
    std::string dataSource;
    std::string startedAt;  // as written in the file
    std::string endedAt;    // as written in the file
    std::int64_t lapCount = 0;
    std::optional<double> bestLapSec;
    std::vector<ZaroSessionLap> laps;
    std::int64_t pointCount = 0;  // accepted GPS rows, not polyline points
    std::vector<ZaroSessionPoint> polyline;
    double distanceM = 0;
    std::optional<double> maxSpeedMps;
    std::optional<double> avgSpeedMps;
    std::optional<double> maxAbsGx;
    std::optional<double> maxAbsGy;
    std::optional<double> maxLeanDeg;

    /// Field by field; texts compare as canonically equivalent Unicode, doubles numerically.
    friend bool operator==(const ZaroSession& a, const ZaroSession& b);
};

}  // namespace zaro
