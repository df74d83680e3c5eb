#include "formats/packed_reading.hpp"

#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <type_traits>
#include <utility>
#include <vector>

#include "formats/session_reading.hpp"
#include "parser/parse_error.hpp"

namespace zaro::formats {

namespace {

// What the bytes hold: the first byte says which outcome, the rest is its content.
enum class Outcome : std::uint8_t { session = 'S', parseError = 'P', systemError = 'E', noMemory = 'M', other = 'O' };

[[noreturn]] void throwDamaged()
{
    throw std::runtime_error("The file's reading came back damaged.");
}

// Fixed-width numbers in the machine's own byte order: both ends are the same program on the same machine.
class Writer {
public:
    template <typename Number>
    void number(Number value)
    {
        static_assert(std::is_arithmetic_v<Number>);
        char bytes[sizeof value];
        std::memcpy(bytes, &value, sizeof value);
        out_.append(bytes, sizeof value);
    }
    void text(std::string_view value)
    {
        number(static_cast<std::uint64_t>(value.size()));
        out_.append(value);
    }
    template <typename Value, typename Write>
    void optional(const std::optional<Value>& value, Write write)
    {
        number(static_cast<std::uint8_t>(value.has_value()));
        if (value) write(*value);
    }
    void optionalNumber(const std::optional<double>& value)
    {
        optional(value, [this](double v) { number(v); });
    }
    std::string take() { return std::move(out_); }

private:
    std::string out_;
};

class Reader {
public:
    explicit Reader(std::string_view in) : in_(in) {}

    template <typename Number>
    Number number()
    {
        Number value;
        std::memcpy(&value, bytes(sizeof value).data(), sizeof value);
        return value;
    }
    std::string text() { return std::string(bytes(count(1))); }
    bool flag()
    {
        const auto value = number<std::uint8_t>();
        if (value > 1) throwDamaged();
        return value == 1;
    }
    std::optional<double> optionalNumber() { return flag() ? std::optional(number<double>()) : std::nullopt; }
    std::optional<std::string> optionalText() { return flag() ? std::optional(text()) : std::nullopt; }
    /// A count of items at least `itemBytes` each, which the rest of the bytes must be able to hold.
    std::size_t count(std::size_t itemBytes)
    {
        const auto n = number<std::uint64_t>();
        if (n > (in_.size() - at_) / itemBytes) throwDamaged();
        return static_cast<std::size_t>(n);
    }
    void expectEnd() const
    {
        if (at_ != in_.size()) throwDamaged();
    }

private:
    std::string_view bytes(std::size_t n)
    {
        if (n > in_.size() - at_) throwDamaged();
        const std::string_view taken = in_.substr(at_, n);
        at_ += n;
        return taken;
    }

