#include "cli/bests.hpp"

#include <cmath>
#include <tuple>

#include "cli/listing.hpp"
#include "cli/text_table.hpp"
#include "format/zaro_session_format.hpp"

namespace zaro::cli {

namespace {

namespace format = ZaroSessionFormat;

bool isTime(std::optional<double> seconds)
{
    return seconds && std::isfinite(*seconds) && *seconds > 0;
}

bool beats(std::optional<double> time, std::optional<double> best)
{
    return isTime(time) && (!best || *time < *best);
}

constexpr TableColumn tableColumns[] = {
    {"Track"}, {"Best lap", true}, {"Theoretical", true}, {"Sessions", true}, {"Set on"}, {"File"},
};

}  // namespace

std::vector<TrackBest> bestsByTrack(std::vector<SessionRow> rows)
{
    sortRows(rows, ListOrder::track);
    std::vector<TrackBest> bests;
    for (SessionRow& row : rows) {
        if (bests.empty() || std::tie(bests.back().trackName, bests.back().configuration)
                                 != std::tie(row.trackName, row.configuration)) {
            bests.push_back({row.trackName, row.configuration, std::nullopt, std::nullopt, 0});
        }
        TrackBest& best = bests.back();
        ++best.sessions;
        if (beats(row.theoreticalBestSec, best.theoreticalBestSec)) best.theoreticalBestSec = row.theoreticalBestSec;
        if (beats(row.bestLapSec, best.bestLapSession ? best.bestLapSession->bestLapSec : std::nullopt)) {
            best.bestLapSession = std::move(row);
        }
    }
    return bests;
}

void writeBests(std::ostream& out, const std::vector<TrackBest>& bests)
{
    std::vector<TableRow> cells;
    cells.reserve(bests.size());
    for (const TrackBest& best : bests) {
        const auto& session = best.bestLapSession;
        cells.push_back({
            trackText(best.trackName, best.configuration),
            format::lapTime(session ? session->bestLapSec : std::nullopt),
            format::lapTime(best.theoreticalBestSec),
            std::to_string(best.sessions),
            session ? format::dateTime(session->startedAt) : std::string(format::placeholder),
            session ? session->path : std::string(format::placeholder),
        });
    }
    writeTable(out, tableColumns, std::move(cells));
}

}  // namespace zaro::cli
