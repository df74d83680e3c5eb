// zaro-render-bench: how long the summary card takes to draw and to encode as PNG, in steady state
// and as the first card of a fresh process (font set-up included), the encoder beside the zlib
// encoding it replaced, run in the same process as the yardstick. `--encode-once ours|yardstick|none`
// draws the card and encodes it once, for instruction counts under callgrind.
#include <algorithm>
#include <cstdint>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <zlib.h>

#ifdef ZARO_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include "render/cairo_canvas.hpp"
#include "render/png.hpp"
#include "render/preview_card.hpp"

namespace {

using Clock = std::chrono::steady_clock;
namespace Card = zaro::ZaroSessionPreviewCard;

constexpr double goalPngDataMs = 25.0;
constexpr double goalFirstCardMs = 60.0;
constexpr int steadyRuns = 40;
constexpr int firstCardProcesses = 7;
constexpr const char* firstCardFlag = "--first-card";
constexpr const char* encodeOnceFlag = "--encode-once";
constexpr double goalTimeRatio = 0.25;
constexpr double goalBytesRatio = 1.5;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// A 25-minute session on a 4 km circuit: a 200-point trace (what the parser keeps), twelve laps with
// three sectors each, one of them incomplete.
zaro::ZaroSession realisticSession()
{
    zaro::ZaroSession s;
    s.fileName = "2024-06-01 Harrowby Park practice 2.csv";
    s.trackName = "Harrowby Park";
    s.dataSource = "ZARO CSV";
    s.startedAt = "2024-06-01T10:15:00.000Z";
    s.endedAt = "2024-06-01T10:40:13.480Z";
    s.lapCount = 11;
    s.bestLapSec = 98.412;
    s.pointCount = 37838;
    s.distanceM = 44871.2;
    s.maxSpeedMps = 61.7;
    for (int i = 0; i < 200; ++i) {
        const double t = 2 * 3.141592653589793 * i / 199;
        const double r = 1 + 0.3 * std::sin(3 * t) + 0.12 * std::cos(5 * t);
        s.polyline.push_back({52.07 + 0.006 * r * std::sin(t), -1.01 + 0.01 * r * std::cos(t)});
    }
    for (int i = 1; i <= 12; ++i) {
        s.laps.push_back({i == 12 ? zaro::ZaroSessionLap::Kind::incomplete : zaro::ZaroSessionLap::Kind::lap, i,
                          98.412 + (i * 7 % 11) * 0.613, {31.2 + i * 0.01, 38.5, 28.7 + i * 0.02}});
    }
    return s;
}

int pixels(double points) { return static_cast<int>(std::lround(points * Card::defaultScale)); }

// The yardstick: the encoder the programs used before, zlib level 1 on rows without filters, the top
// and bottom halves deflated on two threads and joined. Its PNG bytes, or none on failure.
namespace yardstick {

void fillRow(const zaro::PixelView& view, int y, unsigned char* out)
{
    for (int x = 0; x < view.width; ++x) {
        std::uint32_t argb;
        std::memcpy(&argb, view.data + static_cast<std::size_t>(y) * view.stride + static_cast<std::size_t>(x) * 4, 4);
        *out++ = static_cast<unsigned char>(argb >> 16);
        *out++ = static_cast<unsigned char>(argb >> 8);
        *out++ = static_cast<unsigned char>(argb);
    }
}

struct Piece {
    std::vector<unsigned char> bytes;
    uLong adler = 1;
    std::size_t rawSize = 0;
    bool ok = false;
};

Piece deflateRows(const zaro::PixelView& view, int first, int last, bool isLast)
{
    Piece piece;
    z_stream z{};
    if (deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return piece;
    const std::size_t rowBytes = static_cast<std::size_t>(view.width) * 3 + 1;
    piece.rawSize = rowBytes * static_cast<std::size_t>(last - first);
    const std::size_t room = deflateBound(&z, static_cast<uLong>(piece.rawSize)) + 64;
    const std::unique_ptr<unsigned char[]> out(new unsigned char[room]);
    z.next_out = out.get();
    z.avail_out = static_cast<uInt>(room);
    std::vector<unsigned char> row(rowBytes, 0);
    bool ok = true;
    for (int y = first; y < last && ok; ++y) {
        fillRow(view, y, row.data() + 1);
        piece.adler = adler32(piece.adler, row.data(), static_cast<uInt>(row.size()));
        z.next_in = row.data();
        z.avail_in = static_cast<uInt>(row.size());
        const int flush = y + 1 < last ? Z_NO_FLUSH : (isLast ? Z_FINISH : Z_FULL_FLUSH);
        const int status = deflate(&z, flush);
        ok = z.avail_in == 0 && (status == Z_OK || status == Z_STREAM_END) && z.avail_out > 0;
    }
    deflateEnd(&z);
    piece.bytes.assign(out.get(), out.get() + (room - z.avail_out));
    piece.ok = ok;
    return piece;
}

void appendBigEndian(std::vector<unsigned char>& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(value >> shift));
}

void appendChunk(std::vector<unsigned char>& out, const char (&type)[5], const std::vector<unsigned char>& data)
{
    appendBigEndian(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    appendBigEndian(out, static_cast<std::uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

// An opaque picture, as the card is.
std::vector<unsigned char> encode(const zaro::PixelView& view)
{
    const bool split = static_cast<std::size_t>(view.width) * static_cast<std::size_t>(view.height) > (1u << 20);
    const int middle = split ? view.height / 2 : view.height;
    Piece bottom;
    Piece top;
    {
        std::jthread worker;
        if (split) worker = std::jthread([&] { bottom = deflateRows(view, middle, view.height, true); });
        top = deflateRows(view, 0, middle, !split);
    }
    if (!top.ok || (split && !bottom.ok)) return {};
    std::vector<unsigned char> stream = {0x78, 0x01};
    stream.insert(stream.end(), top.bytes.begin(), top.bytes.end());
    uLong adler = top.adler;
    if (split) {
        stream.insert(stream.end(), bottom.bytes.begin(), bottom.bytes.end());
        adler = adler32_combine(top.adler, bottom.adler, static_cast<z_off_t>(bottom.rawSize));
    }
    appendBigEndian(stream, static_cast<std::uint32_t>(adler));
    std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<unsigned char> header;
    appendBigEndian(header, static_cast<std::uint32_t>(view.width));
    appendBigEndian(header, static_cast<std::uint32_t>(view.height));
    header.insert(header.end(), {8, 2, 0, 0, 0});
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", stream);
    appendChunk(png, "IEND", {});
    return png;
}

}  // namespace yardstick

#ifdef ZARO_HAVE_LIBDEFLATE
// The other encoder measured: the same unfiltered rows deflated whole by libdeflate on one thread (it
// has no streaming), the PNG chunks around them left out. Its bytes, or 0 on failure.
std::size_t libdeflateBytes(const zaro::PixelView& view, int level)
{
    const std::size_t rowBytes = static_cast<std::size_t>(view.width) * 3 + 1;
    std::vector<unsigned char> rows(rowBytes * static_cast<std::size_t>(view.height));
    for (int y = 0; y < view.height; ++y) {
        unsigned char* out = rows.data() + static_cast<std::size_t>(y) * rowBytes;
        *out++ = 0;
        for (int x = 0; x < view.width; ++x) {
            std::uint32_t argb;
            std::memcpy(&argb, view.data + static_cast<std::size_t>(y) * view.stride + static_cast<std::size_t>(x) * 4, 4);
            *out++ = static_cast<unsigned char>(argb >> 16);
            *out++ = static_cast<unsigned char>(argb >> 8);
            *out++ = static_cast<unsigned char>(argb);
        }
    }
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
    if (!compressor) return 0;
    std::vector<unsigned char> out(libdeflate_zlib_compress_bound(compressor, rows.size()));
    const std::size_t bytes = libdeflate_zlib_compress(compressor, rows.data(), rows.size(), out.data(), out.size());
    libdeflate_free_compressor(compressor);
    return bytes;
}
#endif

// Runs in a child: the first bitmap, first draw (fontconfig and font loading included) and first
// encode of this process, and the yardstick's first encode, before ours when `yardstickFirst`.
int firstCard(bool yardstickFirst)
{
    const zaro::ZaroSession session = realisticSession();
    const Clock::time_point start = Clock::now();
    zaro::CairoCanvas canvas(pixels(Card::defaultSize.width), pixels(Card::defaultSize.height));
    const double allocate = millisecondsSince(start);
    const Clock::time_point drawStart = Clock::now();
    canvas.context().scale(Card::defaultScale, Card::defaultScale);
    Card::draw(session, canvas.context(), Card::defaultSize, false);
    const zaro::PixelView view = canvas.pixels();
    const double draw = millisecondsSince(drawStart);
    std::size_t bytes = 0;
    std::size_t yardstickBytes = 0;
    double encode = 0;
    double yardstick = 0;
    const auto ours = [&] {
        const Clock::time_point encodeStart = Clock::now();
        bytes = zaro::png::encode(view).size();
        encode = millisecondsSince(encodeStart);
    };
    const auto theirs = [&] {
        const Clock::time_point encodeStart = Clock::now();
        yardstickBytes = yardstick::encode(view).size();
        yardstick = millisecondsSince(encodeStart);
    };
    if (yardstickFirst) theirs();
    ours();
    if (!yardstickFirst) theirs();
    if (yardstickBytes == 0) return 1;
    double other = 0;
#ifdef ZARO_HAVE_LIBDEFLATE
    const Clock::time_point otherStart = Clock::now();
    if (libdeflateBytes(view, 1) == 0) return 1;
    other = millisecondsSince(otherStart);
#endif
    std::printf("%f %f %f %f %zu %zu %f\n", allocate, draw, encode, yardstick, bytes, yardstickBytes, other);
    return 0;
}

// Runs in a child under callgrind: the card drawn, then encoded once by "ours", "yardstick" or
// neither ("none"), so that the difference of two runs' instruction counts is one encoding's.
int encodeOnce(const std::string& which)
{
    zaro::CairoCanvas canvas(pixels(Card::defaultSize.width), pixels(Card::defaultSize.height));
    canvas.context().scale(Card::defaultScale, Card::defaultScale);
    Card::draw(realisticSession(), canvas.context(), Card::defaultSize, false);
    const zaro::PixelView view = canvas.pixels();
    std::size_t bytes = 0;
    if (which == "ours") {
        bytes = zaro::png::encode(view).size();
    } else if (which == "yardstick") {
        bytes = yardstick::encode(view).size();
    } else if (which != "none") {
        throw std::runtime_error("--encode-once takes ours, yardstick or none");
    }
    std::printf("%s: %zu bytes\n", which.c_str(), bytes);
    return 0;
}

struct FirstCard {
    std::vector<double> allocate, draw, encode, yardstick, total, libdeflate;
    std::size_t bytes = 0;
    std::size_t yardstickBytes = 0;
};

FirstCard measureFirstCards(const char* self)
{
    FirstCard runs;
    for (int i = 0; i < firstCardProcesses; ++i) {
        // Half the processes encode with the yardstick first, so neither encoder always meets a
        // warmer process.
        const std::string command = std::string("'") + self + "' " + firstCardFlag + (i % 2 == 1 ? " yardstick-first" : "");
        FILE* child = popen(command.c_str(), "r");
        if (!child) throw std::runtime_error("cannot start " + command);
        double a = 0, d = 0, e = 0, y = 0, l = 0;
        const int read = std::fscanf(child, "%lf %lf %lf %lf %zu %zu %lf", &a, &d, &e, &y, &runs.bytes, &runs.yardstickBytes, &l);
        if (pclose(child) != 0 || read != 7) throw std::runtime_error("first-card child failed");
        runs.libdeflate.push_back(l);
        runs.allocate.push_back(a);
        runs.draw.push_back(d);
        runs.encode.push_back(e);
        runs.yardstick.push_back(y);
        runs.total.push_back(a + d + e);
    }
    return runs;
}

// Median milliseconds of `runs` calls, after one call to warm up.
double timed(const std::function<void()>& work, int runs = steadyRuns)
{
    work();
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const Clock::time_point start = Clock::now();
        work();
        times.push_back(millisecondsSince(start));
    }
    return median(times);
}

void row(const char* label, double ms, std::size_t bytes = 0)
{
    if (bytes == 0) {
        std::printf("  %-46s %8.2f\n", label, ms);
    } else {
        std::printf("  %-46s %8.2f %10zu\n", label, ms, bytes);
    }
}

int runBenchmarks(const char* self)
{
#ifdef NDEBUG
    const char* build = "optimised (NDEBUG)";
#else
    const char* build = "with assertions (not NDEBUG): figures are not representative";
#endif
    std::printf("zaro-render-bench: build %s\n", build);
    std::printf("goals: pngData of the default card (1680 x 1440 px) in %.0f ms or less in steady state; the first\n"
                "card of a process, font set-up included, in %.0f ms or less; the card's PNG encoding in at most\n"
                "%.2f of the yardstick's time (zlib level 1, no filters, two threads) for at most %.1f of its bytes\n\n",
                goalPngDataMs, goalFirstCardMs, goalTimeRatio, goalBytesRatio);

    const FirstCard first = measureFirstCards(self);
    std::printf("first card of a fresh process (median of %d processes, ms)\n", firstCardProcesses);
    row("canvas allocation", median(first.allocate));
    row("draw (fontconfig and fonts loaded on the way)", median(first.draw));
    row("PNG encoding (ours, two threads)", median(first.encode));
    row("  yardstick: zlib level 1, two threads", median(first.yardstick));
#ifdef ZARO_HAVE_LIBDEFLATE
    row("  libdeflate level 1 on one thread", median(first.libdeflate));
#endif
    row("total (ours)", median(first.total));
    const double firstTotal = median(first.total);
    const double firstTimeRatio = median(first.encode) / median(first.yardstick);
    std::printf("  ours / yardstick: time %.3f, bytes %.3f (%zu / %zu)\n", firstTimeRatio,
                static_cast<double>(first.bytes) / static_cast<double>(first.yardstickBytes), first.bytes,
                first.yardstickBytes);

    const zaro::ZaroSession session = realisticSession();
    const int width = pixels(Card::defaultSize.width);
    const int height = pixels(Card::defaultSize.height);

    std::printf("\nsteady state (median of %d runs)%*s %8s %10s\n", steadyRuns, 16, "", "ms", "bytes");
    row("canvas allocation", timed([&] { zaro::CairoCanvas canvas(width, height); }));
    row("draw card into a fresh canvas", timed([&] {
            zaro::CairoCanvas canvas(width, height);
            canvas.context().scale(Card::defaultScale, Card::defaultScale);
            Card::draw(session, canvas.context(), Card::defaultSize, false);
            canvas.pixels();
        }));
    zaro::CairoCanvas reused(width, height);
    reused.context().scale(Card::defaultScale, Card::defaultScale);
    row("draw card into the same canvas",
        timed([&] { Card::draw(session, reused.context(), Card::defaultSize, false); }));

    const zaro::PixelView view = reused.pixels();
    // The two encoders take turns, so that a load that comes and goes weighs on both alike.
    std::size_t bytes = 0;
    std::size_t yardstickBytes = 0;
    std::vector<double> ours;
    std::vector<double> theirs;
    bytes = zaro::png::encode(view).size();
    yardstickBytes = yardstick::encode(view).size();
    for (int i = 0; i < steadyRuns; ++i) {
        ours.push_back(timed([&] { bytes = zaro::png::encode(view).size(); }, 1));
        theirs.push_back(timed([&] { yardstickBytes = yardstick::encode(view).size(); }, 1));
    }
    row("encode the card (ours)", median(ours), bytes);
    row("  yardstick: zlib level 1, no filters, two threads", median(theirs), yardstickBytes);
    const double timeRatio = median(ours) / median(theirs);
    const double bytesRatio = static_cast<double>(bytes) / static_cast<double>(yardstickBytes);
    std::printf("  ours / yardstick: time %.3f, bytes %.3f\n", timeRatio, bytesRatio);
#ifdef ZARO_HAVE_LIBDEFLATE
    std::size_t otherBytes = 0;
    const double otherMs = timed([&] { otherBytes = libdeflateBytes(view, 1); }, steadyRuns / 2);
    row("libdeflate level 1, one thread, IDAT only", otherMs, otherBytes);
#endif

    std::size_t cardBytes = 0;
    const double pngDataMs = timed([&] { cardBytes = Card::pngData(session).size(); });
    row("pngData end to end", pngDataMs, cardBytes);
    std::size_t errorBytes = 0;
    row("errorPngData end to end",
        timed([&] { errorBytes = Card::errorPngData("The ZARO Session file has no GPS rows.").size(); }), errorBytes);
    zaro::ZaroSession hugeTitle = session;
    while (hugeTitle.trackName.size() < 1'000'000) hugeTitle.trackName += " Harrowby Park";
    std::size_t hugeBytes = 0;
    row("pngData with a 1 MB track name", timed([&] { hugeBytes = Card::pngData(hugeTitle).size(); }), hugeBytes);

    const bool met = pngDataMs <= goalPngDataMs && firstTotal <= goalFirstCardMs && timeRatio <= goalTimeRatio
                     && firstTimeRatio <= goalTimeRatio && bytesRatio <= goalBytesRatio;
    std::printf("\n%s\n", met ? "all goals met" : "some goals MISSED");
    return met ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        if (argc > 1 && std::strcmp(argv[1], firstCardFlag) == 0) return firstCard(argc > 2);
        if (argc > 2 && std::strcmp(argv[1], encodeOnceFlag) == 0) return encodeOnce(argv[2]);
        return runBenchmarks(std::filesystem::read_symlink("/proc/self/exe").c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zaro-render-bench: %s\n", error.what());
        return 2;
    }
}
