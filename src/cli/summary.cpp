#include "cli/summary.hpp"

#include <cmath>
#include <filesystem>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/session_analysis.hpp"
#include "base/unicode.hpp"
#include "cli/json.hpp"
#include "cli/session_reading.hpp"
#include "cli/text_output.hpp"
#include "format/card_texts.hpp"

namespace zaro::cli {

namespace {

namespace format = ZaroSessionFormat;
namespace analysis = ZaroSessionAnalysis;

constexpr std::size_t labelWidth = 18;    // "Theoretical best" and two spaces
constexpr std::size_t lapNameWidth = 10;  // "Lap 12345" and a space
constexpr std::size_t lapTimeWidth = 11;  // "62:05.500" and two spaces
constexpr std::size_t deltaWidth = 10;    // "+1:02.500" and a space
constexpr std::string_view boldPurple = "\x1b[1;35m";
constexpr std::string_view plainText = "\x1b[0m";

using Fact = std::pair<std::string_view, std::string>;

std::string theoreticalBest(const SessionAnalysis& figures, std::optional<double> bestLapSec)
{
    std::string text = format::lapTime(figures.theoreticalBestSec);
    if (!bestLapSec) return text;
    const double gap = *figures.theoreticalBestSec - *bestLapSec;
    const std::string seconds = format::decimal(std::abs(gap), 3);
    if (seconds == "0.000") return text + "  (as the best lap)";
    return text + "  (" + seconds + (gap > 0 ? " s over" : " s under") + " the best lap)";
}

std::string largestAccelerations(const ZaroSession& session)
{
    std::string text;
    if (session.maxAbsGx) text = format::acceleration(*session.maxAbsGx) + " longitudinal";
    if (session.maxAbsGx && session.maxAbsGy) text += format::separator;
    if (session.maxAbsGy) text += format::acceleration(*session.maxAbsGy) + " lateral";
    return text;
}

// The labelled lines under the title, each only when the file gives its figure.
std::vector<Fact> factsOf(const ZaroSession& session, const SessionAnalysis& figures, format::Units units)
{
    auto stats = format::statTexts(session, units);
    std::vector<Fact> facts;
    facts.emplace_back("Started", format::dateTime(session.startedAt));
    facts.emplace_back("Best lap", std::move(stats.bestLap));
    if (figures.theoreticalBestSec) facts.emplace_back("Theoretical best", theoreticalBest(figures, session.bestLapSec));
    facts.emplace_back("Laps", std::move(stats.laps));
    if (figures.stdDevCleanLapSec) {
        facts.emplace_back("Consistency", "\u00B1" + format::decimal(*figures.stdDevCleanLapSec, 2) + " s over "
                                              + std::to_string(figures.cleanLapCount) + " clean laps");
    }
    facts.emplace_back("Duration", std::move(stats.duration));
    facts.emplace_back("Distance", std::move(stats.distance));
    facts.emplace_back("Max speed", std::move(stats.maxSpeed));
    if (session.avgSpeedMps) facts.emplace_back("Average speed", format::speed(session.avgSpeedMps, units));
    if (session.maxAbsGx || session.maxAbsGy) facts.emplace_back("Max g", largestAccelerations(session));
    if (session.maxLeanDeg) facts.emplace_back("Max lean", format::angle(*session.maxLeanDeg));
    facts.emplace_back("Samples", std::move(stats.samples));
    return facts;
}

// A lap row's gap to the best lap and its sectors, the best of each index marked, written straight
// to the output: a lap may have millions of sectors.
void appendGapAndSectors(TextLines& lines, const ZaroSessionLap& lap, std::string_view gap,
                         const std::vector<double>& bestSectors, bool colour)
{
    bool anySector = false;
    format::forEachSectorPiece(lap, [&](std::string_view piece, std::optional<std::size_t> sector) {
        std::string& line = lines.line();
        if (!std::exchange(anySector, true)) appendPadded(line, gap, deltaWidth);
        const bool best = sector && *sector < bestSectors.size() && lap.sectors[*sector] == bestSectors[*sector];
        if (best && colour) line += boldPurple;
        line += piece;
        if (best) line += colour ? plainText : "*";
        lines.spillIfLong();
        return true;
    });
    if (!anySector) lines.line() += gap;
}

void appendLapRow(TextLines& lines, const ZaroSession& session, const ZaroSessionLap& lap,
                  const SessionAnalysis& figures, bool colour)
{
    std::string& line = lines.line();
    line += "  ";
    appendPadded(line, format::lapName(lap), lapNameWidth);
    appendPadded(line, format::lapTime(lap.timeSec), lapTimeWidth);
    const auto gap = format::lapDelta(analysis::deltaToBest(lap, session.bestLapSec));
    appendGapAndSectors(lines, lap, gap, figures.bestSectorsSec, colour);
    lines.endLine();
}

}  // namespace

void writeSummary(std::ostream& out, const ZaroSession& session, const TextStyle& style)
{
    const SessionAnalysis figures = analysis::analyse(session);
    TextLines lines(out);
    text::appendPrintable(lines.line(), session.trackName);
    lines.endLine();
    text::appendPrintable(lines.line(), format::subtitle(session));
    lines.endLine();
    for (const auto& [label, value] : factsOf(session, figures, style.units)) {
        appendPadded(lines.line(), label, labelWidth);
        text::appendPrintable(lines.line(), value);
        lines.endLine();
    }
    lines.endLine();

    bool anyListed = false;
    for (const auto& lap : session.laps) {
        if (!analysis::isCompleted(lap)) continue;
        anyListed = true;
        appendLapRow(lines, session, lap, figures, style.colour);
    }
    if (!anyListed) {
        lines.line() += "  No completed laps";
        lines.endLine();
    }
}

int summarizeFiles(std::span<const std::string> files, OutputMode mode, const TextStyle& style, std::ostream& out,
                   std::ostream& err)
{
    int status = 0;
    bool printedSummary = false;
    for (const auto& file : files) {
        const bool standardInput = file == standardInputOperand;
        const auto result = standardInput ? readStandardInput() : readSession(file);
        const auto* session = std::get_if<ZaroSession>(&result);
        if (!session) status = 1;
        const std::string name = standardInput ? std::string(standardInputName) : file;
        if (mode == OutputMode::json) {
            {
                json::Writer writer(out);
                if (session) {
                    json::writeSession(writer, *session);
                } else {
                    const auto fileName = standardInput ? name : std::filesystem::path(file).filename().string();
                    json::writeFailure(writer, fileName.empty() ? file : fileName, std::get<FileFailure>(result));
                }
            }
            out << '\n';
        } else if (session) {
            if (printedSummary) out << '\n';
            writeSummary(out, *session, style);
            printedSummary = true;
        } else {
            out.flush();  // keeps the two streams in file order on a terminal
            writeFailureLine(err, name, std::get<FileFailure>(result).message);
        }
    }
    out.flush();
    if (!out) {
        err << "zaro-session: cannot write the output\n";
        return 1;
    }
    return status;
}

}  // namespace zaro::cli
