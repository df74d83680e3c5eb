#include "laps.hpp"

#include <algorithm>
#include <cmath>

#include "base/unicode.hpp"
#include "fields.hpp"

namespace zaro::ZaroSessionParser::detail {

namespace {

// Whether `s` begins with the characters of `prefix`, which ends in an ASCII character: a combining
// mark after it would fuse with that character.
bool hasCharacterPrefix(std::string_view s, std::string_view prefix)
{
    return s.starts_with(prefix) && text::isStandaloneAscii(s, prefix.size() - 1);
}

// The number of a first field such as "Lap 7": the field without any "Lap", trimmed.
std::optional<std::int64_t> lapNumber(std::string_view field)
{
    const std::size_t more = field.find("Lap", 3);
    if (more == std::string_view::npos) return readInteger(text::trimWhitespace(field.substr(3)));
    std::string digits(field.substr(3, more - 3));
    for (std::size_t i = more; i < field.size();) {
        if (field.substr(i).starts_with("Lap")) {
            i += 3;
        } else {
            digits.push_back(field[i++]);
        }
    }
    return readInteger(text::trimWhitespace(digits));
}

// The numbers after the first "sectors" field. Counted first so that the list is allocated once,
// at its final size, however many there are.
SectorList sectorsOf(std::string_view line)
{
    if (!containsIgnoringCase(line, "sectors")) return {};
    const auto walk = [line](auto&& onNumber) {
        CsvFields fields(line);
        std::string_view field;
        bool afterMarker = false;
        while (fields.next(field)) {
            if (afterMarker) {
                if (const auto value = readNumber(field)) onNumber(*value);
            } else {
                afterMarker = equalsIgnoringCase(field, "sectors");
            }
        }
    };
    std::size_t count = 0;
    walk([&count](double) { ++count; });
    return SectorList::filled(count, [&walk](double* out) { walk([&out](double value) { *out++ = value; }); });
}


}  // namespace

std::optional<ZaroSessionLap> readLapRow(std::string_view line, bool withSectors)
{
    // Without quotes the first field is plain to see: most preamble lines are told apart here.
    if (line.find('"') == std::string_view::npos) {
        const std::string_view first = text::trimWhitespace(line.substr(0, line.find(',')));
        if (!first.starts_with("Lap ") && !equalsIgnoringCase(first, "incomplete lap")) return std::nullopt;
    }

    CsvFields fields(line);
    std::string_view field;
    if (!fields.next(field)) return std::nullopt;
    std::string quotedFirst;
    std::string_view first = field;
    if (line.find('"') != std::string_view::npos) first = quotedFirst = field;  // the next field reuses the buffer
    if (!fields.next(field)) return std::nullopt;
    const std::optional<double> seconds = readNumber(field);
    if (!seconds) return std::nullopt;

    ZaroSessionLap lap;
    lap.timeSec = *seconds;
    if (hasCharacterPrefix(first, "Lap ")) {
        lap.number = lapNumber(first);
        if (!lap.number) return std::nullopt;
        lap.kind = ZaroSessionLap::Kind::lap;
    } else if (equalsIgnoringCase(first, "incomplete lap")) {
        lap.kind = ZaroSessionLap::Kind::incomplete;
    } else {
        return std::nullopt;
    }
    if (withSectors) lap.sectors = sectorsOf(line);
    return lap;
}

std::optional<ZaroSessionLap> parseLapRow(std::string_view line)
{
    return readLapRow(line, true);
}

LapSummary summariseLaps(std::vector<ZaroSessionLap> preambleLaps, const InferredLaps& inferred,
                         const Metadata& metadata)
{
    LapSummary summary;
    summary.laps = preambleLaps.empty() ? buildLaps(inferred) : std::move(preambleLaps);

    std::int64_t completed = 0;
    std::optional<double> best;
    for (const ZaroSessionLap& lap : summary.laps) {
        if (lap.kind != ZaroSessionLap::Kind::lap) continue;
        ++completed;
        if (!best || lap.timeSec < *best) best = lap.timeSec;
    }
    const auto statedCount = metadata.laps ? readInteger(*metadata.laps) : std::nullopt;
    summary.lapCount = statedCount.value_or(completed);
    const auto statedBest = metadata.bestLapTime ? readNumber(*metadata.bestLapTime) : std::nullopt;
    summary.bestLapSec = statedBest ? statedBest : best;
    return summary;
}

}  // namespace zaro::ZaroSessionParser::detail

