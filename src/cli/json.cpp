#include "cli/json.hpp"

#include "analysis/session_analysis.hpp"
#include "format/card_texts.hpp"
#include "format/zaro_session_format.hpp"

namespace zaro::json {

namespace {

template <typename Numbers>
void writeNumbers(Writer& writer, const Numbers& numbers)
{
    writer.beginArray();
    for (double number : numbers) writer.number(number);
    writer.endArray();
}

void writeLap(Writer& writer, const ZaroSessionLap& lap)
{
    writer.beginObject();
    writer.key("kind");
    writer.string(ZaroSessionLap::rawValue(lap.kind));
    writer.key("number");
    writer.optionalInteger(lap.number);
    writer.key("timeSec");
    writer.number(lap.timeSec);
    writer.key("sectors");
    writeNumbers(writer, lap.sectors);
    writer.endObject();
}

void writeAnalysis(Writer& writer, const ZaroSession& session, const SessionAnalysis& figures)
{
    writer.beginObject();
    writer.key("bestSectorsSec");
    writeNumbers(writer, figures.bestSectorsSec);
    writer.key("theoreticalBestSec");
    writer.optionalNumber(figures.theoreticalBestSec);
    writer.key("lapDeltasSec");
    writer.beginArray();
    for (const auto& lap : session.laps) {
        if (ZaroSessionAnalysis::isCompleted(lap)) writer.optionalNumber(ZaroSessionAnalysis::deltaToBest(lap, session.bestLapSec));
    }
    writer.endArray();
    writer.key("cleanLapCount");
    writer.integer(figures.cleanLapCount);
    writer.key("meanCleanLapSec");
    writer.optionalNumber(figures.meanCleanLapSec);
    writer.key("stdDevCleanLapSec");
    writer.optionalNumber(figures.stdDevCleanLapSec);
    writer.endObject();
}

// Row by row and the sectors piece by piece, so that neither millions of laps nor millions of
// sectors are ever held as texts.
void writeLapRow(Writer& writer, const ZaroSessionLap& lap, std::optional<double> bestLapSec)
{
    writer.beginObject();
    writer.key("name");
    writer.string(ZaroSessionFormat::lapName(lap));
    writer.key("time");
    writer.string(ZaroSessionFormat::lapTime(lap.timeSec));
    writer.key("sectors");
    writer.beginString();
    ZaroSessionFormat::forEachSectorPiece(lap, [&writer](std::string_view piece, std::optional<std::size_t>) {
        writer.stringPart(piece);
        return true;
    });
    writer.endString();
    writer.key("delta");
    writer.string(ZaroSessionFormat::lapDelta(ZaroSessionAnalysis::deltaToBest(lap, bestLapSec)));
    writer.endObject();
}

void writeDisplay(Writer& writer, const ZaroSession& session, const SessionAnalysis& figures)
{
    const auto stats = ZaroSessionFormat::statTexts(session);
    writer.beginObject();
    writer.key("bestLap");
    writer.string(stats.bestLap);
    writer.key("laps");
    writer.string(stats.laps);
    writer.key("duration");
    writer.string(stats.duration);
    writer.key("distance");
    writer.string(stats.distance);
    writer.key("maxSpeed");
    writer.string(stats.maxSpeed);
    writer.key("samples");
    writer.string(stats.samples);
    writer.key("startedAt");
    writer.string(ZaroSessionFormat::dateTime(session.startedAt));
    writer.key("theoreticalBest");
    writer.string(ZaroSessionFormat::lapTime(figures.theoreticalBestSec));
    writer.key("avgSpeed");
    writer.string(ZaroSessionFormat::speedKmh(session.avgSpeedMps));
    writer.key("lapRows");
    writer.beginArray();
    for (const auto& lap : session.laps) {
        if (ZaroSessionAnalysis::isCompleted(lap)) writeLapRow(writer, lap, session.bestLapSec);
    }
    writer.endArray();
    writer.endObject();
}

}  // namespace

void writeSession(Writer& writer, const ZaroSession& session)
{
    writer.beginObject();
    writer.key("fileName");
    writer.string(session.fileName);
    writer.key("trackName");
    writer.string(session.trackName);
    writer.key("configuration");
    writer.optionalString(session.configuration);
    writer.key("sessionType");
    writer.optionalString(session.sessionType);
    writer.key("dataSource");
    writer.string(session.dataSource);
    writer.key("startedAt");
    writer.string(session.startedAt);
    writer.key("endedAt");
    writer.string(session.endedAt);
    writer.key("lapCount");
    writer.integer(session.lapCount);
    writer.key("bestLapSec");
    writer.optionalNumber(session.bestLapSec);
    writer.key("laps");
    writer.beginArray();
    for (const auto& lap : session.laps) writeLap(writer, lap);
    writer.endArray();
    writer.key("pointCount");
    writer.integer(session.pointCount);
    writer.key("polyline");
    writer.beginArray();
    for (const auto& point : session.polyline) {
        writer.beginArray();
        writer.number(point.lat);
        writer.number(point.lon);
        writer.endArray();
    }
    writer.endArray();
    writer.key("distanceM");
    writer.number(session.distanceM);
    writer.key("maxSpeedMps");
    writer.optionalNumber(session.maxSpeedMps);
    writer.key("avgSpeedMps");
    writer.optionalNumber(session.avgSpeedMps);
    writer.key("maxAbsGx");
    writer.optionalNumber(session.maxAbsGx);
    writer.key("maxAbsGy");
    writer.optionalNumber(session.maxAbsGy);
    writer.key("maxLeanDeg");
    writer.optionalNumber(session.maxLeanDeg);
    const SessionAnalysis figures = ZaroSessionAnalysis::analyse(session);
    writer.key("analysis");
    writeAnalysis(writer, session, figures);
    writer.key("display");
    writeDisplay(writer, session, figures);
    writer.endObject();
}

void writeFailure(Writer& writer, std::string_view fileName, const cli::FileFailure& failure)
{
    writer.beginObject();
    writer.key("fileName");
    writer.string(fileName);
    writer.key("error");
    writer.beginObject();
    writer.key("kind");
    writer.string(cli::FileFailure::rawValue(failure.kind));
    writer.key("message");
    writer.string(failure.message);
    if (failure.kind == cli::FileFailure::Kind::missingColumns) {
        writer.key("columns");
        writer.beginArray();
        for (const auto& column : failure.columns) writer.string(column);
        writer.endArray();
    }
    writer.endObject();
    writer.endObject();
}

}  // namespace zaro::json
