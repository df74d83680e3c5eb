#include "foreign_writers.hpp"

#include <charconv>
#include <cstdlib>
#include <stdexcept>

namespace zaro::SessionGenerator {

namespace {

std::int64_t unixMsOf(std::string_view stamp)
{
    // "2024-06-01T10:15:30.240Z", as the generator writes it.
    const auto number = [stamp](std::size_t at, std::size_t length) {
        std::int64_t value = 0;
        std::from_chars(stamp.data() + at, stamp.data() + at + length, value);
        return value;
    };
    const std::int64_t year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const std::int64_t y = month <= 2 ? year - 1 : year;
    const std::int64_t era = y / 400;
    const std::int64_t yearOfEra = y - era * 400;
    const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t days = era * 146'097 + yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear - 719'468;
    return ((days * 24 + number(11, 2)) * 60 + number(14, 2)) * 60'000 + number(17, 2) * 1000 + number(20, 3);
}

}  // namespace

std::vector<Row> rowsOf(std::string_view text)
{
    std::vector<Row> rows;
    std::size_t at = text.find('\n') + 1;  // past the header
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        const std::string_view line = text.substr(at, end - at);
        at = end == std::string_view::npos ? text.size() : end + 1;
        std::string_view fields[8];
        std::size_t from = 0;
        for (auto& field : fields) {
            const std::size_t comma = line.find(',', from);
            field = line.substr(from, comma - from);
            from = comma + 1;
        }
        const auto real = [](std::string_view field) { return std::strtod(std::string(field).c_str(), nullptr); };
        rows.push_back({unixMsOf(fields[0]), real(fields[1]), real(fields[2]), real(fields[3]), real(fields[4]),
                        real(fields[5]), real(fields[6]), static_cast<std::int64_t>(real(fields[7]))});
    }
    return rows;
}

std::string writeForeign(Foreign family, const std::vector<Row>& rows, const Options& options)
{
    switch (family) {
    case Foreign::raceChrono: return writeRaceChrono(rows, options);
    case Foreign::trackAddict: return writeTrackAddict(rows, options);
    case Foreign::aim: return writeAim(rows, options);
    case Foreign::vbox: return writeVbox(rows, options);
    case Foreign::harrys: return writeHarrys(rows, options);
    case Foreign::raceCapture: return writeRaceCapture(rows, options);
    case Foreign::alfano: return writeAlfano(rows, options);
    case Foreign::gpsTrack: return writeGpsTrack(rows, options);
    }
    return {};
}

std::string generateForeign(Foreign family, const Options& options)
{
    Options plain = options;
    plain.shape = Shape::plainTrack;
    // A family's rows are longer or shorter than the plain track's: its file is made again from fewer
    // rows until it fits.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::vector<Row> rows = rowsOf(generate(plain));
        const std::string text = writeForeign(family, rows, options);
        if (text.size() <= options.maxBytes) return text;
        plain.maxBytes = static_cast<std::size_t>(static_cast<double>(plain.maxBytes) * 0.98 * static_cast<double>(options.maxBytes) / static_cast<double>(text.size()));
    }
    throw std::runtime_error("the rows do not fit in maxBytes");
}

}  // namespace zaro::SessionGenerator
