#include "json.hpp"

#include <charconv>
#include <cmath>

#include "base/unicode.hpp"
#include "format/card_texts.hpp"
#include "format/zaro_session_format.hpp"

namespace zaro::json {

namespace {

// Large enough that a stream sees few writes, small enough that the buffer never matters.
constexpr std::size_t flushThreshold = 64 * 1024;

bool needsEscape(unsigned char c)
{
    return c < 0x20 || c == '"' || c == '\\' || c == 0x7f;
}

}  // namespace

Writer::Writer(std::ostream& out) : stream_(&out), out_(buffer_) {}

Writer::Writer(std::string& out) : out_(out) {}

Writer::~Writer()
{
    flush();
}

void Writer::beginObject()
{
    open('{');
}

void Writer::endObject()
{
    close('}');
}

void Writer::beginArray()
{
    open('[');
}

void Writer::endArray()
{
    close(']');
}

void Writer::key(std::string_view name)
{
    beforeValue();
    writeString(name);
    out_ += ": ";
    afterKey_ = true;
}

void Writer::string(std::string_view text)
{
    beforeValue();
    writeString(text);
    afterValue();
}

void Writer::optionalString(const std::optional<std::string>& text)
{
    if (text) {
        string(*text);
    } else {
        null();
    }
}

void Writer::number(double value)
{
    if (std::isnan(value)) {
        string("NaN");
        return;
    }
    if (std::isinf(value)) {
        string(value > 0 ? "Infinity" : "-Infinity");
        return;
    }
    beforeValue();
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out_.append(digits, result.ptr);
    afterValue();
}

void Writer::optionalNumber(std::optional<double> value)
{
    if (value) {
        number(*value);
    } else {
        null();
    }
}

void Writer::integer(std::int64_t value)
{
    beforeValue();
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out_.append(digits, result.ptr);
    afterValue();
}

void Writer::optionalInteger(std::optional<std::int64_t> value)
{
    if (value) {
        integer(*value);
    } else {
        null();
    }
}

void Writer::null()
{
    beforeValue();
    out_ += "null";
    afterValue();
}

void Writer::flush()
{
    if (stream_ && !buffer_.empty()) {
        stream_->write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
        buffer_.clear();
    }
}

void Writer::beforeValue()
{
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!firstInScope_.empty()) {
        if (!firstInScope_.back()) out_ += ", ";
        firstInScope_.back() = false;
    }
}

void Writer::afterValue()
{
    // A finished top-level value goes out at once, so that whatever the caller writes to the
    // stream next lands after it.
    if (stream_ && (firstInScope_.empty() || buffer_.size() >= flushThreshold)) flush();
}

void Writer::open(char bracket)
{
    beforeValue();
    out_ += bracket;
    firstInScope_.push_back(true);
}

void Writer::close(char bracket)
{
    out_ += bracket;
    firstInScope_.pop_back();
    afterValue();
}

void Writer::writeString(std::string_view text)
{
    out_ += '"';
    if (text::isValidUtf8(text)) {
        writeEscaped(text);
    } else {
        std::string repaired;
        text::appendUtf8Lossy(text, repaired);
        writeEscaped(repaired);
    }
    out_ += '"';
}

void Writer::writeEscaped(std::string_view text)
{
    static constexpr char hex[] = "0123456789abcdef";
    std::size_t runStart = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!needsEscape(c)) continue;
        out_.append(text, runStart, i - runStart);
        runStart = i + 1;
        if (c == '"' || c == '\\') {
            out_ += '\\';
            out_ += static_cast<char>(c);
        } else {
            out_ += "\\u00";
            out_ += hex[c >> 4];
            out_ += hex[c & 0xf];
        }
    }
    out_.append(text, runStart, text.size() - runStart);
}

namespace {

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
    writer.beginArray();
    for (double sector : lap.sectors) writer.number(sector);
    writer.endArray();
    writer.endObject();
}

// Row by row, so that a session of millions of laps is never held as texts all at once.
void writeLapRow(Writer& writer, const ZaroSessionLap& lap)
{
    writer.beginObject();
    writer.key("name");
    writer.string(ZaroSessionFormat::lapName(lap));
    writer.key("time");
    writer.string(ZaroSessionFormat::lapTime(lap.timeSec));
    writer.key("sectors");
    writer.string(ZaroSessionFormat::sectorText(lap));
    writer.endObject();
}

void writeDisplay(Writer& writer, const ZaroSession& session)
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
    writer.key("lapRows");
    writer.beginArray();
    for (const auto& lap : session.laps) {
        if (lap.kind == ZaroSessionLap::Kind::lap) writeLapRow(writer, lap);
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
    writer.key("display");
    writeDisplay(writer, session);
    writer.endObject();
}

void writeFailure(Writer& writer, const cli::FileFailure& failure)
{
    writer.beginObject();
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