    std::string_view in_;
    std::size_t at_ = 0;
};

// A system error whose text is the one it was thrown with, which need not be the code's own.
class CarriedSystemError : public std::system_error {
public:
    CarriedSystemError(std::error_code code, std::string text) : std::system_error(code), text_(std::move(text)) {}
    const char* what() const noexcept override { return text_.c_str(); }

private:
    std::string text_;
};

std::string packSession(const ZaroSession& s)
{
    Writer w;
    w.number(static_cast<std::uint8_t>(Outcome::session));
    w.text(s.fileName);
    w.text(s.trackName);
    w.optional(s.configuration, [&](const std::string& v) { w.text(v); });
    w.optional(s.sessionType, [&](const std::string& v) { w.text(v); });
    w.text(s.dataSource);
    w.text(s.startedAt);
    w.text(s.endedAt);
    w.number(s.lapCount);
    w.optionalNumber(s.bestLapSec);
    w.number(static_cast<std::uint64_t>(s.laps.size()));
    for (const ZaroSessionLap& lap : s.laps) {
        w.number(static_cast<std::uint8_t>(lap.kind));
        w.optional(lap.number, [&](std::int64_t v) { w.number(v); });
        w.number(lap.timeSec);
        w.number(static_cast<std::uint64_t>(lap.sectors.size()));
        for (const double sector : lap.sectors) w.number(sector);
    }
    w.number(s.pointCount);
    w.number(static_cast<std::uint64_t>(s.polyline.size()));
    for (const ZaroSessionPoint& p : s.polyline) {
        w.number(p.lat);
        w.number(p.lon);
    }
    w.number(s.distanceM);
    w.optionalNumber(s.maxSpeedMps);
    w.optionalNumber(s.avgSpeedMps);
    w.optionalNumber(s.maxAbsGx);
    w.optionalNumber(s.maxAbsGy);
    w.optionalNumber(s.maxLeanDeg);
    return w.take();
}

ZaroSession unpackSession(Reader& r)
{
    ZaroSession s;
    s.fileName = r.text();
    s.trackName = r.text();
    s.configuration = r.optionalText();
    s.sessionType = r.optionalText();
    s.dataSource = r.text();
    s.startedAt = r.text();
    s.endedAt = r.text();
    s.lapCount = r.number<std::int64_t>();
    s.bestLapSec = r.optionalNumber();
    // A lap takes at least its kind, flag, time and sector count.
    const std::size_t laps = r.count(1 + 1 + 8 + 8);
    s.laps.reserve(laps);
    for (std::size_t i = 0; i < laps; ++i) {
        ZaroSessionLap lap;
        const auto kind = r.number<std::uint8_t>();
        if (kind > static_cast<std::uint8_t>(ZaroSessionLap::Kind::incomplete)) throwDamaged();
        lap.kind = static_cast<ZaroSessionLap::Kind>(kind);
        if (r.flag()) lap.number = r.number<std::int64_t>();
        lap.timeSec = r.number<double>();
        const std::size_t sectors = r.count(8);
        lap.sectors = SectorList::filled(sectors, [&](double* values) {
            for (std::size_t k = 0; k < sectors; ++k) values[k] = r.number<double>();
        });
        s.laps.push_back(std::move(lap));
    }
    s.pointCount = r.number<std::int64_t>();
    const std::size_t points = r.count(16);
    s.polyline.reserve(points);
    for (std::size_t i = 0; i < points; ++i) {
        const double lat = r.number<double>();
        s.polyline.push_back({lat, r.number<double>()});
    }
    s.distanceM = r.number<double>();
    s.maxSpeedMps = r.optionalNumber();
    s.avgSpeedMps = r.optionalNumber();
    s.maxAbsGx = r.optionalNumber();
    s.maxAbsGy = r.optionalNumber();
    s.maxLeanDeg = r.optionalNumber();
    return s;
}

ParseError parseErrorOf(ParseError::Kind kind, std::vector<std::string> columns)
{
    switch (kind) {
    case ParseError::Kind::empty: return ParseError::empty();
    case ParseError::Kind::tooLarge: return ParseError::tooLarge();
    case ParseError::Kind::missingColumns: return ParseError::missingColumns(std::move(columns));
    case ParseError::Kind::missingTelemetry: return ParseError::missingTelemetry();
    case ParseError::Kind::unsupportedFormat: return ParseError::unsupportedFormat();
    }
    throwDamaged();
}

}  // namespace

std::string packedSessionReading(const std::filesystem::path& path, const SessionPart& part,
                                 ZaroSessionParser::Statistics statistics)
{
    Writer failure;
    try {
        ZaroSession session = readMappedSessionFile(path, 0, statistics);
        return packSession(part ? part(std::move(session)) : session);
    } catch (const ParseError& error) {
        failure.number(static_cast<std::uint8_t>(Outcome::parseError));
        failure.number(static_cast<std::uint8_t>(error.kind()));
        failure.number(static_cast<std::uint64_t>(error.columns().size()));
        for (const std::string& column : error.columns()) failure.text(column);
    } catch (const std::system_error& error) {
        failure.number(static_cast<std::uint8_t>(Outcome::systemError));
        const bool generic = error.code().category() == std::generic_category();
        failure.number(static_cast<std::uint8_t>(generic));
        failure.number(static_cast<std::int32_t>(error.code().value()));
        failure.text(error.what());
    } catch (const std::bad_alloc&) {
        failure = Writer();
        failure.number(static_cast<std::uint8_t>(Outcome::noMemory));
    } catch (const std::exception& error) {
        failure.number(static_cast<std::uint8_t>(Outcome::other));
        failure.text(error.what());
    }
    return failure.take();
}

ZaroSession unpackSessionReading(std::string_view packed)
{
    Reader r(packed);
    switch (static_cast<Outcome>(r.number<std::uint8_t>())) {
    case Outcome::session: {
        ZaroSession session = unpackSession(r);
        r.expectEnd();
        return session;
    }
    case Outcome::parseError: {
        const auto kind = r.number<std::uint8_t>();
        if (kind > static_cast<std::uint8_t>(ParseError::Kind::unsupportedFormat)) {
            throwDamaged();
        }
        std::vector<std::string> columns(r.count(8));
        for (std::string& column : columns) column = r.text();
        r.expectEnd();
        throw parseErrorOf(static_cast<ParseError::Kind>(kind), std::move(columns));
    }
    case Outcome::systemError: {
        const bool generic = r.flag();
        const auto value = r.number<std::int32_t>();
        std::string text = r.text();
        r.expectEnd();
        throw CarriedSystemError({value, generic ? std::generic_category() : std::system_category()}, std::move(text));
    }
    case Outcome::noMemory:
        r.expectEnd();
        throw std::bad_alloc();
    case Outcome::other: {
        std::string text = r.text();
        r.expectEnd();
        throw std::runtime_error(text);
    }
    }
    throwDamaged();
}

}  // namespace zaro::formats