namespace zaro::ZaroSessionParser {

std::optional<double> lapSeconds(std::int64_t fromTicks, std::int64_t toTicks)
{
    if (fromTicks >= toTicks) return std::nullopt;
    const double milliseconds = static_cast<double>(toTicks - fromTicks) / 10.0;
    return std::round(milliseconds) / 1000.0;
}

void InferredLaps::update(std::int64_t lap, std::int64_t ticks)
{
    if (!latestLap) first = {lap, ticks};
    lastTime = ticks;
    // A run of rows with one lap number needs one look-up: the first of them made the entry.
    if (latestLap != lap) firstTime.try_emplace(lap, ticks);
    if (lap == 0 && previousLap) firstZeroAfter.try_emplace(*previousLap, ticks);
    previousLap = lap >= 1 ? std::optional(lap) : std::nullopt;
    latestLap = lap;
}

namespace {

// Adds the entries of `later` that `earlier` lacks, moving the smaller map into the larger.
void addMissing(std::unordered_map<std::int64_t, std::int64_t>& earlier, std::unordered_map<std::int64_t, std::int64_t>&& later)
{
    if (later.size() > earlier.size()) {
        for (const auto& [key, value] : earlier) later.insert_or_assign(key, value);
        earlier.swap(later);
    } else {
        for (const auto& [key, value] : later) earlier.try_emplace(key, value);
    }
}

}  // namespace

void InferredLaps::append(InferredLaps&& later)
{
    if (!later.latestLap) return;
    if (!latestLap) {
        *this = std::move(later);
        return;
    }
    // The later rows' first one did not know the lap before it.
    if (later.first.first == 0 && previousLap) firstZeroAfter.try_emplace(*previousLap, later.first.second);
    addMissing(firstTime, std::move(later.firstTime));
    addMissing(firstZeroAfter, std::move(later.firstZeroAfter));
    lastTime = later.lastTime;
    previousLap = later.previousLap;
    latestLap = later.latestLap;
}

std::vector<ZaroSessionLap> buildLaps(const InferredLaps& inferred, std::vector<LapSpan>* spans)
{
    std::vector<std::int64_t> numbers;
    for (const auto& [number, ticks] : inferred.firstTime) {
        if (number >= 1) numbers.push_back(number);
    }
    std::vector<ZaroSessionLap> laps;
    if (numbers.empty()) return laps;
    std::sort(numbers.begin(), numbers.end());
    laps.reserve(numbers.size() + 1);
    const auto first = [&inferred](std::int64_t number) { return inferred.firstTime.at(number); };
    const auto add = [&](ZaroSessionLap::Kind kind, std::optional<std::int64_t> number, std::int64_t from, std::int64_t to) {
        const auto seconds = lapSeconds(from, to);
        if (!seconds) return;
        laps.push_back({kind, number, *seconds, {}});
        if (spans) spans->push_back({from, to});
    };

    if (const auto outLapStart = inferred.firstTime.find(0); outLapStart != inferred.firstTime.end()) {
        add(ZaroSessionLap::Kind::incomplete, std::nullopt, outLapStart->second, first(numbers.front()));
    }
    for (std::size_t i = 0; i + 1 < numbers.size(); ++i) {
        add(ZaroSessionLap::Kind::lap, numbers[i], first(numbers[i]), first(numbers[i + 1]));
    }
    const std::int64_t highest = numbers.back();
    const auto zero = inferred.firstZeroAfter.find(highest);
    if (zero != inferred.firstZeroAfter.end() && zero->second > first(highest)) {
        add(ZaroSessionLap::Kind::lap, highest, first(highest), zero->second);
    } else if (inferred.lastTime) {
        add(ZaroSessionLap::Kind::incomplete, std::nullopt, first(highest), *inferred.lastTime);
    }
    return laps;
}

}  // namespace zaro::ZaroSessionParser

