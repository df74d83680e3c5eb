#include "model/zaro_session.hpp"

#include <algorithm>
#include <bit>

#include "base/unicode.hpp"

namespace zaro {

SectorList::SectorList(std::size_t count)
{
    if (count == 0) return;
    block_ = std::make_unique_for_overwrite<double[]>(count + 1);
    block_[0] = std::bit_cast<double>(static_cast<std::uint64_t>(count));
}

SectorList::SectorList(std::vector<double> values)
    : SectorList(filled(values.size(), [&values](double* out) { std::copy(values.begin(), values.end(), out); }))
{
}

SectorList::SectorList(const SectorList& other)
    : SectorList(filled(other.size(), [&other](double* out) { std::copy(other.begin(), other.end(), out); }))
{
}

std::size_t SectorList::size() const
{
    return block_ ? static_cast<std::size_t>(std::bit_cast<std::uint64_t>(block_[0])) : 0;
}

SectorList& SectorList::operator=(const SectorList& other)
{
    if (this != &other) *this = SectorList(other);
    return *this;
}

bool operator==(const SectorList& a, const SectorList& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

std::optional<ZaroSessionLap::Kind> ZaroSessionLap::kindFromRaw(std::string_view raw)
{
    if (raw == "lap") return Kind::lap;
    if (raw == "incomplete") return Kind::incomplete;
    return std::nullopt;
}

std::string_view ZaroSessionLap::rawValue(Kind kind)
{
    return kind == Kind::lap ? "lap" : "incomplete";
}

namespace {

bool sameText(const std::string& a, const std::string& b)
{
    return text::canonicallyEqual(a, b);
}

bool sameText(const std::optional<std::string>& a, const std::optional<std::string>& b)
{
    if (a.has_value() != b.has_value()) return false;
    return !a || text::canonicallyEqual(*a, *b);
}

}  // namespace

bool operator==(const ZaroSession& a, const ZaroSession& b)
{
    return sameText(a.fileName, b.fileName) && sameText(a.trackName, b.trackName)
        && sameText(a.configuration, b.configuration) && sameText(a.sessionType, b.sessionType)
        && sameText(a.dataSource, b.dataSource) && sameText(a.startedAt, b.startedAt)
        && sameText(a.endedAt, b.endedAt) && a.lapCount == b.lapCount
        && a.bestLapSec == b.bestLapSec && a.laps == b.laps && a.pointCount == b.pointCount
        && a.polyline == b.polyline && a.distanceM == b.distanceM
        && a.maxSpeedMps == b.maxSpeedMps && a.avgSpeedMps == b.avgSpeedMps
        && a.maxAbsGx == b.maxAbsGx && a.maxAbsGy == b.maxAbsGy && a.maxLeanDeg == b.maxLeanDeg;
}

}  // namespace zaro
