// zaro-render-bench: how long the summary card takes to draw and to encode as PNG, in steady state
// and as the first card of a fresh process (font set-up included).
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
#include <stdexcept>
#include <string>
#include <vector>

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
// encode of this process.
int firstCard()
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
    const Clock::time_point encodeStart = Clock::now();
    const std::vector<unsigned char> png = zaro::png::encode(view);
    const double encode = millisecondsSince(encodeStart);
    const double total = millisecondsSince(start);
    double other = 0;
#ifdef ZARO_HAVE_LIBDEFLATE
    const Clock::time_point otherStart = Clock::now();
    if (libdeflateBytes(view, 1) == 0) return 1;
    other = millisecondsSince(otherStart);
#endif
    std::printf("%f %f %f %f %zu %f\n", allocate, draw, encode, total, png.size(), other);
    return 0;
}

struct FirstCard {
    std::vector<double> allocate, draw, encode, total, libdeflate;
};

FirstCard measureFirstCards(const char* self)
{
    FirstCard runs;
    const std::string command = std::string("'") + self + "' " + firstCardFlag;
    for (int i = 0; i < firstCardProcesses; ++i) {
        FILE* child = popen(command.c_str(), "r");
        if (!child) throw std::runtime_error("cannot start " + command);
        double a = 0, d = 0, e = 0, t = 0, l = 0;
        std::size_t bytes = 0;
        const int read = std::fscanf(child, "%lf %lf %lf %lf %zu %lf", &a, &d, &e, &t, &bytes, &l);
        if (pclose(child) != 0 || read != 6) throw std::runtime_error("first-card child failed");
        runs.libdeflate.push_back(l);
        runs.allocate.push_back(a);
        runs.draw.push_back(d);
        runs.encode.push_back(e);
        runs.total.push_back(t);
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
                "card of a process, font set-up included, in %.0f ms or less\n\n",
                goalPngDataMs, goalFirstCardMs);

    const FirstCard first = measureFirstCards(self);
    std::printf("first card of a fresh process (median of %d processes, ms)\n", firstCardProcesses);
    row("canvas allocation", median(first.allocate));
    row("draw (fontconfig and fonts loaded on the way)", median(first.draw));
    row("PNG encoding (zlib level 1 on two threads, chosen)", median(first.encode));
#ifdef ZARO_HAVE_LIBDEFLATE
    row("  libdeflate level 1 on one thread instead", median(first.libdeflate));
#endif
    row("total", median(first.total));
    const double firstTotal = median(first.total);

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
    for (const int level : {1, 3, 6}) {
        std::size_t bytes = 0;
        const double ms = timed([&] { bytes = zaro::png::encode(view, level).size(); }, steadyRuns / 2);
        row(level == 1 ? "encode RGB, level 1, no filters (chosen)" : level == 3 ? "encode RGB, level 3, no filters"
                                                                            : "encode RGB, level 6, no filters",
            ms, bytes);
    }
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

    const bool met = pngDataMs <= goalPngDataMs && firstTotal <= goalFirstCardMs;
    std::printf("\n%s\n", met ? "all goals met" : "some goals MISSED");
    return met ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        if (argc > 1 && std::strcmp(argv[1], firstCardFlag) == 0) return firstCard();
        return runBenchmarks(std::filesystem::read_symlink("/proc/self/exe").c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zaro-render-bench: %s\n", error.what());
        return 2;
    }
}
